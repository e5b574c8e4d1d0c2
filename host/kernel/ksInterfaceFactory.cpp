// Licensed under the MIT licence; see LICENSE.
#include "kernel/ksInterfaceFactory.h"

#include "kernel/ksInterfaceObject.h"

#include <iterator>

ksInterfaceFactory& ksInterfaceFactory::the()
{
    // Never destroyed: interface objects leave it from exit-time destructors.
    static ksInterfaceFactory* factory = new ksInterfaceFactory;
    return *factory;
}

ksInterfaceObject* ksInterfaceFactory::get(std::type_index type) const
{
    QMutexLocker lock(&m_mutex);
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it) {
        if (it->type == type)
            return it->object;
    }
    return nullptr;
}

QList<ksInterfaceObject*> ksInterfaceFactory::objects() const
{
    QMutexLocker lock(&m_mutex);
    QList<ksInterfaceObject*> result;
    for (const Entry& entry : m_entries)
        result.append(entry.object);
    return result;
}

int ksInterfaceFactory::initializeAll()
{
    int count = 0;
    for (std::size_t i = 0;; ++i) {
        ksInterfaceObject* object = nullptr;
        {
            QMutexLocker lock(&m_mutex);
            if (i >= m_entries.size())
                break;
            if (m_entries[i].initialized)
                continue;
            m_entries[i].initialized = true;
            object = m_entries[i].object;
        }
        // Without the lock: onInitialize usually looks other interfaces up.
        object->onInitialize();
        ++count;
    }
    return count;
}

void ksInterfaceFactory::add(std::type_index type, ksInterfaceObject* object)
{
    if (!object)
        return;
    QMutexLocker lock(&m_mutex);
    m_entries.push_back(Entry{type, object, false});
}

void ksInterfaceFactory::remove(std::type_index type, ksInterfaceObject* object)
{
    QMutexLocker lock(&m_mutex);
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it) {
        if (it->type == type && it->object == object) {
            m_entries.erase(std::next(it).base());
            return;
        }
    }
}
