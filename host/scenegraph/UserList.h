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
// file). Small lists are searched; long ones (a material shared by thousands
// of geometries) get an index so that adding and removing stay constant time.
class UserList {
public:
    UserList();
    UserList(const UserList&) = delete;
    UserList& operator=(const UserList&) = delete;
    ~UserList();

    void add(FieldContainer* user);
    void remove(FieldContainer* user);
    bool empty() const { return m_live == 0; }
    std::size_t size() const { return m_live; }

    template <class F> void forEach(F&& f) const
    {
        for (const Entry& e : m_entries)
            if (e.count)
                f(e.user);
    }

private:
    struct Entry {
        FieldContainer* user;
        UInt32 count;
    };
    static constexpr std::size_t IndexThreshold = 16;

    std::size_t find(FieldContainer* user) const;
    void compact();
    void buildIndex();

    std::vector<Entry> m_entries; // entries with count 0 are holes left for the index
    std::unique_ptr<std::unordered_map<FieldContainer*, std::size_t>> m_index;
    std::size_t m_live = 0;
};

} // namespace osg
