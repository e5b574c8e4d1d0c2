// Licensed under the MIT licence; see LICENSE.
#include "service/ksReferenceServiceMB.h"

#include "kernel/ksMessage.h"
#include "model/ksReferencePool.h"
#include "references/ksReferenceService.h"
#include "utils/ksLog.h"

namespace {

ksReferenceServiceMB* g_moduleObject = nullptr;

} // namespace

ksReferenceServiceMB::ksReferenceServiceMB(ksReferenceService* service)
    : ksModuleBase(QStringLiteral("ksReferenceServiceMB"), QStringLiteral("Scene"), Flags)
    , m_service(service)
{
}

ksReferenceServiceMB::~ksReferenceServiceMB()
{
    if (g_moduleObject == this)
        g_moduleObject = nullptr;
}

ksReferenceServiceMB* ksReferenceServiceMB::instance()
{
    return g_moduleObject;
}

void ksReferenceServiceMB::setInstance(ksReferenceServiceMB* module)
{
    g_moduleObject = module;
}

int ksReferenceServiceMB::receivedMessage(ksMessage& message)
{
    try {
        const quint64 id = message.id();
        if (id == ResetChangedMessage) {
            ksReferencePool::instance().resetAllChanged();
        } else if (id == DisableMonitoringMessage) {
            if (m_service)
                m_service->setUpdateMonitoringEnabled(false);
        }
    } catch (...) {
        ksLog::error("ksReferenceServiceMB::receivedMessage : An unknown exception occurred!");
    }
    return 0;
}
