// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "handles/ksdNode.h"
#include "kernel/ksBaseService.h"
#include "references/ksReferenceTypes.h"
#include "references/ksdReferenceNode.h"

#include <QList>
#include <QString>
#include <QStringList>

// The reference API as the host declares it: scripts and the user interface
// find the reference module's implementation in the kernel service factory
// under this class. The order of the virtual operations and of the signals is
// part of the host's interface.
class ksReferenceService : public ksBaseService
{
    Q_OBJECT

public:
    explicit ksReferenceService(QObject* parent = nullptr);
    ~ksReferenceService() override;

    virtual ksdReferenceNode createSmartReference(const ksdNode& parent) = 0;
    virtual ksdReferenceNode createSourceReference(const QString& path, const ksdNode& parent) = 0;
    virtual ksdNode convertToSmart(const ksdNode& node, bool flag) = 0;
    virtual ksdNode removeReference(const ksdNode& node) = 0;
    virtual QList<ksdReferenceNode> getSceneReferences() = 0;
    virtual QList<ksdReferenceNode> getReferences(const ksdNode& root) = 0;
    virtual QList<ksdReferenceNode> getParentReferences(const ksdNode& node) = 0;
    virtual QList<ksdReferenceNode> getChildReferences(const ksdNode& node) = 0;
    virtual QList<ksdReferenceNode> loadSourceReferences(const QList<ksdReferenceNode>& nodes) = 0;
    virtual void reloadSmartReferences(const QList<ksdReferenceNode>& nodes) = 0;
    virtual void setUpdateMonitoringEnabled(bool enabled) = 0;
    virtual bool isUpdateMonitoringEnabled() = 0;
    virtual void setNotificationMode(ksReferenceTypes::NotificationMode mode) = 0;
    virtual ksReferenceTypes::NotificationMode getNotificationMode() = 0;
    virtual void setRevisionCheckEnabled(bool enabled) = 0;
    virtual bool isRevisionCheckEnabled() = 0;
    virtual void setRevisionExpressions(const QStringList& expressions) = 0;
    virtual QStringList getRevisionExpressions() = 0;
    virtual void setAuxiliaryFlag(bool flag) = 0;
    virtual bool getAuxiliaryFlag() = 0;
    virtual void setExportLocation(ksReferenceTypes::ExportLocation location) = 0;
    virtual ksReferenceTypes::ExportLocation getExportLocation() = 0;
    virtual void setCustomExportPath(const QString& path) = 0;
    virtual QString getCustomExportPath() = 0;
    virtual void setLoadMode(ksReferenceTypes::LoadMode mode) = 0;
    virtual ksReferenceTypes::LoadMode getLoadMode() = 0;
    virtual void setUpdateMonitoringPaused(bool paused) = 0;
    virtual bool isUpdateMonitoringPaused() = 0;
    virtual void setUpdateMonitoringInterval(int milliseconds) = 0;
    virtual int getUpdateMonitoringInterval() = 0;
    virtual QStringList getFileSuffixes() = 0;
    virtual QStringList sortRevisions(const QStringList& revisions) = 0;

signals:
    // An empty list means "anything may have changed".
    void referencesChanged(const QList<ksdReferenceNode>& nodes);
    void sceneHasReferences(bool hasReferences);
    void referenceCreated(const ksdReferenceNode& node);
    void updateMonitoringChanged(bool enabled);
    void sceneSelectionChanged(const QList<ksdReferenceNode>& nodes);
    // The spelling is the host's; scripts connect to it by name.
    void referenceEditStateChagned();
};
