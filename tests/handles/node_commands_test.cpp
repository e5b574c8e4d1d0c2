// Licensed under the MIT licence; see LICENSE.
// The host's node undo commands, undone and redone repeatedly, and left
// alone once their nodes are gone.
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

    NodeRefPtr root = Node::create(), a = Node::create(), b = Node::create(), c = Node::create(),
               other = Node::create();
};

TEST_F(NodeCommandsTest, AddChildrenUndoesAndRedoesRepeatedly)
{
    UInt32 freshId = 0;
    {
        NodeRefPtr fresh = Node::create();
        freshId = fresh.getFieldContainerId();
        // Pushed to a stack, as the host does; the command holds the fresh
        // node until it has a parent.
        ksUndoStack::get(7).addOrExecute(new ksAddChildrenCommand(b.get(), fresh.get()));
    }
    ksUndoStack& stack = ksUndoStack::get(7);
    for (int round = 0; round < 3; ++round) {
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

    // Once the parent is gone (the user deleted it, and the child with it)
    // the command does nothing.
    NodeRefPtr parent = Node::create();
    ksAddChildrenCommand orphaned(parent.get(), a.get());
    orphaned.redo();
    ASSERT_EQ(a->getParent(), parent.get());
    parent.reset();
    a.reset();
    orphaned.undo();
    orphaned.redo();
    EXPECT_EQ(children(root), (Nodes{b, c, other}));
}

TEST_F(NodeCommandsTest, ThreeArgumentMovesPlaceAfterASibling)
{
    const NodeRefPtr stray = Node::create();
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

TEST_F(NodeCommandsTest, UndoLeavesNodesThatWereMovedSinceOrAreGone)
{
    ksNodeMovements movements;
    movements.add(a.get(), other.get());
    movements.add(b.get(), other.get());
    ksMoveNodesCommand command(movements);
    command.redo();
    c->addChild(a);
    other->subChild(b.get());
    b.reset();
    command.undo();
    EXPECT_EQ(children(root), (Nodes{c, other}));
    EXPECT_EQ(children(c), Nodes{a});
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

TEST_F(SelectionCommandTest, ReplaceAndRestoreThePreviousSelectionLeavingOutNodesThatAreGone)
{
    tree->setSelection(selection({a, b}));
    QSignalSpy spy(tree.get(), &ksTreeService::selectionChanged);
    NodeRefPtr lost = Node::create();
    ksSelectionUndoCommand command(Nodes{lost, c}, ksSelectionUndoCommand::Replace, true);
    lost.reset();
    for (int round = 0; round < 2; ++round) {
        command.redo();
        EXPECT_EQ(tree->getSelection(), selection({c}));
        command.undo();
        EXPECT_EQ(tree->getSelection(), selection({a, b}));
    }
    ASSERT_EQ(spy.size(), 4);
    EXPECT_EQ(spy.at(0).at(0).value<QList<uint>>(), selection({c}));

    // All of its nodes gone: nothing at all.
    ksSelectionUndoCommand gone(other.get(), ksSelectionUndoCommand::Replace, true);
    root->subChild(other.get());
    other.reset();
    gone.redo();
    gone.undo();
    EXPECT_EQ(spy.size(), 4);
    EXPECT_EQ(tree->getSelection(), selection({a, b}));
}

} // namespace
