// Licensed under the MIT licence; see LICENSE.
// Host messages: delivery to modules by flags, and named requests through
// the controller.
#include "LogRecorder.h"

#include "kernel/ksController.h"
#include "kernel/ksMessage.h"
#include "kernel/ksModuleBase.h"
#include "kernel/ksModuleList.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using Names = std::vector<std::string>;

// Records what it receives; may destroy another module when it does.
class RecordingModule : public ksModuleBase
{
public:
    RecordingModule(const QString& name, quint64 flags, Names* log)
        : ksModuleBase(name, "Test", flags)
        , m_log(log)
    {
    }

    void destroyOnReceipt(ksModuleBase* victim) { m_victim = victim; }

    int receivedMessage(ksMessage&) override
    {
        m_log->push_back(getName().toStdString());
        delete m_victim;
        m_victim = nullptr;
        return 0;
    }

private:
    Names* m_log;
    ksModuleBase* m_victim = nullptr;
};

class ModuleDelivery : public ::testing::Test
{
protected:
    void TearDown() override { ksModuleList::instance().destroyAll(); }

    Names deliver(quint64 id)
    {
        m_received.clear();
        ksMessage message(id);
        ksModuleList::instance().sendMessage(message);
        return m_received;
    }

    Names m_received;
};

TEST_F(ModuleDelivery, ReachesModulesWhoseFlagsHoldEveryBitOfTheIdAndSkipsOnesDestroyedMeanwhile)
{
    auto* scene = new RecordingModule("scene", 0x108080E130ull, &m_received);
    auto* monitor = new RecordingModule("monitor", 0x4000, &m_received);
    new RecordingModule("deaf", 0, &m_received);
    new RecordingModule("last", 0x4000, &m_received);
    EXPECT_EQ(deliver(0x1000000000ull), Names{"scene"});
    EXPECT_EQ(deliver(0x4001), Names{});
    EXPECT_EQ(deliver(0), Names{});
    ksMessage message(0x4000);
    EXPECT_EQ(ksModuleList::instance().sendMessage(message), 3);
    EXPECT_EQ(m_received, (Names{"scene", "monitor", "last"}));

    scene->destroyOnReceipt(monitor);
    EXPECT_EQ(deliver(0x4000), (Names{"scene", "last"}));
    EXPECT_EQ(ksModuleList::instance().find("monitor"), nullptr);
}

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
