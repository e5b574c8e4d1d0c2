// Licensed under the MIT licence; see LICENSE.
#include "undo/ksUndoCommand.h"
#include "undo/ksUndoStack.h"
#include "undo/ksUndoString.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Events = std::vector<std::string>;

// Appends "<name>+" on redo and "<name>-" on undo.
class StepCommand : public ksUndoCommand
{
public:
    StepCommand(const char* name, Events* events, QUndoCommand* parent = nullptr)
        : ksUndoCommand(ksUndoString("Step", "Test"), parent)
        , m_name(name)
        , m_events(events)
    {
    }
    ~StepCommand() override { m_events->push_back(m_name + " deleted"); }

    void redo() override { m_events->push_back(m_name + "+"); }
    void undo() override { m_events->push_back(m_name + "-"); }

private:
    std::string m_name;
    Events* m_events;
};

class Undo : public ::testing::Test
{
protected:
    void SetUp() override { stack().clear(); }
    void TearDown() override
    {
        stack().clear();
        stack().setRecording(true);
    }
    static ksUndoStack& stack() { return ksUndoStack::get(0); }

    Events m_events;
};

TEST_F(Undo, AddOrExecuteRunsAndRecordsEachCommandApart)
{
    stack().addOrExecute(new StepCommand("a", &m_events));
    EXPECT_EQ(m_events, Events{"a+"});
    stack().undo();
    stack().redo();
    EXPECT_EQ(m_events, (Events{"a+", "a-", "a+"}));
    EXPECT_NE(&ksUndoStack::get(1), &stack());

    stack().addOrExecute(new StepCommand("b", &m_events));
    EXPECT_EQ(stack().count(), 2) << "commands of one class do not merge";

    // Without recording, commands run and are dropped.
    m_events.clear();
    stack().setRecording(false);
    stack().addOrExecute(new StepCommand("c", &m_events));
    EXPECT_EQ(m_events, (Events{"c+", "c deleted"}));
    EXPECT_EQ(stack().count(), 2);
}

} // namespace
