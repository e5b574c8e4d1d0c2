// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/SceneGraph.h"

#include <QList>

#include <gtest/gtest.h>

#include <thread>
#include <type_traits>

using namespace osg;

// A temporary owner must not turn into a plain handle (it would dangle at
// once); a named owner may.
static_assert(!std::is_constructible_v<NodePtr, NodeRefPtr&&>);
static_assert(std::is_convertible_v<const NodeRefPtr&, NodePtr>);
static_assert(!std::is_convertible_v<NodeCorePtr, Transform3DPtr>);

namespace {

// root
// +- a
// |  +- a0
// |  +- a1
// +- b
class NodeTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        root->addChild(a);
        root->addChild(b);
        a->addChild(a0);
        a->addChild(a1);
    }

    static std::vector<NodePtr> children(const NodePtr& n)
    {
        std::vector<NodePtr> out;
        for (UInt32 i = 0; i < n->getNChildren(); ++i)
            out.push_back(n->getChild(i));
        return out;
    }

    NodeRefPtr root = Node::create(), a = Node::create(), b = Node::create(), a0 = Node::create(),
               a1 = Node::create();
};

TEST_F(NodeTree, ANodeNeverBecomesItsOwnAncestor)
{
    EXPECT_FALSE(a0->addChild(root));
    EXPECT_FALSE(a->addChild(a));
    EXPECT_FALSE(a0->insertChild(0, a));
    EXPECT_FALSE(a->replaceChildBy(a0, a));
    EXPECT_FALSE(a->addChild(NullFC));
    EXPECT_FALSE(a->insertChild(5, Node::create()));
    EXPECT_EQ(children(root), (std::vector<NodePtr>{a, b}));
    EXPECT_EQ(children(a), (std::vector<NodePtr>{a0, a1}));
    EXPECT_EQ(root->getParent(), NullFC);
}

TEST_F(NodeTree, ReplaceAndRemoveKeepParentsRight)
{
    NodeRefPtr fresh = Node::create();
    EXPECT_TRUE(a->replaceChildBy(a0, fresh));
    EXPECT_EQ(children(a), (std::vector<NodePtr>{fresh, a1}));
    EXPECT_EQ(a0->getRefCount(), 1) << "the parent let go";
    // Replacing by a sibling moves the sibling into the replaced place.
    EXPECT_TRUE(a->replaceChildBy(a1, fresh));
    EXPECT_EQ(children(a), std::vector<NodePtr>{fresh});
    // Replacing by a node from elsewhere takes it from there.
    EXPECT_TRUE(root->replaceChild(1, a1));
    EXPECT_EQ(children(root), (std::vector<NodePtr>{a, a1}));
    EXPECT_FALSE(root->replaceChildBy(a0, b)) << "a0 is not a child of root";

    EXPECT_TRUE(root->subChild(a1));
    EXPECT_FALSE(root->subChild(a1));
    EXPECT_TRUE(root->subChild(0u));
    EXPECT_EQ(root->getChild(0), NullFC);
}

TEST(Users, EnvironmentChainsCannotCloseIntoACycle)
{
    UBRDFMaterialRefPtr m1 = UBRDFMaterial::create(), m2 = UBRDFMaterial::create();
    m1->setEnvironment(m2);
    m2->setEnvironment(m1);
    EXPECT_EQ(m2->getEnvironment(), NullFC);
    m1->setEnvironment(m1);
    EXPECT_EQ(m1->getEnvironment(), m2);
}

// Handles in a QList live in cells of their own, cached per thread: a list
// made on one thread and freed on another, by threads that end, must never
// get a cell that is still in use.
TEST(Containers, ListsOfHandlesKeepTheirValuesWhicheverThreadMadeOrFreedThem)
{
    std::vector<NodeRefPtr> nodes;
    for (int i = 0; i < 3000; ++i)
        nodes.push_back(Node::create());
    const auto fill = [&] {
        QList<NodePtr> list;
        for (const NodeRefPtr& node : nodes)
            list.append(node.get());
        return list;
    };
    const auto intact = [&](const QList<NodePtr>& list) {
        bool same = list.size() == int(nodes.size());
        for (int i = 0; same && i < list.size(); ++i)
            same = list[i] == nodes[std::size_t(i)] && list[i].getCPtr() == nodes[std::size_t(i)].getCPtr();
        return same;
    };
    QList<NodePtr> fromThread;
    std::thread([&] {
        const QList<NodePtr> freedHere = fill();
        fromThread = fill();
    }).join();
    const QList<NodePtr> here = fill();
    EXPECT_TRUE(intact(fromThread));
    EXPECT_TRUE(intact(here));
    fromThread = QList<NodePtr>();
    bool again = false;
    std::thread([&] { again = intact(fill()); }).join();
    EXPECT_TRUE(again);
    EXPECT_TRUE(intact(fill()));
    EXPECT_TRUE(intact(here));
}

TEST(Containers, IdsGrowAndStayDeadAcrossManyPagesOfIds)
{
    // Enough containers to fill and free whole pages of the id table.
    std::vector<UInt32> ids;
    {
        std::vector<GroupRefPtr> groups(20000);
        for (GroupRefPtr& group : groups) {
            group = Group::create();
            ASSERT_TRUE(ids.empty() || group->getId() > ids.back());
            ids.push_back(group->getId());
        }
    }
    NodeRefPtr after = Node::create();
    EXPECT_GT(after->getId(), ids.back()) << "ids are never handed out twice";
    for (UInt32 id : ids)
        ASSERT_EQ(FieldContainerFactory::the()->getContainer(id), NullFC);
    EXPECT_EQ(FieldContainerFactory::the()->getContainer(0), NullFC);
}

} // namespace
