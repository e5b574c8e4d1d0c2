// Licensed under the MIT licence; see LICENSE.
#include "model/ksStatusSnapshot.h"

#include <algorithm>
#include <array>

namespace {

constexpr int DigitBits = 11;
constexpr std::uint32_t DigitCount = 1u << DigitBits;
constexpr int Passes = (32 + DigitBits - 1) / DigitBits;

std::uint32_t digit(std::uint32_t id, int pass)
{
    return (id >> (pass * DigitBits)) & (DigitCount - 1);
}

} // namespace

ksStatusSnapshot::ksStatusSnapshot(std::vector<Entry> entries)
{
    sortById(entries);
    m_entries = std::make_shared<const std::vector<Entry>>(std::move(entries));
}

void ksStatusSnapshot::sortById(std::vector<Entry>& entries)
{
    if (entries.size() < 2)
        return;
    // Ids of a scene are handed out in sequence, so the high digits are
    // mostly the same for every entry: a pass whose digit is the same
    // everywhere moves nothing and is left out.
    std::vector<std::array<std::uint32_t, DigitCount>> counts(Passes);
    for (auto& count : counts)
        count.fill(0);
    for (const Entry& entry : entries) {
        for (int pass = 0; pass < Passes; ++pass)
            ++counts[pass][digit(entry.id, pass)];
    }
    std::vector<Entry> scratch(entries.size());
    for (int pass = 0; pass < Passes; ++pass) {
        std::array<std::uint32_t, DigitCount>& count = counts[pass];
        if (count[digit(entries.front().id, pass)] == entries.size())
            continue;
        std::uint32_t offset = 0;
        for (std::uint32_t& slot : count) {
            const std::uint32_t n = slot;
            slot = offset;
            offset += n;
        }
        for (Entry& entry : entries)
            scratch[count[digit(entry.id, pass)]++] = std::move(entry);
        entries.swap(scratch);
    }
}

const ksStatusSnapshot::Entry* ksStatusSnapshot::find(std::uint32_t id) const
{
    const Entry* first = data();
    const Entry* last = first + size();
    const Entry* found =
        std::lower_bound(first, last, id, [](const Entry& entry, std::uint32_t key) { return entry.id < key; });
    return found != last && found->id == id ? found : nullptr;
}

ksExtReferenceStatusPtr ksStatusSnapshot::value(std::uint32_t id) const
{
    const Entry* found = find(id);
    return found ? found->status : ksExtReferenceStatusPtr();
}

QList<std::uint32_t> ksStatusSnapshot::keys() const
{
    QList<std::uint32_t> ids;
    ids.reserve(size());
    for (const Entry& entry : *this)
        ids.append(entry.id);
    return ids;
}
