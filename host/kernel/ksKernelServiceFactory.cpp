// Licensed under the MIT licence; see LICENSE.
#include "kernel/ksKernelServiceFactory.h"

#include "utils/ksTypeName.h"

#include <cstdio>

ksKernelServiceFactory& ksKernelServiceFactory::the()
{
    // Never destroyed: module code may look services up from exit-time
    // destructors.
    static ksKernelServiceFactory* factory = new ksKernelServiceFactory;
    return *factory;
}

void ksKernelServiceFactory::setEntry(const std::type_info& type, ksBaseService* service)
{
    QMutexLocker lock(&m_mutex);
    m_entries.insert(type.hash_code(), QPointer<ksBaseService>(service));
}

void ksKernelServiceFactory::registerType(ksBaseService* service)
{
    if (!service)
        return;
    QMutexLocker lock(&m_mutex);
    for (const Registered& registered : m_registered) {
        if (registered.service == service)
            return;
    }
    m_registered.append(Registered{QPointer<ksBaseService>(service), false});
}

ksBaseService* ksKernelServiceFactory::get(const std::type_info& type) const
{
    QMutexLocker lock(&m_mutex);
    const auto it = m_entries.constFind(type.hash_code());
    if (it == m_entries.constEnd()) {
        std::fprintf(stderr, "ksKernelServiceFactory: couldn't find class '%s'!\n", ksTypeName::of(type).c_str());
        return nullptr;
    }
    if (it->isNull()) {
        std::fprintf(stderr, "ksKernelServiceFactory: service '%s' is NULL!\n", ksTypeName::of(type).c_str());
        return nullptr;
    }
    return it->data();
}

bool ksKernelServiceFactory::has(const std::type_info& type) const
{
    QMutexLocker lock(&m_mutex);
    const auto it = m_entries.constFind(type.hash_code());
    return it != m_entries.constEnd() && !it->isNull();
}

QList<ksBaseService*> ksKernelServiceFactory::services() const
{
    QMutexLocker lock(&m_mutex);
    QList<ksBaseService*> result;
    for (const Registered& registered : m_registered) {
        if (registered.service)
            result.append(registered.service.data());
    }
    return result;
}

int ksKernelServiceFactory::initializeServices()
{
    int count = 0;
    // Index loop without the lock held while emitting: init handlers look
    // services up and may register new ones (which are initialised too).
    for (int i = 0;; ++i) {
        QPointer<ksBaseService> service;
        {
            QMutexLocker lock(&m_mutex);
            if (i >= m_registered.size())
                break;
            if (m_registered[i].initialized || !m_registered[i].service)
                continue;
            m_registered[i].initialized = true;
            service = m_registered[i].service;
        }
        emit service->init();
        ++count;
    }
    return count;
}

void ksKernelServiceFactory::shutdown()
{
    for (;;) {
        QPointer<ksBaseService> service;
        {
            QMutexLocker lock(&m_mutex);
            if (m_registered.isEmpty())
                break;
            service = m_registered.takeLast().service;
        }
        // Deleted without the lock: a destructor may look other services up.
        delete service.data();
    }
}

void ksKernelServiceFactory::clearEntries()
{
    QMutexLocker lock(&m_mutex);
    m_entries.clear();
    m_registered.clear();
}
