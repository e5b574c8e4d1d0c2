// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "kernel/ksBaseService.h"

#include <QHash>
#include <QList>
#include <QMutex>
#include <QPointer>

#include <cstddef>
#include <type_traits>
#include <typeinfo>

// The kernel's table of services, keyed by the hash of a class's type. A
// typed lookup (get<ksFileIOService>()) gives the service entered for that
// class. The factory owns the services registered with registerType and
// destroys them at shutdown, newest first; an entry whose service is gone
// stays in the table and answers null.
class ksKernelServiceFactory
{
public:
    static ksKernelServiceFactory& the();

    // Enters `service` (null allowed, to reserve the class) under T.
    template <class T>
    void setEntry(T* service)
    {
        static_assert(std::is_base_of<ksBaseService, T>::value, "services derive from ksBaseService");
        setEntry(typeid(T), service);
    }

    // Publishes a service: the factory takes ownership, emits its init at
    // start and destroys it at shutdown. Registering twice does nothing.
    void registerType(ksBaseService* service);

    // setEntry<T> and registerType in one step.
    template <class T>
    T* add(T* service)
    {
        setEntry<T>(service);
        registerType(service);
        return service;
    }

    // The service entered under T. Without an entry it prints
    // "ksKernelServiceFactory: couldn't find class '<T>'!", with an entry
    // that holds no service "ksKernelServiceFactory: service '<T>' is NULL!",
    // both to standard error, and returns null.
    template <class T>
    T* get() const
    {
        static_assert(std::is_base_of<ksBaseService, T>::value, "services derive from ksBaseService");
        // Entries under T are only ever set from a T*.
        return static_cast<T*>(get(typeid(T)));
    }
    ksBaseService* get(const std::type_info& type) const;

    // A quiet test: true when T has an entry that holds a service.
    template <class T>
    bool has() const
    {
        return has(typeid(T));
    }
    bool has(const std::type_info& type) const;

    // Registered services that still exist, oldest first.
    QList<ksBaseService*> services() const;

    // Emits init on every registered service that has not had it yet,
    // oldest first; returns how many were initialised.
    int initializeServices();

    // Destroys the registered services, newest first. Entries remain and
    // answer null until they are set again.
    void shutdown();

    // Forgets every entry and registration without destroying anything.
    void clearEntries();

private:
    ksKernelServiceFactory() = default;

    void setEntry(const std::type_info& type, ksBaseService* service);

    struct Registered
    {
        QPointer<ksBaseService> service;
        bool initialized;
    };

    mutable QMutex m_mutex;
    QHash<std::size_t, QPointer<ksBaseService>> m_entries;
    QList<Registered> m_registered;
};
