// Licensed under the MIT licence; see LICENSE.
#include "kernel/ksInterfaceObject.h"

#include "kernel/ksInterfaceFactory.h"

ksInterfaceObject::ksInterfaceObject(std::type_index interfaceType)
    : m_interfaceType(interfaceType)
{
    ksInterfaceFactory::the().add(m_interfaceType, this);
}

ksInterfaceObject::~ksInterfaceObject()
{
    ksInterfaceFactory::the().remove(m_interfaceType, this);
}

void ksInterfaceObject::onInitialize()
{
}
