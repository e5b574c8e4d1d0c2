// Licensed under the MIT licence; see LICENSE.
#include "undo/ksMultiCommand.h"
#include "undo/ksUndoCommand.h"
#include "undo/ksUndoStack.h"
#include "undo/ksUndoString.h"

#include <QCoreApplication>
#include <QTranslator>

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

class OtherCommand : public ksUndoCommand
{
public:
    OtherCommand()
        : ksUndoCommand(ksUndoString("Other", "Test"))
    {
    }
    void redo() override {}
    void undo() override {}
};

// A class that asks for merging: consecutive steps become one.
class MergingCommand : public OtherCommand
{
public:
    bool mergeWith(const QUndoCommand* other) override { return other->id() == id(); }
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

TEST_F(Undo, AddOrExecuteRunsTheCommandAndRecordsIt)
{
    stack().addOrExecute(new StepCommand("a", &m_events));
    EXPECT_EQ(m_events, Events{"a+"});
    EXPECT_EQ(stack().count(), 1);
    stack().undo();
    stack().redo();
    EXPECT_EQ(m_events, (Events{"a+", "a-", "a+"}));
    EXPECT_EQ(&ksUndoStack::get(0), &stack());
    EXPECT_NE(&ksUndoStack::get(1), &stack());

    // Without recording, commands run and are dropped.
    m_events.clear();
    stack().setRecording(false);
    stack().addOrExecute(new StepCommand("b", &m_events));
    EXPECT_EQ(m_events, (Events{"b+", "b deleted"}));
    EXPECT_EQ(stack().count(), 1);
}

TEST_F(Undo, MultiCommandIsOneStepWithChildrenInOrderAndCallbackAfter)
{
    auto* multi = new ksMultiCommand(ksUndoString("Create Smart Reference", "Reference Commands"));
    auto* first = new StepCommand("first", &m_events, multi);
    new StepCommand("second", &m_events, multi);
    multi->setChangedCallback([this] { m_events.push_back("changed"); });
    EXPECT_EQ(first->parent(), multi);
    EXPECT_EQ(multi->parent(), nullptr);

    stack().addOrExecute(multi);
    EXPECT_EQ(stack().count(), 1);
    EXPECT_EQ(m_events, (Events{"first+", "second+", "changed"}));

    m_events.clear();
    stack().undo();
    EXPECT_EQ(m_events, (Events{"second-", "first-", "changed"}));
    m_events.clear();
    stack().redo();
    EXPECT_EQ(m_events, (Events{"first+", "second+", "changed"}));
    EXPECT_EQ(stack().stack().text(0), QStringLiteral("Create Smart Reference"));
}

TEST_F(Undo, CommandsOfOneClassNeverMergeUnlessTheClassAsks)
{
    EXPECT_EQ(StepCommand("x", &m_events).id(), StepCommand("y", &m_events).id());
    EXPECT_NE(StepCommand("x", &m_events).id(), OtherCommand().id());
    EXPECT_GT(OtherCommand().id(), 0);
    EXPECT_EQ(ksUndoCommand::makeId(typeid(OtherCommand)), OtherCommand().id());

    stack().addOrExecute(new StepCommand("a", &m_events));
    stack().addOrExecute(new StepCommand("b", &m_events));
    EXPECT_EQ(stack().count(), 2);

    stack().addOrExecute(new MergingCommand);
    stack().addOrExecute(new MergingCommand);
    EXPECT_EQ(stack().count(), 3);
}

// Translates one text in one context, as a German catalogue would.
class GermanCatalogue : public QTranslator
{
public:
    QString translate(const char* context, const char* text, const char*, int) const override
    {
        if (QByteArray(context) == "SmartField" && QByteArray(text) == "Set File Reference")
            return QStringLiteral("Dateireferenz setzen");
        return QString();
    }
    bool isEmpty() const override { return false; }
};

TEST(UndoString, TranslatesTheFirstArgumentInTheContextOfTheSecond)
{
    const ksUndoString smart("Set File Reference", "SmartField");
    const ksUndoString source("Set File Reference", "SourceField");
    EXPECT_EQ(smart.toString(), QStringLiteral("Set File Reference"));

    GermanCatalogue german;
    QCoreApplication::installTranslator(&german);
    EXPECT_EQ(smart.toString(), QStringLiteral("Dateireferenz setzen"));
    EXPECT_EQ(source.toString(), QStringLiteral("Set File Reference"));
    EXPECT_EQ(ksUndoCommand(smart).text(), QStringLiteral("Dateireferenz setzen"));
    QCoreApplication::removeTranslator(&german);
}

} // namespace
