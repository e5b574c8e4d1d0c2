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

NodeRefPtr makeGroup()
{
    NodeRefPtr node = Node::create();
    node->setCore(GroupBase::create());
    return node;
}

std::vector<UInt32> childIds(const NodePtr& parent)
{
    std::vector<UInt32> ids;
    for (UInt32 i = 0; i < parent->getNChildren(); ++i)
        ids.push_back(parent->getChild(i).getFieldContainerId());
    return ids;
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

    std::vector<UInt32> ids(std::initializer_list<NodePtr> nodes) const
    {
        std::vector<UInt32> out;
        for (const NodePtr& node : nodes)
            out.push_back(node.getFieldContainerId());
        return out;
    }

    NodeRefPtr root = makeGroup();
    NodeRefPtr a = makeGroup();
    NodeRefPtr b = makeGroup();
    NodeRefPtr c = makeGroup();
    NodeRefPtr other = makeGroup();
};

TEST_F(NodeCommandsTest, AddChildrenUndoesAndRedoesRepeatedly)
{
    const UInt32 freshId = [&] {
        NodeRefPtr fresh = makeGroup();
        auto command = std::make_unique<ksAddChildrenCommand>(b.get(), fresh.get());
        const UInt32 id = fresh.getFieldContainerId();
        fresh.reset();
        // Pushed to a stack, as the host does; the command holds the fresh
        // node until it has a parent.
        ksUndoStack::get(7).addOrExecute(command.release());
        return id;
    }();
    ksUndoStack& stack = ksUndoStack::get(7);
    ASSERT_EQ(b->getNChildren(), 1u);
    EXPECT_EQ(b->getChild(0).getFieldContainerId(), freshId);

    for (int round = 0; round < 3; ++round) {
        stack.undo();
        EXPECT_EQ(b->getNChildren(), 0u);
        // Out of the tree, but kept for redo.
        ASSERT_TRUE(FieldContainerFactory::the()->getContainer(freshId));
        stack.redo();
        ASSERT_EQ(b->getNChildren(), 1u);
        EXPECT_EQ(b->getChild(0).getFieldContainerId(), freshId);
    }
    stack.undo();
    stack.clear();
    EXPECT_FALSE(FieldContainerFactory::the()->getContainer(freshId)) << "the dropped command frees the node";
}

TEST_F(NodeCommandsTest, AddingANodeThatHasAParentPutsItBackOnUndo)
{
    ksAddChildrenCommand command(other.get(), std::vector<NodePtr>{b.get(), a.get()});
    command.redo();
    EXPECT_EQ(childIds(root.get()), ids({c.get(), other.get()}));
    EXPECT_EQ(childIds(other.get()), ids({b.get(), a.get()}));
    command.undo();
    EXPECT_EQ(childIds(root.get()), ids({a.get(), b.get(), c.get(), other.get()}));
    EXPECT_EQ(other->getNChildren(), 0u);
}

TEST_F(NodeCommandsTest, AddChildrenDoesNothingOnceTheParentIsGone)
{
    NodeRefPtr parent = makeGroup();
    ksAddChildrenCommand command(parent.get(), a.get());
    command.redo();
    ASSERT_EQ(a->getParent(), parent.get());
    // The user deletes the parent, and with it the child.
    parent.reset();
    a.reset();
    command.undo();
    command.redo();
    EXPECT_EQ(childIds(root.get()), ids({b.get(), c.get(), other.get()}));
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
        EXPECT_EQ(childIds(root.get()), ids({a.get(), inserted.get(), c.get(), other.get()}));
        EXPECT_EQ(childIds(inserted.get()), ids({b.get()}));
        EXPECT_EQ(other->getNChildren(), 0u);
        command.undo();
        EXPECT_EQ(childIds(root.get()), ids({a.get(), b.get(), c.get(), other.get()}));
        EXPECT_EQ(childIds(other.get()), ids({inserted.get()}));
        EXPECT_EQ(inserted->getNChildren(), 0u);
    }
}

TEST_F(NodeCommandsTest, ThreeArgumentMovesPlaceAfterASibling)
{
    struct Case
    {
        const char* name;
        NodePtr node;
        NodePtr after;
        std::vector<NodePtr> expected;
    };
    const NodeRefPtr stray = makeGroup();
    const Case cases[] = {
        {"after a later sibling", a.get(), c.get(), {b.get(), c.get(), a.get(), other.get()}},
        {"after an earlier sibling", c.get(), a.get(), {a.get(), c.get(), b.get(), other.get()}},
        {"after itself", b.get(), b.get(), {a.get(), b.get(), c.get(), other.get()}},
        {"null sibling: first", c.get(), NodePtr(), {c.get(), a.get(), b.get(), other.get()}},
        {"sibling elsewhere: appended", a.get(), stray.get(), {b.get(), c.get(), other.get(), a.get()}},
    };
    const std::vector<UInt32> original = childIds(root.get());
    for (const Case& test : cases) {
        ksNodeMovements movements;
        movements.add(test.node, root.get(), test.after);
        ksMoveNodesCommand command(movements);
        command.redo();
        std::vector<UInt32> expected;
        for (const NodePtr& node : test.expected)
            expected.push_back(node.getFieldContainerId());
        EXPECT_EQ(childIds(root.get()), expected) << test.name;
        command.undo();
        EXPECT_EQ(childIds(root.get()), original) << test.name;
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
    EXPECT_EQ(childIds(other.get()), ids({b.get()}));
    command.undo();
    EXPECT_EQ(childIds(root.get()), ids({b.get(), c.get(), other.get()}));
}

class SelectionCommandTest : public NodeCommandsTest
{
protected:
    void SetUp() override { ksKernelServiceFactory::the().setEntry<ksTreeService>(tree.get()); }
    void TearDown() override { ksKernelServiceFactory::the().setEntry<ksTreeService>(nullptr); }

    QList<uint> selection(std::initializer_list<NodePtr> nodes) const
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
    tree->setSelection(selection({a.get(), b.get()}));
    QSignalSpy spy(tree.get(), &ksTreeService::selectionChanged);
    ksSelectionUndoCommand command(c.get(), ksSelectionUndoCommand::Replace, true);
    EXPECT_TRUE(command.isSelectionOnly());
    for (int round = 0; round < 2; ++round) {
        command.redo();
        EXPECT_EQ(tree->getSelection(), selection({c.get()}));
        command.undo();
        EXPECT_EQ(tree->getSelection(), selection({a.get(), b.get()}));
    }
    ASSERT_EQ(spy.size(), 4);
    EXPECT_EQ(spy.at(0).at(0).value<QList<uint>>(), selection({c.get()}));
}

TEST_F(SelectionCommandTest, WithoutRestoreUndoReversesOnlyItsOwnNodes)
{
    tree->setSelection(selection({a.get()}));
    ksSelectionUndoCommand add(std::vector<NodePtr>{b.get(), c.get()}, ksSelectionUndoCommand::Add, false);
    add.redo();
    EXPECT_EQ(tree->getSelection(), selection({a.get(), b.get(), c.get()}));
    tree->setSelection(selection({a.get(), b.get(), c.get(), other.get()}));
    add.undo();
    EXPECT_EQ(tree->getSelection(), selection({a.get(), other.get()}));

    ksSelectionUndoCommand remove(a.get(), ksSelectionUndoCommand::Remove, false);
    remove.redo();
    EXPECT_EQ(tree->getSelection(), selection({other.get()}));
    remove.undo();
    EXPECT_EQ(tree->getSelection(), selection({other.get(), a.get()}));
}

TEST_F(SelectionCommandTest, NodesThatAreGoneAreLeftOut)
{
    tree->setSelection(selection({a.get()}));
    NodeRefPtr lost = makeGroup();
    ksSelectionUndoCommand command(std::vector<NodePtr>{lost.get(), b.get()}, ksSelectionUndoCommand::Replace, true);
    lost.reset();
    command.redo();
    EXPECT_EQ(tree->getSelection(), selection({b.get()}));
    command.undo();

    // All of its nodes gone: nothing at all.
    ksSelectionUndoCommand gone(c.get(), ksSelectionUndoCommand::Replace, true);
    root->subChild(c.get());
    c.reset();
    QSignalSpy spy(tree.get(), &ksTreeService::selectionChanged);
    gone.redo();
    gone.undo();
    EXPECT_EQ(spy.size(), 0);
    EXPECT_EQ(tree->getSelection(), selection({a.get()}));
}

} // namespace
