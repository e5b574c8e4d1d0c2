// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "references/ksReferenceTypes.h"

#include <QObject>
#include <QString>
#include <QStringList>

// The module's reference settings, in memory only: every process starts
// from the defaults and the host sets them through the reference service.
// One instance per process, made on first use and never destroyed. Main
// thread only (the first use is not locked).
//
// Setters of the five signalled fields emit their signal on every call, also
// when the value did not change, so that a view bound to a signal can be
// refreshed by setting the current value again.
//
// The search directories have a getter only: the module reads them, and no
// operation of it fills them.
class ksReferenceSettings : public QObject
{
    Q_OBJECT

public:
    static ksReferenceSettings& the();

    bool isUpdateMonitoringEnabled() const { return m_updateMonitoringEnabled; }
    void setUpdateMonitoringEnabled(bool enabled);

    bool getAuxiliaryFlag() const { return m_auxiliaryFlag; }
    void setAuxiliaryFlag(bool flag);

    // How much of the reference log (ksReferenceNode::log) goes to the host
    // log: each level lets through the messages of the ones before it too.
    enum LogThreshold { LogNothing = 0, LogErrors = 1, LogWarnings = 2, LogInfo = 3, LogEverything = 4 };
    int getLogLevel() const { return m_logLevel; }
    void setLogLevel(int level);

    QString getCustomExportPath() const { return m_customExportPath; }
    void setCustomExportPath(const QString& path);

    QStringList getSearchPaths() const { return m_searchPaths; }

    QStringList getRevisionExpressions() const { return m_revisionExpressions; }
    void setRevisionExpressions(const QStringList& expressions);

    bool isRevisionCheckEnabled() const { return m_revisionCheckEnabled; }
    void setRevisionCheckEnabled(bool enabled);

    ksReferenceTypes::LoadMode getLoadMode() const { return m_loadMode; }
    void setLoadMode(ksReferenceTypes::LoadMode mode);

    ksReferenceTypes::ExportLocation getExportLocation() const { return m_exportLocation; }
    void setExportLocation(ksReferenceTypes::ExportLocation location);

    ksReferenceTypes::NotificationMode getNotificationMode() const { return m_notificationMode; }
    void setNotificationMode(ksReferenceTypes::NotificationMode mode);

signals:
    // The host addresses these by their order in the meta-object; keep it.
    void updateMonitoringEnabledChanged(bool enabled);
    void exportLocationChanged(ksReferenceTypes::ExportLocation location);
    void notificationModeChanged(ksReferenceTypes::NotificationMode mode);
    void customExportPathChanged(const QString& path);
    void loadModeChanged(ksReferenceTypes::LoadMode mode);

private:
    ksReferenceSettings();
    ~ksReferenceSettings() override;

    bool m_updateMonitoringEnabled = true;
    bool m_auxiliaryFlag = false;
    qint32 m_logLevel = 0;
    QString m_customExportPath;
    QStringList m_searchPaths;
    QStringList m_revisionExpressions;
    bool m_revisionCheckEnabled = false;
    ksReferenceTypes::LoadMode m_loadMode = ksReferenceTypes::DefaultLoadMode;
    ksReferenceTypes::ExportLocation m_exportLocation = ksReferenceTypes::NextToSource;
    ksReferenceTypes::NotificationMode m_notificationMode = ksReferenceTypes::NoNotification;
};
