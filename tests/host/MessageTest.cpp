// Licensed under the MIT licence; see LICENSE.
// Named requests through the controller (delivery to modules by their flags
// is checked with the reference module loaded, in the frame tests).
#include "LogRecorder.h"

#include "kernel/ksController.h"
#include "kernel/ksMessage.h"
#include "kernel/ksModuleBase.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using Names = std::vector<std::string>;

TEST(Controller, CallsTheNewestHandlerOfTheNameAndWarnsWhenThereIsNone)
{
    Names calls;
    ksSubscription host = ksController::addHandler("reloadNodesFromFile", [&](ksMessage& message, ksModuleBase*) {
        calls.push_back("host");
        message.set("reloadedNodes", std::vector<int>{7}, true);
    });
    ksMessage message;
    EXPECT_TRUE(ksController::call("reloadNodesFromFile", message, nullptr));
    std::vector<int> reloaded;
    EXPECT_TRUE(message.get("reloadedNodes", reloaded));
    EXPECT_EQ(reloaded, std::vector<int>{7});
    {
        ksSubscription stub = ksController::addHandler("reloadNodesFromFile",
                                                       [&](ksMessage&, ksModuleBase*) { calls.push_back("stub"); });
        ksController::call("reloadNodesFromFile", message, nullptr);
    }
    ksController::call("reloadNodesFromFile", message, nullptr);
    EXPECT_EQ(calls, (Names{"host", "stub", "host"}));

    // A handler may end its own registration; the name then has none.
    auto once = std::make_shared<ksSubscription>();
    *once = ksController::addHandler("once", [&calls, once](ksMessage&, ksModuleBase*) {
        calls.push_back("once");
        once->reset();
    });
    EXPECT_TRUE(ksController::call("once", message, nullptr));
    EXPECT_FALSE(ksController::hasHandler("once"));
    LogRecorder log;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(ksController::call("once", message, nullptr));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(calls.size(), 4u);
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0].level, ksLog::Level::Warning);
    EXPECT_NE(log.lines()[0].text.find("once"), std::string::npos);
}

} // namespace
