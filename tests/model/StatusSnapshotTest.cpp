// Licensed under the MIT licence; see LICENSE.
// The status snapshot: its order and lookups, and what the pool hands out.
#include "ModelTestSupport.h"

#include "model/ksReferencePool.h"
#include "model/ksStatusSnapshot.h"

#include <algorithm>
#include <random>

using namespace osg;
using namespace modeltest;

namespace {

std::vector<ksStatusSnapshot::Entry> entriesFor(const std::vector<std::uint32_t>& ids)
{
    std::vector<ksStatusSnapshot::Entry> entries;
    for (std::uint32_t id : ids) {
        auto status = std::make_shared<ksFileReferenceStatus>(QByteArray::number(id), 0, 0, 0);
        entries.push_back({id, std::make_shared<ksExtReferenceStatus>(status, status)});
    }
    return entries;
}

} // namespace

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
    std::vector<std::uint32_t> shuffled = ids;
    std::shuffle(shuffled.begin(), shuffled.end(), random);

    const ksStatusSnapshot snapshot(entriesFor(shuffled));
    ASSERT_EQ(snapshot.size(), int(ids.size()));
    EXPECT_EQ(snapshot.keys().toVector().toStdVector(), ids);
    for (auto it = snapshot.begin(); it != snapshot.end(); ++it) {
        // Each id keeps its own pair through the sort.
        EXPECT_EQ(it.value()->smart()->path, QByteArray::number(it.key()));
        EXPECT_EQ(snapshot.value(it.key()), it.value());
    }
    EXPECT_FALSE(snapshot.contains(0));
    EXPECT_FALSE(snapshot.contains(3));
    EXPECT_FALSE(snapshot.value(500001));

    const ksStatusSnapshot empty;
    EXPECT_TRUE(empty.isEmpty());
    EXPECT_EQ(empty.begin(), empty.end());
    EXPECT_FALSE(empty.value(1));
}

TEST(StatusSnapshot, ThePoolHandsOutAFixedCopyThatSharesTheRecords)
{
    ksReferencePool& pool = ksReferencePool::instance();
    ASSERT_TRUE(pool.isEmpty());
    std::vector<NodeRefPtr> nodes;
    for (int i = 0; i < 40; ++i)
        nodes.push_back(makeReferenceNode("/refs/" + std::to_string(i) + ".zmb"));

    const ksStatusSnapshot before = pool.getStatusSnapshot();
    ASSERT_EQ(before.size(), 40);
    std::vector<std::uint32_t> expected;
    for (const NodeRefPtr& node : nodes)
        expected.push_back(coreOf(node).getFieldContainerId());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(before.keys().toVector().toStdVector(), expected);

    // What the monitor writes through its copy is what the pool holds.
    const std::uint32_t first = coreOf(nodes.front()).getFieldContainerId();
    before.value(first)->smart()->checksum = 99;
    EXPECT_EQ(pool.getStatusSnapshot().value(first)->smart()->checksum.load(), 99u);

    // A copy taken before cores came and went stays as it was.
    nodes.erase(nodes.begin());
    nodes.push_back(makeReferenceNode("/refs/late.zmb"));
    const ksStatusSnapshot after = pool.getStatusSnapshot();
    EXPECT_EQ(before.size(), 40);
    EXPECT_TRUE(before.contains(first));
    EXPECT_FALSE(after.contains(first));
    EXPECT_TRUE(after.contains(coreOf(nodes.back()).getFieldContainerId()));
    EXPECT_TRUE(std::is_sorted(after.begin(), after.end(), [](const auto& a, const auto& b) { return a.id < b.id; }));

    nodes.clear();
    EXPECT_TRUE(pool.getStatusSnapshot().isEmpty());
}
