// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <QtGlobal>

#include <boost/any.hpp>

#include <map>
#include <string>
#include <vector>

// A host message: an id (a bit pattern, see ksModuleList::sendMessage) and
// named values of any type. Receivers may add values to answer.
class ksMessage
{
public:
    explicit ksMessage(quint64 id = 0);

    quint64 id() const { return m_id; }
    void setId(quint64 id) { m_id = id; }

    // Stores `value` under `key`. With overwrite false an existing value is
    // kept and false is returned, so that a sender's value is not replaced
    // by accident.
    bool set(const std::string& key, const boost::any& value, bool overwrite);

    bool has(const std::string& key) const;
    // The value under key, or an empty any.
    boost::any get(const std::string& key) const;
    // Copies the value into `out` when it is there and of type T.
    template <class T>
    bool get(const std::string& key, T& out) const
    {
        const auto it = m_values.find(key);
        if (it == m_values.end())
            return false;
        const T* value = boost::any_cast<T>(&it->second);
        if (!value)
            return false;
        out = *value;
        return true;
    }
    bool remove(const std::string& key);
    std::vector<std::string> keys() const;

private:
    quint64 m_id;
    std::map<std::string, boost::any> m_values;
};
