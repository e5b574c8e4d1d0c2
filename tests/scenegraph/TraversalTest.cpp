// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/SceneGraph.h"

#include <gtest/gtest.h>

#include <string>

using namespace osg;

namespace {

// r
// +- a
// |  +- a0
// |  +- a1
// +- b
// |  +- b0
// +- c
class TraversalTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* n : {"r", "a", "a0", "a1", "b", "b0", "c"}) {
            nodes[n] = Node::create();
            setName(nodes[n], n);
        }
        nodes["r"]->addChild(nodes["a"]);
        nodes["r"]->addChild(nodes["b"]);
        nodes["r"]->addChild(nodes["c"]);
        nodes["a"]->addChild(nodes["a0"]);
        nodes["a"]->addChild(nodes["a1"]);
        nodes["b"]->addChild(nodes["b0"]);
    }

    std::string trace(const TraverseEnterFunctor& decide, Action::ResultE* result = nullptr)
    {
        std::string out;
        Action::ResultE r = traverse(
            nodes["r"],
            [&](const NodePtr& n) {
                out += "+" + getName(n);
                return decide(n);
            },
            [&](const NodePtr& n, Action::ResultE entered) {
                out += std::string(entered == Action::Skip ? "-s" : "-") + getName(n);
                return Action::Continue;
            });
        if (result)
            *result = r;
        return out;
    }

    std::map<std::string, NodeRefPtr> nodes;
};

TEST_F(TraversalTest, EnterResultsSteerTheWalk)
{
    // The first node answering `answer` does so; all others continue.
    const struct {
        const char* node;
        Action::ResultE answer;
        const char* trace;
    } cases[] = {
        {"", Action::Continue, "+r+a+a0-a0+a1-a1-a+b+b0-b0-b+c-c-r"},
        {"a", Action::Skip, "+r+a-sa+b+b0-b0-b+c-c-r"},
        {"a1", Action::Quit, "+r+a+a0-a0+a1"},
    };
    for (const auto& c : cases) {
        Action::ResultE result;
        EXPECT_EQ(trace([&](const NodePtr& n) { return getName(n) == c.node ? c.answer : Action::Continue; }, &result),
                  c.trace);
        EXPECT_EQ(result, c.answer == Action::Quit ? Action::Quit : Action::Continue);
    }
    int visits = 0;
    traverse(nodes["r"], [&](const NodePtr&) { return ++visits == 3 ? Action::Quit : Action::Continue; });
    EXPECT_EQ(visits, 3) << "without a leave functor too";
}

TEST_F(TraversalTest, AVisitMayMoveOrDeleteTheVisitedNodesChildren)
{
    // Visiting a moves its children under c (visited later); visiting b
    // deletes its child.
    NodeRefPtr holder = nodes["c"];
    std::string out = trace([&](const NodePtr& n) {
        if (getName(n) == "a")
            while (n->getNChildren())
                holder->addChild(n->getChild(0));
        if (getName(n) == "b") {
            n->subChild(0u);
            nodes.erase("b0");
        }
        return Action::Continue;
    });
    EXPECT_EQ(out, "+r+a-a+b-b+c+a0-a0+a1-a1-c-r");
}

TEST_F(TraversalTest, RemovingTheVisitedNodeDoesNotSkipItsSibling)
{
    std::string out = trace([&](const NodePtr& n) {
        if (getName(n) == "a")
            nodes["r"]->subChild(n);
        return Action::Continue;
    });
    EXPECT_EQ(out, "+r+a+a0-a0+a1-a1-a+b+b0-b0-b+c-c-r");
    EXPECT_EQ(nodes["r"]->getNChildren(), 2u);
}

TEST_F(TraversalTest, NullRootAndDeepChains)
{
    EXPECT_EQ(traverse(NullFC, [](const NodePtr&) { return Action::Continue; }), Action::Continue);

    NodeRefPtr top = Node::create();
    NodePtr tip = top;
    for (int i = 0; i < 100000; ++i) {
        NodeRefPtr next = Node::create();
        tip->addChild(next);
        tip = next;
    }
    int entered = 0, left = 0;
    traverse(
        top, [&](const NodePtr&) { ++entered; return Action::Continue; },
        [&](const NodePtr&, Action::ResultE) { ++left; return Action::Continue; });
    EXPECT_EQ(entered, 100001);
    EXPECT_EQ(left, 100001);
}

} // namespace
