// Licensed under the MIT licence; see LICENSE.
// The host's node undo commands: adding children, moving nodes, and
// selection steps, each undone and redone repeatedly, and left alone once
// their nodes are gone.
// First: Qt defines `slots` as a macro, a member name in the scene graph.
#include "scenegraph/SceneGraph.h"

#include "kernel/ksKernelServiceFactory.h"
#include "kernel/ksTreeService.h"
#include "undo/ksAddChildrenCommand.h"
#include "undo/ksMoveNodesCommand.h"
#include "undo/ksSelectionUndoCommand.h"
#include "undo/ksUndoStack.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <memory>

using namespace osg;

namespace {

using Nodes = std::vector<NodePtr>;

NodeRefPtr makeGroup()
{
    NodeRefPtr node = Node::create();
    node->setCore(GroupBase::create());
    return node;
}

Nodes children(const NodePtr& parent)
{
    Nodes out;
    for (UInt32 i = 0; i < parent->getNChildren(); ++i)
        out.push_back(parent->getChild(i));
    return out;
}

// root
//  +- a
//  +- b
//  +- c
//  +- other
class NodeCommandsTest : public ::testing::Test
{
protected:
    NodeCommandsTest()
    {
        for (const NodeRefPtr& child : {a, b, c, other})
            root->addChild(child);
    }

    NodeRefPtr root = makeGroup(), a = makeGroup(), b = makeGroup(), c = makeGroup(), other = makeGroup();
};

TEST_F(NodeCommandsTest, AddChildrenUndoesAndRedoesRepeatedly)
{
    UInt32 freshId = 0;
    {
        NodeRefPtr fresh = makeGroup();
        freshId = fresh.getFieldContainerId();
        // Pushed to a stack, as the host does; the command holds the fresh
        // node until it has a parent.
        ksUndoStack::get(7).addOrExecute(new ksAddChildrenCommand(b.get(), fresh.get()));
    }
    ksUndoStack& stack = ksUndoStack::get(7);
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(b->getNChildren(), 1u);
        EXPECT_EQ(b->getChild(0).getFieldContainerId(), freshId);
        stack.undo();
        EXPECT_EQ(b->getNChildren(), 0u);
        // Out of the tree, but kept for redo.
        ASSERT_TRUE(FieldContainerFactory::the()->getContainer(freshId));
        stack.redo();
    }
    stack.undo();
    stack.clear();
    EXPECT_FALSE(FieldContainerFactory::the()->getContainer(freshId)) << "the dropped command frees the node";
}

TEST_F(NodeCommandsTest, AddingANodeThatHasAParentPutsItBackOnUndo)
{
    ksAddChildrenCommand command(other.get(), Nodes{b, a});
    command.redo();
    EXPECT_EQ(children(root), (Nodes{c, other}));
    EXPECT_EQ(children(other), (Nodes{b, a}));
    command.undo();
    EXPECT_EQ(children(root), (Nodes{a, b, c, other}));
    EXPECT_EQ(other->getNChildren(), 0u);

    // Once the parent is gone (the user deleted it, and the child with it)
    // the command does nothing.
    NodeRefPtr parent = makeGroup();
    ksAddChildrenCommand orphaned(parent.get(), a.get());
    orphaned.redo();
    ASSERT_EQ(a->getParent(), parent.get());
    parent.reset();
    a.reset();
    orphaned.undo();
    orphaned.redo();
    EXPECT_EQ(children(root), (Nodes{b, c, other}));
}

// The shape the reference service builds when it puts a new reference node
// in place of a node: the new node goes where the node was, the node under it.
TEST_F(NodeCommandsTest, MovementsRunInOrderAndUndoRestoresEveryPlace)
{
    NodeRefPtr inserted = makeGroup();
    other->addChild(inserted);
    ksNodeMovements movements;
    movements.add(inserted.get(), root.get(), a.get());
    movements.add(b.get(), inserted.get());
    ksMoveNodesCommand command(movements);

    for (int round = 0; round < 2; ++round) {
        command.redo();
        EXPECT_EQ(children(root), (Nodes{a, inserted, c, other}));
        EXPECT_EQ(children(inserted), Nodes{b});
        EXPECT_EQ(other->getNChildren(), 0u);
        command.undo();
        EXPECT_EQ(children(root), (Nodes{a, b, c, other}));
        EXPECT_EQ(children(other), Nodes{inserted});
        EXPECT_EQ(inserted->getNChildren(), 0u);
    }
}

TEST_F(NodeCommandsTest, ThreeArgumentMovesPlaceAfterASibling)
{
    const NodeRefPtr stray = makeGroup();
    const struct {
        const char* name;
        NodePtr node, after;
        Nodes expected;
    } cases[] = {
        {"after a later sibling", a, c, {b, c, a, other}},
        {"after an earlier sibling", c, a, {a, c, b, other}},
        {"after itself", b, b, {a, b, c, other}},
        {"null sibling: first", c, NodePtr(), {c, a, b, other}},
        {"sibling elsewhere: appended", a, stray, {b, c, other, a}},
    };
    for (const auto& test : cases) {
        ksNodeMovements movements;
        movements.add(test.node, root.get(), test.after);
        ksMoveNodesCommand command(movements);
        command.redo();
        EXPECT_EQ(children(root), test.expected) << test.name;
        command.undo();
        EXPECT_EQ(children(root), (Nodes{a, b, c, other})) << test.name;
    }
}

TEST_F(NodeCommandsTest, MoveUndoLeavesANodeThatWasMovedSince)
{
    ksNodeMovements movements;
    movements.add(a.get(), other.get());
    ksMoveNodesCommand command(movements);
    command.redo();
    c->addChild(a);
    command.undo();
    EXPECT_EQ(a->getParent(), c.get());
}

TEST_F(NodeCommandsTest, MoveOfADeletedNodeDoesNothing)
{
    ksNodeMovements movements;
    movements.add(a.get(), other.get());
    movements.add(b.get(), other.get());
    ksMoveNodesCommand command(movements);
    root->subChild(a.get());
    a.reset();
    command.redo();
    EXPECT_EQ(children(other), Nodes{b});
    command.undo();
    EXPECT_EQ(children(root), (Nodes{b, c, other}));
}

class SelectionCommandTest : public NodeCommandsTest
{
protected:
    void SetUp() override { ksKernelServiceFactory::the().setEntry<ksTreeService>(tree.get()); }
    void TearDown() override { ksKernelServiceFactory::the().setEntry<ksTreeService>(nullptr); }

    static QList<uint> selection(const Nodes& nodes)
    {
        QList<uint> out;
        for (const NodePtr& node : nodes)
            out.append(node.getFieldContainerId());
        return out;
    }

    std::unique_ptr<ksTreeService> tree = std::make_unique<ksTreeService>();
};

TEST_F(SelectionCommandTest, ReplaceAndRestoreThePreviousSelection)
{
    tree->setSelection(selection({a, b}));
    QSignalSpy spy(tree.get(), &ksTreeService::selectionChanged);
    ksSelectionUndoCommand command(c.get(), ksSelectionUndoCommand::Replace, true);
    EXPECT_TRUE(command.isSelectionOnly());
    for (int round = 0; round < 2; ++round) {
        command.redo();
        EXPECT_EQ(tree->getSelection(), selection({c}));
        command.undo();
        EXPECT_EQ(tree->getSelection(), selection({a, b}));
    }
    ASSERT_EQ(spy.size(), 4);
    EXPECT_EQ(spy.at(0).at(0).value<QList<uint>>(), selection({c}));
}

TEST_F(SelectionCommandTest, WithoutRestoreUndoReversesOnlyItsOwnNodes)
{
    tree->setSelection(selection({a}));
    ksSelectionUndoCommand add(Nodes{b, c}, ksSelectionUndoCommand::Add, false);
    add.redo();
    EXPECT_EQ(tree->getSelection(), selection({a, b, c}));
    tree->setSelection(selection({a, b, c, other}));
    add.undo();
    EXPECT_EQ(tree->getSelection(), selection({a, other}));

    ksSelectionUndoCommand remove(a.get(), ksSelectionUndoCommand::Remove, false);
    remove.redo();
    EXPECT_EQ(tree->getSelection(), selection({other}));
    remove.undo();
    EXPECT_EQ(tree->getSelection(), selection({other, a}));
}

TEST_F(SelectionCommandTest, NodesThatAreGoneAreLeftOut)
{
    tree->setSelection(selection({a}));
    NodeRefPtr lost = makeGroup();
    ksSelectionUndoCommand command(Nodes{lost, b}, ksSelectionUndoCommand::Replace, true);
    lost.reset();
    command.redo();
    EXPECT_EQ(tree->getSelection(), selection({b}));
    command.undo();

    // All of its nodes gone: nothing at all.
    ksSelectionUndoCommand gone(c.get(), ksSelectionUndoCommand::Replace, true);
    root->subChild(c.get());
    c.reset();
    QSignalSpy spy(tree.get(), &ksTreeService::selectionChanged);
    gone.redo();
    gone.undo();
    EXPECT_EQ(spy.size(), 0);
    EXPECT_EQ(tree->getSelection(), selection({a}));
}

} // namespace
