// Licensed under the MIT licence; see LICENSE.
#include "model/ksReferenceSettings.h"

ksReferenceSettings& ksReferenceSettings::the()
{
    // Never destroyed: other static objects of the module read settings in
    // their destructors, in an order that is not ours.
    static ksReferenceSettings* settings = nullptr;
    if (!settings)
        settings = new ksReferenceSettings;
    return *settings;
}

ksReferenceSettings::ksReferenceSettings()
{
    ksReferenceTypes::registerMetaTypes();
}

ksReferenceSettings::~ksReferenceSettings() = default;

void ksReferenceSettings::setUpdateMonitoringEnabled(bool enabled)
{
    m_updateMonitoringEnabled = enabled;
    emit updateMonitoringEnabledChanged(enabled);
}

void ksReferenceSettings::setAuxiliaryFlag(bool flag)
{
    m_auxiliaryFlag = flag;
}

void ksReferenceSettings::setLogLevel(int level)
{
    m_logLevel = level;
}

void ksReferenceSettings::setCustomExportPath(const QString& path)
{
    m_customExportPath = path;
    emit customExportPathChanged(path);
}

void ksReferenceSettings::setRevisionExpressions(const QStringList& expressions)
{
    m_revisionExpressions = expressions;
}

void ksReferenceSettings::setRevisionCheckEnabled(bool enabled)
{
    m_revisionCheckEnabled = enabled;
}

void ksReferenceSettings::setLoadMode(ksReferenceTypes::LoadMode mode)
{
    m_loadMode = mode;
    emit loadModeChanged(mode);
}

void ksReferenceSettings::setExportLocation(ksReferenceTypes::ExportLocation location)
{
    m_exportLocation = location;
    emit exportLocationChanged(location);
}

void ksReferenceSettings::setNotificationMode(ksReferenceTypes::NotificationMode mode)
{
    m_notificationMode = mode;
    emit notificationModeChanged(mode);
}
