// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

// A hash map from scene-graph container ids to values, for the tables the
// pool updates on every reference core that is created or destroyed. One
// array with open addressing: no allocation per entry and no division per
// lookup, where a node-based hash pays both. Id 0 (NullFC) marks a free slot
// and cannot be a key.
//
// Ids are handed out in sequence, so an id's home slot is taken from its low
// bits: neighbours sit side by side and work in creation order stays in
// cache. That makes long runs of occupied slots normal, which plain linear
// probing handles badly (a removal scans to the end of its run). Robin Hood
// ordering keeps each run sorted by distance from home, so lookups stop
// early and a removal shifts back only the entries displaced behind it.
//
// The table doubles at half load and never shrinks: scenes drop and re-add
// their references by the thousand, and a table that followed them down would
// be rebuilt each time.
template <class T> class ksContainerIdMap
{
public:
    int size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }

    T* find(std::uint32_t key)
    {
        const std::size_t i = indexOf(key);
        return i == npos ? nullptr : &m_slots[i].value;
    }
    const T* find(std::uint32_t key) const { return const_cast<ksContainerIdMap*>(this)->find(key); }
    bool contains(std::uint32_t key) const { return indexOf(key) != npos; }

    // The value under `key`, default-constructed when it was absent.
    T& operator[](std::uint32_t key)
    {
        const std::size_t found = indexOf(key);
        if (found != npos)
            return m_slots[found].value;
        if (2 * (m_size + 1) > int(m_slots.size()))
            grow();
        ++m_size;
        return m_slots[place(key, T())].value;
    }

    // Removes the entry and gives its value back (a default value when there
    // was none).
    T take(std::uint32_t key)
    {
        const std::size_t i = indexOf(key);
        if (i == npos)
            return T();
        T taken = std::move(m_slots[i].value);
        eraseSlot(i);
        return taken;
    }
    bool remove(std::uint32_t key)
    {
        const std::size_t i = indexOf(key);
        if (i == npos)
            return false;
        eraseSlot(i);
        return true;
    }

    // Calls f(key, value) for every entry, in no particular order. `f` must
    // not add or remove entries.
    template <class F> void forEach(F f) const
    {
        for (const Slot& slot : m_slots) {
            if (slot.key != 0)
                f(slot.key, slot.value);
        }
    }

private:
    struct Slot
    {
        T value{};
        std::uint32_t key = 0;
    };

    static constexpr std::size_t npos = ~std::size_t(0);

    std::size_t mask() const { return m_slots.size() - 1; }
    // The bits above the mask count how often the ids wrapped around the
    // table; folding them in sends each wrap to other slots, so ids with a
    // power-of-two stride do not pile up on the same few slots.
    std::size_t home(std::uint32_t key) const { return std::size_t(key ^ (key >> m_bits)) & mask(); }
    std::size_t distance(std::size_t i) const { return (i - home(m_slots[i].key)) & mask(); }
    std::size_t next(std::size_t i) const { return (i + 1) & mask(); }

    std::size_t indexOf(std::uint32_t key) const
    {
        if (key == 0 || m_size == 0)
            return npos;
        std::size_t i = home(key);
        for (std::size_t d = 0;; ++d, i = next(i)) {
            const Slot& slot = m_slots[i];
            if (slot.key == key)
                return i;
            // A run is sorted by distance: the key would have been here.
            if (slot.key == 0 || distance(i) < d)
                return npos;
        }
    }

    // Inserts an absent key; returns where it landed. An entry closer to its
    // home than the one being placed gives up its slot and moves on.
    std::size_t place(std::uint32_t key, T value)
    {
        std::size_t landed = npos;
        std::size_t i = home(key);
        for (std::size_t d = 0;; ++d, i = next(i)) {
            Slot& slot = m_slots[i];
            if (slot.key == 0) {
                slot.key = key;
                slot.value = std::move(value);
                return landed == npos ? i : landed;
            }
            const std::size_t existing = distance(i);
            if (existing < d) {
                std::swap(slot.key, key);
                std::swap(slot.value, value);
                if (landed == npos)
                    landed = i;
                d = existing;
            }
        }
    }

    void grow()
    {
        std::vector<Slot> old(m_slots.empty() ? 16 : 2 * m_slots.size());
        old.swap(m_slots);
        m_bits = 0;
        for (std::size_t n = m_slots.size(); n > 1; n >>= 1)
            ++m_bits;
        for (Slot& slot : old) {
            if (slot.key != 0)
                place(slot.key, std::move(slot.value));
        }
    }

    // Backward shift: the entries displaced behind the hole move one slot
    // closer to home, up to a free slot or an entry already at home.
    void eraseSlot(std::size_t hole)
    {
        for (std::size_t i = next(hole); m_slots[i].key != 0 && distance(i) != 0; i = next(i)) {
            m_slots[hole].key = m_slots[i].key;
            m_slots[hole].value = std::move(m_slots[i].value);
            hole = i;
        }
        m_slots[hole].key = 0;
        m_slots[hole].value = T();
        --m_size;
    }

    std::vector<Slot> m_slots;
    int m_size = 0;
    unsigned m_bits = 0;
};
