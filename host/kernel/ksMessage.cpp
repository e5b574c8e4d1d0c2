// Licensed under the MIT licence; see LICENSE.
#include "kernel/ksMessage.h"

ksMessage::ksMessage(quint64 id)
    : m_id(id)
{
}

bool ksMessage::set(const std::string& key, const boost::any& value, bool overwrite)
{
    auto it = m_values.find(key);
    if (it == m_values.end()) {
        m_values.emplace(key, value);
        return true;
    }
    if (!overwrite)
        return false;
    it->second = value;
    return true;
}

bool ksMessage::has(const std::string& key) const
{
    return m_values.count(key) != 0;
}

boost::any ksMessage::get(const std::string& key) const
{
    const auto it = m_values.find(key);
    return it == m_values.end() ? boost::any() : it->second;
}

bool ksMessage::remove(const std::string& key)
{
    return m_values.erase(key) != 0;
}

std::vector<std::string> ksMessage::keys() const
{
    std::vector<std::string> result;
    result.reserve(m_values.size());
    for (const auto& value : m_values)
        result.push_back(value.first);
    return result;
}
