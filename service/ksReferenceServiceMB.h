// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "kernel/ksModuleBase.h"

#include <QPointer>

class ksReferenceService;

// The reference module's message-driven module object, made by the service
// at the kernel's init and owned by the host's module list. It handles two
// host messages:
// - 0x1000000000: every pooled reference is marked unchanged;
// - 0x4000: update monitoring is switched off (and the setting stored).
// Every other id is ignored. Nothing thrown while handling a message leaves
// receivedMessage: it is logged and the answer stays 0.
class ksReferenceServiceMB : public ksModuleBase
{
    Q_OBJECT

public:
    static constexpr quint64 ResetChangedMessage = 0x1000000000ull;
    static constexpr quint64 DisableMonitoringMessage = 0x4000;
    // Holds the bits of both ids above, among the host's.
    static constexpr quint64 Flags = 0x108080E130ull;

    explicit ksReferenceServiceMB(ksReferenceService* service);
    ~ksReferenceServiceMB() override;

    int receivedMessage(ksMessage& message) override;

    // The module object of this library, or null before init (and after the
    // host destroyed it). The module never deletes it.
    static ksReferenceServiceMB* instance();
    static void setInstance(ksReferenceServiceMB* module);

private:
    QPointer<ksReferenceService> m_service;
};
