// Licensed under the MIT licence; see LICENSE.
// The status snapshot's order and lookups.
#include "model/ksStatusSnapshot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

TEST(StatusSnapshot, SortsAnyIdsAndFindsEachOfThem)
{
    // Ids that differ in every digit of the sort, ids that share their high
    // digits (as a scene's do), and the extremes.
    std::mt19937 random(7);
    std::vector<std::uint32_t> ids{1, 0xffffffffu, 0x80000000u, 2048, 2047};
    for (int i = 0; i < 3000; ++i)
        ids.push_back(random() | 1u);
    for (std::uint32_t id = 500000; id < 503000; id += 3)
        ids.push_back(id);
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    std::vector<ksStatusSnapshot::Entry> entries;
    for (std::uint32_t id : ids) {
        auto status = std::make_shared<ksFileReferenceStatus>(QByteArray::number(id), 0, 0, 0);
        entries.push_back({id, std::make_shared<ksExtReferenceStatus>(status, status)});
    }
    std::shuffle(entries.begin(), entries.end(), random);

    const ksStatusSnapshot snapshot(entries);
    const QList<uint> keys = snapshot.keys();
    EXPECT_EQ(std::vector<std::uint32_t>(keys.begin(), keys.end()), ids);
    for (auto it = snapshot.begin(); it != snapshot.end(); ++it) {
        // Each id keeps its own pair through the sort.
        EXPECT_EQ(it.value()->smart()->path, QByteArray::number(it.key()));
        EXPECT_EQ(snapshot.value(it.key()), it.value());
    }
    EXPECT_FALSE(snapshot.contains(0) || snapshot.contains(3) || snapshot.value(500001) || ksStatusSnapshot().value(1));
}
