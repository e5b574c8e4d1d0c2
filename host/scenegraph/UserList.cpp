// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/UserList.h"

#include <cassert>

namespace osg {

UserList::UserList() = default;
UserList::~UserList() = default;

std::size_t UserList::find(FieldContainer* user) const
{
    const auto& entries = m_data->entries;
    if (m_data->index) {
        auto it = m_data->index->find(user);
        return it == m_data->index->end() ? entries.size() : it->second;
    }
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i].user == user)
            return i;
    return entries.size();
}

void UserList::add(FieldContainer* user)
{
    if (!m_data) {
        if (!m_single || m_single == user) {
            m_single = user;
            ++m_singleCount;
            return;
        }
        m_data = std::make_unique<Data>();
        m_data->entries.push_back({m_single, m_singleCount});
        m_data->live = 1;
        m_single = nullptr;
        m_singleCount = 0;
    }
    auto& entries = m_data->entries;
    const std::size_t i = find(user);
    if (i < entries.size()) {
        ++entries[i].count;
        return;
    }
    entries.push_back({user, 1});
    ++m_data->live;
    if (m_data->index)
        m_data->index->emplace(user, entries.size() - 1);
    else if (entries.size() > IndexThreshold)
        buildIndex();
}

void UserList::reserve(std::size_t users)
{
    if (users < 2)
        return; // one user stays inline
    if (!m_data) {
        m_data = std::make_unique<Data>();
        if (m_single) {
            m_data->entries.push_back({m_single, m_singleCount});
            m_data->live = 1;
            m_single = nullptr;
            m_singleCount = 0;
        }
    }
    m_data->entries.reserve(users);
    if (users > IndexThreshold) {
        if (!m_data->index)
            buildIndex();
        m_data->index->reserve(users);
    }
}

void UserList::remove(FieldContainer* user)
{
    if (!m_data) {
        assert(m_single == user && "removing a user that was never added");
        if (m_single == user && --m_singleCount == 0)
            m_single = nullptr;
        return;
    }
    auto& entries = m_data->entries;
    const std::size_t i = find(user);
    assert(i < entries.size() && "removing a user that was never added");
    if (i >= entries.size() || --entries[i].count > 0)
        return;
    if (--m_data->live == 0) {
        m_data.reset();
        return;
    }
    if (!m_data->index) {
        entries.erase(entries.begin() + std::ptrdiff_t(i));
        return;
    }
    // Keep a hole so that the other slots in the index stay valid; squeeze
    // the holes out once they are the majority.
    m_data->index->erase(user);
    if (m_data->live * 2 < entries.size())
        compact();
}

void UserList::compact()
{
    auto& entries = m_data->entries;
    std::size_t out = 0;
    for (const Entry& e : entries)
        if (e.count)
            entries[out++] = e;
    entries.resize(out);
    if (entries.size() > IndexThreshold)
        buildIndex();
    else
        m_data->index.reset();
}

void UserList::buildIndex()
{
    auto& index = m_data->index;
    if (!index)
        index = std::make_unique<std::unordered_map<FieldContainer*, std::size_t>>();
    index->clear();
    index->reserve(m_data->entries.size() * 2);
    for (std::size_t i = 0; i < m_data->entries.size(); ++i)
        if (m_data->entries[i].count)
            index->emplace(m_data->entries[i].user, i);
}

} // namespace osg
