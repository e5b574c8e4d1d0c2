// Licensed under the MIT licence; see LICENSE.
#include "scene/ksSmartReferenceStash.h"

void ksSmartReferenceStash::setEntry(const std::string& name, const QByteArray& data)
{
    m_entries[name] = data;
}

QByteArray ksSmartReferenceStash::getEntry(const std::string& name) const
{
    const auto it = m_entries.find(name);
    return it == m_entries.end() ? QByteArray() : it->second;
}

bool ksSmartReferenceStash::hasEntry(const std::string& name) const
{
    return m_entries.count(name) != 0;
}

void ksSmartReferenceStash::removeEntry(const std::string& name)
{
    m_entries.erase(name);
}

void ksSmartReferenceStash::clear()
{
    m_entries.clear();
}
