// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scene/ksFileResult.h"
#include "scene/ksSmartReferenceStash.h"
#include "scenegraph/HandleTypes.h"

#include <QObject>
#include <QString>

#include <set>

class QTimer;
class ksFastGeometryLoader;
struct ksGeometryLoadResult;

// Puts the content of one smart reference into the scene and writes it back.
// The content hangs under the node that carries the reference core: loading
// adds the file's tree as that node's children, unloading deletes them. The
// file type follows the path's suffix in any letter case: ".zmb" goes through
// the host's file IO, ".osb" through the scene graph's scene file handler;
// other types are neither loaded nor saved.
//
// Loads tell the host of the materials they brought into its material pool,
// batched: every load within one turn of the event loop, of any smart file,
// ends in one "updateMaterials" request. Main thread only.
//
// A failed load or save returns the message a user sees, whole and with the
// file's path: the line logged ("Unable to load <path>: <reason>", "Save:
// Can't write file. Path is empty."), or for what is not logged (another
// file type, a core that hangs nowhere) a message of the same form.
class ksSmartFile : public QObject
{
    Q_OBJECT
public:
    explicit ksSmartFile(const osg::ExtReferencePtr& core);
    ~ksSmartFile() override;

    // True at once when already loaded. False, with the scene unchanged, for
    // a file that is missing, corrupt or of another type.
    ksFileResult load();
    // Deletes the loaded content; false when nothing is loaded.
    bool unload();
    // Writes the content to getPath(), refreshes the smart record from the
    // written file and takes the content as unedited since the save. A
    // failed write changes nothing but the log.
    ksFileResult save();
    // Writes the content to `path` and nothing else: no state, no record.
    ksFileResult saveAs(const QString& path);

    bool isLoaded() const { return m_loaded; }
    // The node that carries the core, or null while the core hangs nowhere.
    osg::NodePtr getNode() const;
    osg::ExtReferencePtr getExtReference() const { return m_core; }
    // The smart record's path; empty without a record.
    QString getPath() const;

    // The loader options every smart reference load shares.
    static void configureLoader(ksFastGeometryLoader& loader);

private:
    enum class FileType { Other, Osb, Zmb };
    static FileType fileTypeOf(const QString& path);

    ksGeometryLoadResult loadOsb(const std::string& path);
    ksGeometryLoadResult loadZmb(const std::string& path);
    void attachLoadedTree(osg::NodeRefPtr root);
    ksFileResult writeOsb(const QString& path);
    ksFileResult writeZmb(const QString& path);
    // Answers the loads of this turn, of every smart file.
    static void updatePendingMaterials();
    void resetChildChanged();
    // The core while it lives: a smart file held beyond its core's life (by
    // an undo step) must not touch it.
    osg::ExtReferencePtr liveCore() const;

    osg::ExtReferencePtr m_core;
    ksSmartReferenceStash m_stash;
    bool m_loaded = false;
    bool m_materialUpdatePending = false;
    // Held until the update: an unload in the same turn may drop them from
    // the pool, and the host still has to hear of the second load's copies.
    std::set<osg::MaterialRefPtr> m_newMaterials;
};
