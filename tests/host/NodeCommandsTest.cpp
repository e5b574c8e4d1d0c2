// Licensed under the MIT licence; see LICENSE.
// The host's node undo commands, undone and redone repeatedly, and left
// alone once their nodes are gone.
#include "scenegraph/SceneGraph.h"

#include "kernel/ksKernelServiceFactory.h"
#include "tree/ksTreeService.h"
#include "undo/ksAddChildrenCommand.h"
#include "undo/ksDeleteNodesCommand.h"
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

// The commands' pool announcements, with the fixture's root as the live
// scene:
// root
//  +- a
//  |   +- ref (core R)
//  +- b: core S, shared with `clone` below c
//  +- c
//  |   +- clone (core S)
//  +- other
class ParkingTest : public NodeCommandsTest
{
protected:
    void SetUp() override
    {
        m_sceneRoot = NodeUtils::getSceneRoot();
        NodeUtils::setSceneRoot(root.get());
        setCore(ref, R);
        a->addChild(ref);
        setCore(b, S);
        setCore(clone, S);
        c->addChild(clone);
        ExtReference::setAddToPoolCallback([this](const ExtReferencePtr& core) { log.push_back({'+', core}); });
        ExtReference::setRemoveFromPoolCallback([this](const ExtReferencePtr& core) { log.push_back({'-', core}); });
    }
    void TearDown() override
    {
        ExtReference::setAddToPoolCallback(nullptr);
        ExtReference::setRemoveFromPoolCallback(nullptr);
        NodeUtils::setSceneRoot(m_sceneRoot);
    }
    static void setCore(const NodeRefPtr& node, const ExtReferenceRefPtr& core) { node->setCore(core); }

    using Event = std::pair<char, ExtReferencePtr>;
    ExtReferenceRefPtr R = ExtReference::create(), S = ExtReference::create();
    NodeRefPtr ref = Node::create(), clone = Node::create();
    std::vector<Event> log;
    NodePtr m_sceneRoot;
};

TEST_F(ParkingTest, DeletedNodesLeaveThePoolAndComeBackWithUndo)
{
    ksUndoStack& stack = ksUndoStack::get(7);
    stack.addOrExecute(new ksDeleteNodesCommand(Nodes{a, b, root}));
    EXPECT_EQ(stack.stack().text(0), QStringLiteral("Delete Nodes"));
    // The live root has no parent and stays; S is still shown by `clone`.
    EXPECT_EQ(children(root), (Nodes{c, other}));
    EXPECT_EQ(log, (std::vector<Event>{{'-', R}}));
    for (int round = 0; round < 2; ++round) {
        log.clear();
        stack.undo();
        EXPECT_EQ(children(root), (Nodes{a, b, c, other}));
        EXPECT_EQ(children(a), Nodes{ref});
        EXPECT_EQ(log, (std::vector<Event>{{'+', S}, {'+', R}}));
        log.clear();
        stack.redo();
        EXPECT_EQ(children(root), (Nodes{c, other}));
        EXPECT_EQ(log, (std::vector<Event>{{'-', R}}));
    }

    // S leaves with its last live node, and with the undo of an addition.
    log.clear();
    stack.addOrExecute(new ksDeleteNodesCommand(Nodes{c}));
    const NodeRefPtr added = Node::create();
    setCore(added, S);
    stack.addOrExecute(new ksAddChildrenCommand(other.get(), added.get()));
    stack.undo();
    stack.undo();
    EXPECT_EQ(log, (std::vector<Event>{{'-', S}, {'+', S}, {'-', S}, {'+', S}}));

    // Dropped commands free what only they held; the destroyed core is
    // announced once more.
    log.clear();
    const UInt32 refCore = R.getFieldContainerId();
    stack.undo();
    stack.redo();
    log.clear();
    ref.reset();
    R.reset();
    a.reset();
    stack.clear();
    EXPECT_FALSE(FieldContainerFactory::the()->getContainer(refCore));
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].first, '-');
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
