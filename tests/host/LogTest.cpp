// Licensed under the MIT licence; see LICENSE.
#include "utils/ksLog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

TEST(Log, EndedSubscriptionsHearNothingEvenWhenEndedDuringACall)
{
    int first = 0, second = 0, laterCalls = 0;
    ksSubscription later;
    ksSubscription a = ksLog::subscribe([&](ksLog::Level, const std::string&) {
        ++first;
        later.reset();
    });
    later = ksLog::subscribe([&](ksLog::Level, const std::string&) { ++laterCalls; });
    ksSubscription b = ksLog::subscribe([&](ksLog::Level, const std::string&) { ++second; });
    ksLog::setEchoToStandardError(false);
    ksLog::info("one");
    a.reset();
    ksLog::info("two");
    {
        ksSubscription moved = std::move(b);
        EXPECT_FALSE(b.isActive());
        ksLog::info("three");
    }
    ksLog::info("four");
    ksLog::setEchoToStandardError(true);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 3);
    EXPECT_EQ(laterCalls, 0) << "ended by an earlier listener of the same call";
}

TEST(Log, ConcurrentWritersAreAllHeard)
{
    std::atomic<int> heard{0};
    ksSubscription counter = ksLog::subscribe([&](ksLog::Level, const std::string&) { ++heard; });
    ksLog::setEchoToStandardError(false);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 500; ++i) {
                // Listeners coming and going on other threads do not disturb
                // the ones that stay.
                ksSubscription transient = ksLog::subscribe([](ksLog::Level, const std::string&) {});
                ksLog::warning("thread %d message %d", t, i);
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    ksLog::setEchoToStandardError(true);
    EXPECT_EQ(heard.load(), 2000);
}

} // namespace
