// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/BaseTypes.h"

#include <memory>
#include <unordered_map>
#include <vector>

namespace osg {

class FieldContainer;

// The containers that hold edges to one container, in the order they first
// did, with a count per user (a core may hold one record as source and smart
// file). Most used containers have one user (a core its node, a record its
// core), kept inline: no allocation, and a walk up from a core reaches its
// node without hopping through the heap. A second user moves the list out.
// Small lists are searched; long ones (a material shared by thousands of
// geometries) get an index so that adding and removing stay constant time.
class UserList {
public:
    UserList();
    UserList(const UserList&) = delete;
    UserList& operator=(const UserList&) = delete;
    ~UserList();

    void add(FieldContainer* user);
    // Room for `users` distinct users in all, for a reader that counted them
    // before adding them: the list and its index are sized once instead of
    // growing (and rehashing) user by user.
    void reserve(std::size_t users);
    void remove(FieldContainer* user);
    bool empty() const { return !m_single && !m_data; }
    std::size_t size() const { return m_data ? m_data->live : (m_single ? 1 : 0); }

    template <class F> void forEach(F&& f) const
    {
        if (m_single)
            f(m_single);
        else if (m_data)
            for (const Entry& e : m_data->entries)
                if (e.count)
                    f(e.user);
    }

private:
    struct Entry {
        FieldContainer* user;
        UInt32 count;
    };
    static constexpr std::size_t IndexThreshold = 16;

    struct Data {
        std::vector<Entry> entries; // entries with count 0 are holes left for the index
        std::unique_ptr<std::unordered_map<FieldContainer*, std::size_t>> index;
        std::size_t live = 0;
    };

    std::size_t find(FieldContainer* user) const;
    void compact();
    void buildIndex();

    // At most one of these is set: the sole user, or the moved-out list.
    FieldContainer* m_single = nullptr;
    UInt32 m_singleCount = 0;
    std::unique_ptr<Data> m_data;
};

} // namespace osg
