// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "references/ksReferenceTypes.h"
#include "scenegraph/HandleTypes.h"

#include <QString>

#include <string>
#include <utility>
#include <vector>

class ksReferenceInterface;

// A value object built on the stack around one operation on one node: the
// module's way to read and change a reference node and its two file records.
// For a node that is not a reference node, both the node and the core are
// NullFC and every operation does nothing and gives a neutral result.
//
// The operations are spread over several sources by topic: this file's
// ksReferenceNode.cpp holds the queries, the file states and the log; the
// paths, the tree operations and the record operations have files of their
// own (ksReferenceNodePaths.cpp, ksReferenceNodeTree.cpp,
// ksReferenceNodeRecords.cpp).
class ksReferenceNode
{
public:
    explicit ksReferenceNode(const osg::NodePtr& node);

    // The module's reference interface, looked up once and kept.
    static ksReferenceInterface* getReferenceInterface();

    // Queries
    bool isValid() const;
    // The node is the live scene's root.
    bool isRootNode() const;
    // UTF-8, empty when the node has no name.
    std::string getName() const;
    osg::NodePtr getNode() const { return m_node.get(); }
    osg::ExtReferencePtr getExtReference() const { return m_core.get(); }
    // The loaded content was edited since it was loaded or saved (the pool's
    // change tracking).
    bool isChanged() const;
    ksReferenceTypes::State getState() const;
    void setState(ksReferenceTypes::State state);
    // The smart record's path (UTF-8), empty without core or record.
    std::string getSmartPath() const;

    // File states and file information, recomputed from the disk. The static
    // forms take one record; NullFC does nothing.
    static void updateFileState(const osg::FileReferencePtr& ref);
    static void updateFileInfo(const osg::FileReferencePtr& ref);
    // Source first, then smart.
    void updateFileStates();
    void updateSourceFileState();
    // Smart first, then source.
    void updateFileInfos();
    void updateSmartFileInfo();
    void updateSourceFileInfo();

    // The reference log: "[REFERENCE] <message>" to the host log, filtered by
    // the settings' log level.
    enum LogLevel { LogInfo = 0, LogWarning = 1, LogError = 2, LogDetail = 3 };
    static void log(const QString& message, LogLevel level);

    // Paths (ksReferenceNodePaths.cpp)
    //
    // Relative paths are relative to the directory of the master (project)
    // file: the one given, else the scene's current file.

    // Backslashes made '/', with a trailing '/'.
    static QString normalizeDirectory(QString dir);
    // Empty and relative paths come back unchanged; "" without a master file.
    static QString makeRelativePath(const QString& path, const QString& masterFile);
    // Empty and absolute paths come back unchanged; "" (and a warning)
    // without a master file.
    static QString makeAbsolutePath(const QString& path, const QString& masterFile);
    // Looks for the file a record's relative path names: in the master
    // directory by relative path, then by name, then by name in each search
    // directory. True with the file in `out`; false with `out` empty.
    static bool findFile(const QString& path, const QString& masterFile, QString& out);
    // Points a record whose file is gone at the file found through its
    // relative path; true when the record's file exists (again).
    static bool resolvePath(const osg::FileReferencePtr& ref, const QString& masterFile);
    bool resolveSmartPath(const QString& masterFile);
    // Recomputes the relative path from the path; edits only on a change.
    static void updateRelativePath(const osg::FileReferencePtr& ref);
    // Saves the smart reference when it can and needs to, making its
    // directory first; true when saved or nothing needed saving.
    bool save();

    // Tree operations (ksReferenceNodeTree.cpp)

    // (reference node, holder) pairs in traversal order; each holder is a
    // node with a Group core that keeps the reference node's children while
    // they are away. The list owns both: dropping it releases the holders.
    using DetachedList = std::vector<std::pair<osg::NodeRefPtr, osg::NodeRefPtr>>;

    // Puts the smart content into the scene: copied from another node that
    // shows the same file loaded, else read from the file. True also when
    // there is nothing to load (no smart record, already loaded).
    bool load();
    // Copies the content of another loaded node of the same smart file into
    // every node of this core, without touching the file; false when there
    // is none. The core's State is left as it is.
    bool syncWithLoadedClone();
    // Removes the content and marks the core NotLoaded. A smart record
    // without path (NoPath) goes with the content.
    void unload();
    // Makes the node a plain Transform3D node, dropping both records and
    // the nodes' FileInfo; the object is empty afterwards. False when the
    // node is no reference or the conversion fails.
    bool removeReference();
    // Starts the pool's change tracking of the loaded content afresh.
    void resetChanged();

    // Moves the content of the outermost smart references below `root`
    // (not `root` itself) under holder nodes that are in no scene. Nested
    // smart references go along with their parent's content.
    static DetachedList detachSubReferences(const osg::NodePtr& root);
    // Gives each reference node its holder's children back, in their order.
    // A reference whose content was unedited before is unedited afterwards.
    static void attachSubReferences(const DetachedList& detached);

    // Record operations (ksReferenceNodeRecords.cpp)
    //
    // Every record that enters or leaves the core does so as a step of the
    // scene's undo stack.

    // The record; with `create`, a new empty one when there is none.
    osg::FileReferencePtr getSourceFile(bool create);
    osg::FileReferencePtr getSmartFile(bool create);
    // The smart record as it is, else a new one for `path`, with its file
    // state and information taken when the path is not empty.
    osg::FileReferencePtr getOrCreateSmartFile(const QString& path);
    // False when there is no such record to remove.
    bool removeSourceReference();
    bool removeSmartReference();

private:
    // Held for the operation, so that a node or core dropped from the scene
    // during it stays valid until the object goes.
    osg::NodeRefPtr m_node;
    osg::ExtReferenceRefPtr m_core;
};
