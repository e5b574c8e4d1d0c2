// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "monitor/ksReferenceUpdateMonitor.h"
#include "references/ksReferenceService.h"

#include "scenegraph/HandleTypes.h"

#include <QList>

// The reference module's API service, registered in the kernel service
// factory under ksReferenceService. It waits for the kernel's init (the base
// service's signal) to create the module object and connect itself to the
// host's file-IO and tree services; until then it answers its getters and
// setters only.
//
// The settings operations store in ksReferenceSettings. The service owns the
// update monitor: it runs while monitoring is enabled and the scene has
// references, and its results arrive from the event loop at
// updateCheckerHasResults. Creating, converting and adding references are
// undo steps of the scene's undo stack.
class ksReferenceServiceImpl : public ksReferenceService
{
    Q_OBJECT

public:
    ksReferenceServiceImpl();
    ~ksReferenceServiceImpl() override;

    ksdReferenceNode createSmartReference(const ksdNode& parent) override;
    ksdReferenceNode createSourceReference(const QString& path, const ksdNode& parent) override;
    ksdNode convertToSmart(const ksdNode& node, bool flag) override;
    ksdNode removeReference(const ksdNode& node) override;
    QList<ksdReferenceNode> getSceneReferences() override;
    QList<ksdReferenceNode> getReferences(const ksdNode& root) override;
    QList<ksdReferenceNode> getParentReferences(const ksdNode& node) override;
    QList<ksdReferenceNode> getChildReferences(const ksdNode& node) override;
    QList<ksdReferenceNode> loadSourceReferences(const QList<ksdReferenceNode>& nodes) override;
    void reloadSmartReferences(const QList<ksdReferenceNode>& nodes) override;
    // Also starts the monitor when the scene has references, or stops it,
    // and emits updateMonitoringChanged.
    void setUpdateMonitoringEnabled(bool enabled) override;
    bool isUpdateMonitoringEnabled() override;
    void setNotificationMode(ksReferenceTypes::NotificationMode mode) override;
    ksReferenceTypes::NotificationMode getNotificationMode() override;
    void setRevisionCheckEnabled(bool enabled) override;
    bool isRevisionCheckEnabled() override;
    void setRevisionExpressions(const QStringList& expressions) override;
    QStringList getRevisionExpressions() override;
    void setAuxiliaryFlag(bool flag) override;
    bool getAuxiliaryFlag() override;
    void setExportLocation(ksReferenceTypes::ExportLocation location) override;
    ksReferenceTypes::ExportLocation getExportLocation() override;
    void setCustomExportPath(const QString& path) override;
    QString getCustomExportPath() override;
    void setLoadMode(ksReferenceTypes::LoadMode mode) override;
    ksReferenceTypes::LoadMode getLoadMode() override;
    // Pauses nest: each pause needs its own resume.
    void setUpdateMonitoringPaused(bool paused) override;
    bool isUpdateMonitoringPaused() override;
    void setUpdateMonitoringInterval(int milliseconds) override;
    int getUpdateMonitoringInterval() override;
    QStringList getFileSuffixes() override;
    QStringList sortRevisions(const QStringList& revisions) override;

private slots:
    // The monitor's results: the records take the new file states, then
    // referencesChanged names the nodes of the changed cores.
    void updateCheckerHasResults(QList<uint> nodeIds);
    // Merges the pool's modification signals of 100 ms into one
    // referenceEditStateChagned.
    void updateModifiedState();
    // In notification mode 1, tells the user of missing references or, when
    // none is missing, of available updates.
    void checkForNotification(QList<ksdReferenceNode> nodes);

private:
    // Adds `node` under `parent` (the root when there is none or it refuses
    // children) as one undo step with the given text, and selects it.
    static void addReferenceNode(const osg::NodePtr& parent, const osg::NodePtr& node, const char* undoText);
    // A node with an empty reference core and a unique name.
    static osg::NodeRefPtr newReferenceNode(const QString& name);

    // Runs once on the kernel's init; not a slot, so scripts cannot call it.
    void initialize();
    void connectHostServices();
    void emitReferencesChanged();
    void forwardSelection(const QList<uint>& nodeIds);

    bool m_monitoringEnabled = false;
    bool m_hasReferences = false;
    bool m_editStateTimerPending = false;
    ksReferenceUpdateMonitor m_monitor;
};
