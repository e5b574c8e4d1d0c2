// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "monitor/ksRevisionMonitor.h"
#include "references/ksdReferenceNode.h"
#include "scenegraph/HandleTypes.h"

// The reference module's implementation of the host's reference node handle.
// One instance, the prototype, is registered with ksdObjectManager when the
// plug-in registers; every ksdReferenceNode handle forwards its operations to
// it, bound to the handle's node for the call.
//
// A null handle, a node without a reference core or a missing record gives
// neutral results (false, "", an invalid date, Undefined, NoReference). The
// actions leave a locked node unchanged without a word, except load and
// saving, which the host allows on locked nodes. Main thread only.
class ksdReferenceNodeImpl : public ksdReferenceNode
{
    Q_OBJECT

public:
    ksdReferenceNodeImpl();
    ~ksdReferenceNodeImpl() override;

    ksdReferenceNodeImpl(const ksdReferenceNodeImpl&) = delete;
    ksdReferenceNodeImpl& operator=(const ksdReferenceNodeImpl&) = delete;

    // A handle for `node` made by the object manager: null for a node
    // without core, a camera, or a core type without a reference handle
    // class (the manager logs the last case).
    static ksdReferenceNode makeHandle(const osg::NodePtr& node);

    bool hasSourceReference() const override;
    bool hasSmartReference() const override;
    bool isLoaded() const override;
    bool isChanged() const override;
    bool isSubReferenceChanged() const override;
    bool isSelfOrSubReferenceChanged() const override;
    bool isRootNode() const override;
    // With `nextToSource`, the smart file is placed next to the source file.
    void createSmartReference(bool nextToSource) override;
    void createSourceReference() override;
    void removeSmartReference() override;
    void removeSourceReference() override;
    void unload() override;
    void load() override;
    // The host re-imports the source file ("reloadNodesFromFile").
    void loadSourceReference() override;
    void loadSmartReference() override;
    ksReferenceTypes::State getState() const override;
    void saveSmartReference() override;
    // With `unshare`, a clone saved to another file gets content of its own.
    void saveSmartReferenceAs(const QString& path, bool unshare) override;
    // Refuses project and ".osb" files; creates no record.
    void setSourcePath(const QString& path) override;
    QString getSourcePath() const override;
    ksReferenceTypes::FileState getSourceFileState() const override;
    QString getSourceOwner() const override;
    QDateTime getSourceLastModified() const override;
    QDateTime getSourceImportDate() const override;
    void setSmartPath(const QString& path) override;
    QString getSmartPath() const override;
    // Where a save of the smart reference would write, made absolute against
    // the project's directory.
    QString createSmartPath(ksReferenceTypes::ExportLocation location, QString customDirectory) override;
    ksReferenceTypes::FileState getSmartFileState() const override;
    QString getSmartOwner() const override;
    QDateTime getSmartLastModified() const override;
    QDateTime getSmartCreationDate() const override;
    // The revision queries give empty results while the revision check is
    // off; each one starts from the settings' expressions and a fresh
    // directory cache.
    QStringList getSourceRevisions() const override;
    QStringList getSmartRevisions() const override;
    QString getSourceRevision() const override;
    QString getSmartRevision() const override;
    QString getSourceRevisionPath(const QString& revision) const override;
    QString getSmartRevisionPath(const QString& revision) const override;

private:
    osg::NodePtr node() const;
    osg::ExtReferencePtr core() const;
    osg::FileReferencePtr sourceRecord() const;
    osg::FileReferencePtr smartRecord() const;
    // True when revision queries may go on.
    bool prepareRevisionMonitor() const;
    static void setRecordPath(const osg::FileReferencePtr& record, const QString& path);

    mutable ksRevisionMonitor m_revisionMonitor;
};
