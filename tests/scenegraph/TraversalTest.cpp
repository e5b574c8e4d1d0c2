// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/SceneGraph.h"

#include <gtest/gtest.h>

#include <map>
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
        for (const char* n : {"a", "b", "c"})
            nodes["r"]->addChild(nodes[n]);
        nodes["a"]->addChild(nodes["a0"]);
        nodes["a"]->addChild(nodes["a1"]);
        nodes["b"]->addChild(nodes["b0"]);
    }

    // The walk as "+name" on enter and "-name" ("-sname" after a skip) on
    // leave, then "=quit" if the walk says it was quit.
    std::string trace(const TraverseEnterFunctor& decide)
    {
        std::string out;
        const Action::ResultE result = traverse(
            nodes["r"],
            [&](const NodePtr& n) {
                out += "+" + getName(n);
                return decide(n);
            },
            [&](const NodePtr& n, Action::ResultE entered) {
                out += std::string(entered == Action::Skip ? "-s" : "-") + getName(n);
                return Action::Continue;
            });
        return result == Action::Quit ? out + "=quit" : out;
    }
    // Answers `answer` at node `at`, and continues elsewhere.
    static TraverseEnterFunctor at(const std::string& name, Action::ResultE answer)
    {
        return [=](const NodePtr& n) { return getName(n) == name ? answer : Action::Continue; };
    }

    std::map<std::string, NodeRefPtr> nodes;
};

TEST_F(TraversalTest, EnterResultsSteerTheWalk)
{
    EXPECT_EQ(trace(at("", Action::Continue)), "+r+a+a0-a0+a1-a1-a+b+b0-b0-b+c-c-r");
    EXPECT_EQ(trace(at("a", Action::Skip)), "+r+a-sa+b+b0-b0-b+c-c-r");
    EXPECT_EQ(trace(at("a1", Action::Quit)), "+r+a+a0-a0+a1=quit");
    EXPECT_EQ(traverse(nodes["r"], at("a1", Action::Quit)), Action::Quit) << "without a leave functor too";
}

TEST_F(TraversalTest, AVisitMayMoveRemoveOrDeleteNodes)
{
    // Visiting a moves its children under c (visited later); visiting b
    // deletes its child and takes b itself out of r.
    const std::string out = trace([&](const NodePtr& n) {
        if (getName(n) == "a")
            while (n->getNChildren())
                nodes["c"]->addChild(n->getChild(0));
        if (getName(n) == "b") {
            n->subChild(0u);
            nodes.erase("b0");
            nodes["r"]->subChild(n);
        }
        return Action::Continue;
    });
    EXPECT_EQ(out, "+r+a-a+b-b+c+a0-a0+a1-a1-c-r") << "removing the visited node skips no sibling";
}

TEST(Traversal, DeepChainsAreWalkedAndFreedWithoutRecursion)
{
    EXPECT_EQ(traverse(NullFC, [](const NodePtr&) { return Action::Continue; }), Action::Continue);
    const std::size_t before = FieldContainerFactory::the()->getNumLiveContainers();
    {
        NodeRefPtr top = Node::create();
        NodePtr tip = top;
        for (int i = 0; i < 200000; ++i) {
            NodeRefPtr next = Node::create();
            tip->addChild(next);
            tip = next;
        }
        int calls = 0;
        auto count = [&](const NodePtr&, Action::ResultE = Action::Continue) {
            ++calls;
            return Action::Continue;
        };
        traverse(top, count, count);
        EXPECT_EQ(calls, 2 * 200001);
    }
    EXPECT_EQ(FieldContainerFactory::the()->getNumLiveContainers(), before);
}

} // namespace
