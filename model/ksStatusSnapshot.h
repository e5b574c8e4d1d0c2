// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "model/ksFileReferenceStatus.h"

#include <QList>

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <vector>

// The pool's status pairs by core id, as the update monitor's thread reads
// them: a flat array sorted by id, built once per change of the pool and
// shared, never changed, by every holder after that. Copies are cheap (one
// shared count); the pairs themselves are shared with the pool, so what the
// monitor writes into them is what the pool reads back.
//
// A flat array rather than a hash table: building it is one pass over the
// pool's own table and a linear sort, with no allocation per core, and a
// pass over it reads memory in order. Lookups by id are binary searches.
class ksStatusSnapshot
{
public:
    struct Entry
    {
        std::uint32_t id = 0;
        ksExtReferenceStatusPtr status;
    };

    // Iterates in ascending id order. `key()` and `value()` read like a map's
    // iterator, for callers that want both.
    class const_iterator
    {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = Entry;
        using difference_type = std::ptrdiff_t;
        using pointer = const Entry*;
        using reference = const Entry&;

        const_iterator() = default;
        explicit const_iterator(const Entry* entry) : m_entry(entry) {}

        std::uint32_t key() const { return m_entry->id; }
        const ksExtReferenceStatusPtr& value() const { return m_entry->status; }
        const Entry& operator*() const { return *m_entry; }
        const Entry* operator->() const { return m_entry; }
        const_iterator& operator++()
        {
            ++m_entry;
            return *this;
        }
        const_iterator operator++(int)
        {
            const_iterator before = *this;
            ++m_entry;
            return before;
        }
        bool operator==(const const_iterator& other) const { return m_entry == other.m_entry; }
        bool operator!=(const const_iterator& other) const { return m_entry != other.m_entry; }

    private:
        const Entry* m_entry = nullptr;
    };

    ksStatusSnapshot() = default;
    // Takes entries in any order; sorts them by id. Ids must be distinct.
    explicit ksStatusSnapshot(std::vector<Entry> entries);

    int size() const { return m_entries ? int(m_entries->size()) : 0; }
    bool isEmpty() const { return size() == 0; }

    const_iterator begin() const { return const_iterator(data()); }
    const_iterator end() const { return const_iterator(data() + size()); }
    const_iterator cbegin() const { return begin(); }
    const_iterator cend() const { return end(); }
    const_iterator constBegin() const { return begin(); }
    const_iterator constEnd() const { return end(); }

    bool contains(std::uint32_t id) const { return find(id) != nullptr; }
    // The pair of the core, or an empty pointer when it is not in the snapshot.
    ksExtReferenceStatusPtr value(std::uint32_t id) const;
    // The core ids, ascending.
    QList<std::uint32_t> keys() const;

    // Sorts by the id in ascending order in linear time (a radix sort: ids
    // are 32-bit, and a comparison sort would grow faster than the pool).
    static void sortById(std::vector<Entry>& entries);

private:
    const Entry* data() const { return m_entries ? m_entries->data() : nullptr; }
    const Entry* find(std::uint32_t id) const;

    std::shared_ptr<const std::vector<Entry>> m_entries;
};
