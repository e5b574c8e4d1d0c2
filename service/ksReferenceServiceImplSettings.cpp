// Licensed under the MIT licence; see LICENSE.
// The settings pass-through: each setting is kept in ksReferenceSettings, and
// those the update monitor acts on are handed to it as well.
#include "service/ksReferenceServiceImpl.h"

#include "model/ksReferencePool.h"
#include "model/ksReferenceSettings.h"
#include "monitor/ksRevisionMonitor.h"

void ksReferenceServiceImpl::setUpdateMonitoringEnabled(bool enabled)
{
    ksReferenceSettings::the().setUpdateMonitoringEnabled(enabled);
    m_monitoringEnabled = enabled;
    if (m_hasReferences && enabled)
        m_monitor.start();
    else
        m_monitor.stop();
    emit updateMonitoringChanged(enabled);
}

bool ksReferenceServiceImpl::isUpdateMonitoringEnabled()
{
    return ksReferenceSettings::the().isUpdateMonitoringEnabled();
}

void ksReferenceServiceImpl::setNotificationMode(ksReferenceTypes::NotificationMode mode)
{
    ksReferenceSettings::the().setNotificationMode(mode);
}

ksReferenceTypes::NotificationMode ksReferenceServiceImpl::getNotificationMode()
{
    return ksReferenceSettings::the().getNotificationMode();
}

void ksReferenceServiceImpl::setRevisionCheckEnabled(bool enabled)
{
    ksReferenceSettings::the().setRevisionCheckEnabled(enabled);
    m_monitor.setRevisionCheckEnabled(enabled);
}

bool ksReferenceServiceImpl::isRevisionCheckEnabled()
{
    return ksReferenceSettings::the().isRevisionCheckEnabled();
}

void ksReferenceServiceImpl::setRevisionExpressions(const QStringList& expressions)
{
    ksReferenceSettings::the().setRevisionExpressions(expressions);
    m_monitor.setRevisionExpressions(expressions);
}

QStringList ksReferenceServiceImpl::getRevisionExpressions()
{
    return ksReferenceSettings::the().getRevisionExpressions();
}

void ksReferenceServiceImpl::setAuxiliaryFlag(bool flag)
{
    ksReferenceSettings::the().setAuxiliaryFlag(flag);
}

bool ksReferenceServiceImpl::getAuxiliaryFlag()
{
    return ksReferenceSettings::the().getAuxiliaryFlag();
}

void ksReferenceServiceImpl::setExportLocation(ksReferenceTypes::ExportLocation location)
{
    ksReferenceSettings::the().setExportLocation(location);
}

ksReferenceTypes::ExportLocation ksReferenceServiceImpl::getExportLocation()
{
    return ksReferenceSettings::the().getExportLocation();
}

void ksReferenceServiceImpl::setCustomExportPath(const QString& path)
{
    ksReferenceSettings::the().setCustomExportPath(path);
}

QString ksReferenceServiceImpl::getCustomExportPath()
{
    return ksReferenceSettings::the().getCustomExportPath();
}

void ksReferenceServiceImpl::setLoadMode(ksReferenceTypes::LoadMode mode)
{
    ksReferenceSettings::the().setLoadMode(mode);
}

ksReferenceTypes::LoadMode ksReferenceServiceImpl::getLoadMode()
{
    return ksReferenceSettings::the().getLoadMode();
}

void ksReferenceServiceImpl::setUpdateMonitoringPaused(bool paused)
{
    m_monitor.setPaused(paused);
}

bool ksReferenceServiceImpl::isUpdateMonitoringPaused()
{
    return m_monitor.isPaused();
}

void ksReferenceServiceImpl::setUpdateMonitoringInterval(int milliseconds)
{
    m_monitor.setInterval(milliseconds);
}

int ksReferenceServiceImpl::getUpdateMonitoringInterval()
{
    return m_monitor.getInterval();
}

QStringList ksReferenceServiceImpl::getFileSuffixes()
{
    return ksReferencePool::instance().getFileSuffixes();
}

QStringList ksReferenceServiceImpl::sortRevisions(const QStringList& revisions)
{
    return ksRevisionMonitor::sortRevision(revisions);
}
