// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/UserList.h"

#include <cassert>

namespace osg {

UserList::UserList() = default;
UserList::~UserList() = default;

std::size_t UserList::find(FieldContainer* user) const
{
    if (m_index) {
        auto it = m_index->find(user);
        return it == m_index->end() ? m_entries.size() : it->second;
    }
    for (std::size_t i = 0; i < m_entries.size(); ++i)
        if (m_entries[i].user == user)
            return i;
    return m_entries.size();
}

void UserList::add(FieldContainer* user)
{
    std::size_t i = find(user);
    if (i < m_entries.size()) {
        ++m_entries[i].count;
        return;
    }
    m_entries.push_back({user, 1});
    ++m_live;
    if (m_index)
        m_index->emplace(user, m_entries.size() - 1);
    else if (m_entries.size() > IndexThreshold)
        buildIndex();
}

void UserList::remove(FieldContainer* user)
{
    std::size_t i = find(user);
    assert(i < m_entries.size() && "removing a user that was never added");
    if (i >= m_entries.size() || --m_entries[i].count > 0)
        return;
    --m_live;
    if (!m_index) {
        m_entries.erase(m_entries.begin() + std::ptrdiff_t(i));
        return;
    }
    // Keep a hole so that the other slots in the index stay valid; squeeze
    // the holes out once they are the majority.
    m_index->erase(user);
    if (m_live * 2 < m_entries.size())
        compact();
}

void UserList::compact()
{
    std::size_t out = 0;
    for (const Entry& e : m_entries)
        if (e.count)
            m_entries[out++] = e;
    m_entries.resize(out);
    if (m_entries.size() > IndexThreshold)
        buildIndex();
    else
        m_index.reset();
}

void UserList::buildIndex()
{
    if (!m_index)
        m_index = std::make_unique<std::unordered_map<FieldContainer*, std::size_t>>();
    m_index->clear();
    m_index->reserve(m_entries.size() * 2);
    for (std::size_t i = 0; i < m_entries.size(); ++i)
        if (m_entries[i].count)
            m_index->emplace(m_entries[i].user, i);
}

} // namespace osg
