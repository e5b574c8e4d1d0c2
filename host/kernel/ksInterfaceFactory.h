// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <QList>
#include <QMutex>

#include <typeindex>
#include <vector>

class ksInterfaceObject;

// Finds the object that implements a module interface. Interface objects
// enter and leave by themselves (see ksInterfaceObject), usually while their
// library loads and unloads. When two objects implement one interface, the
// newer one answers until it goes.
class ksInterfaceFactory
{
public:
    static ksInterfaceFactory& the();

    // The object registered for the interface type, or null.
    ksInterfaceObject* get(std::type_index type) const;
    template <class T>
    T* get() const
    {
        // Objects are entered under T only by ksInterface<T>, a base of T.
        return static_cast<T*>(get(std::type_index(typeid(T))));
    }

    // Every registered object, oldest first.
    QList<ksInterfaceObject*> objects() const;

    // Calls onInitialize on each object that has not had it yet; returns
    // how many were called.
    int initializeAll();

    void add(std::type_index type, ksInterfaceObject* object);
    void remove(std::type_index type, ksInterfaceObject* object);

private:
    ksInterfaceFactory() = default;

    struct Entry
    {
        std::type_index type;
        ksInterfaceObject* object;
        bool initialized;
    };

    mutable QMutex m_mutex;
    // Registration order; lookups scan from the newest. There are a handful
    // of interfaces in a process, so a list beats a hash here.
    std::vector<Entry> m_entries;
};
