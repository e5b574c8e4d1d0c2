// Licensed under the MIT licence; see LICENSE.
// Host messages: values, delivery to modules by flags, and named requests
// through the controller.
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

TEST(Message, ValuesAreTypedAndOverwrittenOnlyWhenAsked)
{
    ksMessage message(0x4000);
    EXPECT_EQ(message.id(), 0x4000u);
    EXPECT_FALSE(message.has("nodes"));

    EXPECT_TRUE(message.set("nodes", std::vector<int>{1, 2}, true));
    EXPECT_FALSE(message.set("nodes", std::vector<int>{3}, false));
    std::vector<int> nodes;
    ASSERT_TRUE(message.get("nodes", nodes));
    EXPECT_EQ(nodes, (std::vector<int>{1, 2}));

    EXPECT_TRUE(message.set("nodes", std::vector<int>{3}, true));
    ASSERT_TRUE(message.get("nodes", nodes));
    EXPECT_EQ(nodes, (std::vector<int>{3}));

    // A value of another type is not handed out.
    std::string wrongType;
    EXPECT_FALSE(message.get("nodes", wrongType));
    EXPECT_FALSE(message.get("absent", wrongType));
    EXPECT_TRUE(message.get("absent").empty());

    EXPECT_TRUE(message.remove("nodes"));
    EXPECT_FALSE(message.has("nodes"));
}

// Records what it receives; may destroy another module when it does.
class RecordingModule : public ksModuleBase
{
public:
    RecordingModule(const QString& name, quint64 flags, std::vector<std::string>* log)
        : ksModuleBase(name, "Test", flags)
        , m_log(log)
    {
    }

    int receivedMessage(ksMessage& message) override
    {
        m_log->push_back(getName().toStdString());
        message.set("answeredBy", getName().toStdString(), true);
        if (m_victim)
            delete m_victim;
        m_victim = nullptr;
        return 0;
    }

    ksModuleBase* m_victim = nullptr;

private:
    std::vector<std::string>* m_log;
};

class ModuleDelivery : public ::testing::Test
{
protected:
    void TearDown() override { ksModuleList::instance().destroyAll(); }

    std::vector<std::string> deliver(quint64 id)
    {
        m_received.clear();
        ksMessage message(id);
        ksModuleList::instance().sendMessage(message);
        return m_received;
    }

    std::vector<std::string> m_received;
};

TEST_F(ModuleDelivery, ReachesModulesWhoseFlagsHoldEveryBitOfTheId)
{
    new RecordingModule("scene", 0x108080E130ull, &m_received);
    new RecordingModule("monitor", 0x4000, &m_received);
    new RecordingModule("deaf", 0, &m_received);

    EXPECT_EQ(deliver(0x1000000000ull), std::vector<std::string>{"scene"});
    EXPECT_EQ(deliver(0x4000), (std::vector<std::string>{"scene", "monitor"}));
    EXPECT_EQ(deliver(0x4001), std::vector<std::string>{});
    EXPECT_EQ(deliver(0x1), std::vector<std::string>{});
    EXPECT_EQ(deliver(0), std::vector<std::string>{});

    // Receivers answer through the message.
    ksMessage message(0x4000);
    EXPECT_EQ(ksModuleList::instance().sendMessage(message), 2);
    std::string answeredBy;
    ASSERT_TRUE(message.get("answeredBy", answeredBy));
    EXPECT_EQ(answeredBy, "monitor");
}

TEST_F(ModuleDelivery, AModuleDestroyedDuringDeliveryIsSkipped)
{
    auto* first = new RecordingModule("first", 0x1, &m_received);
    auto* second = new RecordingModule("second", 0x1, &m_received);
    new RecordingModule("third", 0x1, &m_received);
    first->m_victim = second;

    EXPECT_EQ(deliver(0x1), (std::vector<std::string>{"first", "third"}));
    EXPECT_EQ(ksModuleList::instance().modules().size(), 2);
    EXPECT_EQ(ksModuleList::instance().find("second"), nullptr);
}

TEST(Controller, CallsTheNewestHandlerOfTheName)
{
    std::vector<std::string> calls;
    ksSubscription host = ksController::addHandler("reloadNodesFromFile", [&](ksMessage& message, ksModuleBase*) {
        calls.push_back("host");
        message.set("reloadedNodes", std::vector<int>{7}, true);
    });
    ksMessage message;
    message.set("nodes", std::vector<int>{7}, true);
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
    EXPECT_EQ(calls, (std::vector<std::string>{"host", "stub", "host"}));
}

TEST(Controller, UnhandledNameWarnsAndFails)
{
    LogRecorder log;
    ksMessage message;
    EXPECT_FALSE(ksController::hasHandler("noSuchRequest"));
    EXPECT_FALSE(ksController::call("noSuchRequest", message, nullptr));
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0].level, ksLog::Level::Warning);
    EXPECT_NE(log.lines()[0].text.find("noSuchRequest"), std::string::npos);
}

TEST(Controller, AHandlerMayEndItsOwnRegistration)
{
    int calls = 0;
    auto subscription = std::make_shared<ksSubscription>();
    *subscription = ksController::addHandler("once", [&calls, subscription](ksMessage&, ksModuleBase*) {
        ++calls;
        subscription->reset();
    });
    ksMessage message;
    EXPECT_TRUE(ksController::call("once", message, nullptr));
    EXPECT_FALSE(ksController::hasHandler("once"));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(ksController::call("once", message, nullptr));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(calls, 1);
}

} // namespace
