// Licensed under the MIT licence; see LICENSE.
#include "kernel/ksModuleBase.h"

#include "kernel/ksModuleList.h"

ksModuleBase::ksModuleBase(const QString& name, const QString& group, quint64 flags, const QString& icon)
    : m_name(name)
    , m_group(group)
    , m_flags(flags)
    , m_icon(icon)
{
    setObjectName(name);
    ksModuleList::instance().add(this);
}

ksModuleBase::~ksModuleBase()
{
    ksModuleList::instance().remove(this);
}

QWidget* ksModuleBase::getWidget()
{
    return nullptr;
}

void ksModuleBase::init()
{
}

void ksModuleBase::update()
{
}

void ksModuleBase::loop()
{
}

int ksModuleBase::receivedMessage(ksMessage&)
{
    return 0;
}
