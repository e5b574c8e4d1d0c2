// Licensed under the MIT licence; see LICENSE.
// The pool's id table against std::unordered_map, with the id patterns scenes produce.
#include "model/ksContainerIdMap.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <unordered_map>

TEST(ContainerIdMap, AgreesWithAStandardMapUnderRandomWork)
{
    // Strides: ids in sequence, every 4th (a reference node with its core and
    // two records), odd and large powers of two.
    for (std::uint32_t stride : {1u, 4u, 5u, 64u, 4096u}) {
        SCOPED_TRACE(testing::Message() << "stride " << stride);
        std::mt19937 random(stride);
        ksContainerIdMap<int> map;
        std::unordered_map<std::uint32_t, int> reference;
        for (int step = 0; step < 200000; ++step) {
            const std::uint32_t key = 1 + stride * std::uint32_t(random() % 20000);
            const unsigned action = random() % 4;
            if (action < 2) {
                map[key] = step;
                reference[key] = step;
            } else if (action == 2) {
                ASSERT_EQ(map.remove(key), reference.erase(key) == 1);
            } else {
                const int* found = map.find(key);
                const auto expected = reference.find(key);
                ASSERT_EQ(found ? *found : -1, expected == reference.end() ? -1 : expected->second);
            }
            ASSERT_EQ(map.size(), int(reference.size()));
        }
        int visited = 0;
        map.forEach([&](std::uint32_t key, int value) {
            ++visited;
            EXPECT_EQ(reference.at(key), value);
        });
        EXPECT_EQ(visited, int(reference.size()));
    }
}

TEST(ContainerIdMap, TakesValuesOutAndReleasesWhatItRemoves)
{
    ksContainerIdMap<std::shared_ptr<int>> map;
    const auto value = std::make_shared<int>(7);
    for (std::uint32_t id = 1; id <= 1000; ++id)
        map[id] = value;
    EXPECT_EQ(map.take(1), value);
    EXPECT_EQ(map.take(1), nullptr);
    for (std::uint32_t id = 2; id <= 1000; ++id)
        map.remove(id);
    EXPECT_TRUE(map.isEmpty());
    EXPECT_EQ(value.use_count(), 1);
    EXPECT_EQ(map.find(0), nullptr); // 0 is NullFC, never a key
}
