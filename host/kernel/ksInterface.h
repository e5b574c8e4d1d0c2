// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "kernel/ksInterfaceObject.h"
#include "utils/ksTypeName.h"

#include <typeinfo>

// Base of an abstract module interface T (class T : public ksInterface<T>):
// every implementation of T is found under T's type.
template <class T>
class ksInterface : public ksInterfaceObject
{
public:
    std::type_index type() const override { return std::type_index(typeid(T)); }
    std::string name() const override { return ksTypeName::of(typeid(T)); }

protected:
    ksInterface()
        : ksInterfaceObject(std::type_index(typeid(T)))
    {
    }
    ~ksInterface() = default;
};
