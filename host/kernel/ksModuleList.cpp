// Licensed under the MIT licence; see LICENSE.
#include "kernel/ksModuleList.h"

#include "kernel/ksMessage.h"
#include "kernel/ksModuleBase.h"

#include <QPointer>

ksModuleList& ksModuleList::instance()
{
    // Never destroyed: module objects leave it from their destructors,
    // which may run late.
    static ksModuleList* list = new ksModuleList;
    return *list;
}

ksModuleBase* ksModuleList::find(const QString& name) const
{
    for (ksModuleBase* module : m_modules) {
        if (module->getName() == name)
            return module;
    }
    return nullptr;
}

int ksModuleList::sendMessage(ksMessage& message)
{
    const quint64 id = message.id();
    if (id == 0)
        return 0;
    // Guarded: a receiver may destroy other modules.
    QList<QPointer<ksModuleBase>> snapshot;
    for (ksModuleBase* module : m_modules)
        snapshot.append(module);
    int count = 0;
    for (const QPointer<ksModuleBase>& module : snapshot) {
        if (!module)
            continue;
        if ((module->getFlags() & id) != id)
            continue;
        module->receivedMessage(message);
        ++count;
    }
    return count;
}

void ksModuleList::destroyAll()
{
    while (!m_modules.isEmpty())
        delete m_modules.last();
}

void ksModuleList::add(ksModuleBase* module)
{
    m_modules.append(module);
}

void ksModuleList::remove(ksModuleBase* module)
{
    m_modules.removeOne(module);
}
