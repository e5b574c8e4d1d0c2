// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <QList>
#include <QString>

class ksMessage;
class ksModuleBase;

// The host's modules, in order of creation. Main thread only.
class ksModuleList
{
public:
    static ksModuleList& instance();

    QList<ksModuleBase*> modules() const { return m_modules; }
    // The first module of that name, or null.
    ksModuleBase* find(const QString& name) const;

    // Delivers the message to every module whose flags hold all bits of the
    // message's id (an id of 0 holds none and reaches no module), in order
    // of creation. Modules created during the delivery are not reached;
    // modules destroyed during it are skipped. Returns how many received it.
    int sendMessage(ksMessage& message);

    // Destroys every module, newest first.
    void destroyAll();

private:
    friend class ksModuleBase;

    ksModuleList() = default;
    void add(ksModuleBase* module);
    void remove(ksModuleBase* module);

    QList<ksModuleBase*> m_modules;
};
