// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <string>
#include <typeindex>

// Base of the objects through which modules offer an interface to each
// other. An object is known to ksInterfaceFactory for the whole of its life:
// the constructor enters it under the interface type it implements, the
// destructor takes it out. Interface objects are static objects of their
// library and are never deleted through this base, so the destructor is not
// virtual (and the virtual table starts with type()).
class ksInterfaceObject
{
public:
    virtual std::type_index type() const = 0;
    virtual std::string name() const = 0;
    // Called once by the kernel at start, after every module is registered.
    virtual void onInitialize();

    ksInterfaceObject(const ksInterfaceObject&) = delete;
    ksInterfaceObject& operator=(const ksInterfaceObject&) = delete;

protected:
    explicit ksInterfaceObject(std::type_index interfaceType);
    ~ksInterfaceObject();

private:
    std::type_index m_interfaceType;
};
