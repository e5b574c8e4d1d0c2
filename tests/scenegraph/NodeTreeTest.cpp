// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/SceneGraph.h"

#include <gtest/gtest.h>

using namespace osg;

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
        root = Node::create();
        a = Node::create();
        b = Node::create();
        a0 = Node::create();
        a1 = Node::create();
        root->addChild(a);
        root->addChild(b);
        a->addChild(a0);
        a->addChild(a1);
    }

    std::vector<NodePtr> children(const NodePtr& n)
    {
        std::vector<NodePtr> out;
        for (UInt32 i = 0; i < n->getNChildren(); ++i)
            out.push_back(n->getChild(i));
        return out;
    }

    NodeRefPtr root, a, b, a0, a1;
};

TEST_F(NodeTree, AddingAChildThatHasAParentMovesIt)
{
    EXPECT_TRUE(b->addChild(a0));
    EXPECT_EQ(a0->getParent(), b);
    EXPECT_EQ(children(a), std::vector<NodePtr>{a1});
    EXPECT_EQ(children(b), std::vector<NodePtr>{a0});
    EXPECT_EQ(a0->getRefCount(), 2) << "one owner (the new parent) besides the fixture";

    // Moving within one parent: to the end, and to the front.
    root->addChild(a);
    EXPECT_EQ(children(root), (std::vector<NodePtr>{b, a}));
    root->insertChild(0, a);
    EXPECT_EQ(children(root), (std::vector<NodePtr>{a, b}));
    root->insertChild(2, a);
    EXPECT_EQ(children(root), (std::vector<NodePtr>{b, a}));
}

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
    EXPECT_EQ(a0->getParent(), NullFC);
    EXPECT_EQ(a0->getRefCount(), 1);

    // Replacing by a sibling moves the sibling into the replaced place.
    EXPECT_TRUE(a->replaceChildBy(a1, fresh));
    EXPECT_EQ(children(a), std::vector<NodePtr>{fresh});

    // Replacing by a node from elsewhere takes it from there.
    EXPECT_TRUE(root->replaceChild(1, a1));
    EXPECT_EQ(children(root), (std::vector<NodePtr>{a, a1}));
    EXPECT_FALSE(root->replaceChildBy(a0, b)) << "a0 is not a child of root";

    EXPECT_EQ(root->findChild(a1), 1);
    EXPECT_EQ(root->findChild(b), -1);
    EXPECT_TRUE(root->subChild(a1));
    EXPECT_FALSE(root->subChild(a1));
    EXPECT_EQ(a1->getParent(), NullFC);
    EXPECT_EQ(a1->getRefCount(), 1) << "the parent let go";
    EXPECT_TRUE(root->subChild(0u));
    EXPECT_EQ(root->getNChildren(), 0u);
    EXPECT_EQ(root->getChild(0), NullFC);
}

TEST(Users, EveryPointedToContainerKnowsWhoPointsToItInOrder)
{
    GroupRefPtr core = Group::create();
    NodeRefPtr n1 = Node::create(), n2 = Node::create(), n3 = Node::create();
    n2->setCore(core);
    n1->setCore(core);
    n3->setCore(core);
    EXPECT_EQ(core->getParents(), (std::vector<NodePtr>{n2, n1, n3}));
    n1->setCore(Group::create());
    EXPECT_EQ(core->getParents(), (std::vector<NodePtr>{n2, n3}));
    n3.reset();
    EXPECT_EQ(core->getParents(), std::vector<NodePtr>{n2});
    EXPECT_EQ(core->getRefCount(), 2);

    ExtReferenceRefPtr ext = ExtReference::create();
    FileReferenceRefPtr record = FileReference::create();
    ext->setSourceFile(record);
    ext->setSmartFile(record);
    EXPECT_EQ(record->getUsers(), std::vector<FieldContainerPtr>{ext}) << "one user, however many edges";
    ext->setSourceFile(NullFC);
    EXPECT_EQ(record->getUsers(), std::vector<FieldContainerPtr>{ext});
    ext->setSmartFile(NullFC);
    EXPECT_TRUE(record->getUsers().empty());

    UEnvironmentMaterialRefPtr env = UEnvironmentMaterial::create();
    UBRDFMaterialRefPtr brdf = UBRDFMaterial::create();
    GeometryRefPtr geo = Geometry::create();
    MaterialGroupRefPtr group = MaterialGroup::create();
    brdf->setEnvironment(env);
    geo->setMaterial(brdf);
    group->setMaterial(brdf);
    EXPECT_EQ(env->getUsers(), std::vector<FieldContainerPtr>{brdf});
    EXPECT_EQ(brdf->getUsers(), (std::vector<FieldContainerPtr>{geo, group}));

    NodeRefPtr node = Node::create(), child = Node::create();
    node->addChild(child);
    FileInfoRefPtr info = FileInfo::create();
    node->addAttachment(info);
    geo->addAttachment(info);
    EXPECT_EQ(info->getUsers(), (std::vector<FieldContainerPtr>{node, geo}));
    EXPECT_EQ(child->getUsers(), std::vector<FieldContainerPtr>{node});

    geo.reset();
    EXPECT_EQ(brdf->getUsers(), std::vector<FieldContainerPtr>{group});
    EXPECT_EQ(info->getUsers(), std::vector<FieldContainerPtr>{node});
}

TEST(Users, ManyUsersOfOneMaterialStayInOrderThroughRemovals)
{
    UBRDFMaterialRefPtr brdf = UBRDFMaterial::create();
    std::vector<GeometryRefPtr> geos;
    for (int i = 0; i < 1000; ++i) {
        geos.push_back(Geometry::create());
        geos.back()->setMaterial(brdf);
    }
    for (int i = 0; i < 1000; i += 2)
        geos[i]->setMaterial(NullFC);
    std::vector<FieldContainerPtr> expected;
    for (int i = 1; i < 1000; i += 2)
        expected.push_back(geos[i]);
    EXPECT_EQ(brdf->getUsers(), expected);
    geos[1]->setMaterial(brdf);
    EXPECT_EQ(brdf->getUsers().size(), 500u) << "adding an existing user again counts, not lists";
    geos.clear();
    EXPECT_TRUE(brdf->getUsers().empty());
    EXPECT_EQ(brdf->getRefCount(), 1);
}

TEST(Users, EnvironmentChainsCannotCloseIntoACycle)
{
    UBRDFMaterialRefPtr m1 = UBRDFMaterial::create();
    UBRDFMaterialRefPtr m2 = UBRDFMaterial::create();
    m1->setEnvironment(m2);
    m2->setEnvironment(m1);
    EXPECT_EQ(m2->getEnvironment(), NullFC);
    m1->setEnvironment(m1);
    EXPECT_EQ(m1->getEnvironment(), m2);
}

TEST_F(NodeTree, CloneTreeSharesCoresAndCopiesNodeFields)
{
    GroupRefPtr core = Group::create();
    a->setCore(core);
    a->setFlags(0x1000);
    setName(a1, "a1");
    NodeRefPtr copy = NodeUtils::cloneTree(a);
    EXPECT_EQ(copy->getParent(), NullFC);
    EXPECT_EQ(copy->getCore(), core);
    EXPECT_EQ(core->getParents(), (std::vector<NodePtr>{a, copy}));
    EXPECT_EQ(copy->getFlags(), 0x1000u);
    ASSERT_EQ(copy->getNChildren(), 2u);
    EXPECT_NE(copy->getChild(1), a1);
    EXPECT_EQ(getName(copy->getChild(1)), "a1");
    EXPECT_EQ(children(a), (std::vector<NodePtr>{a0, a1})) << "the original keeps its children";
}

TEST(NodeUtilsTest, LiveSceneIsWhatHangsBelowTheSceneRoot)
{
    NodeRefPtr sceneRoot = Node::create();
    NodeRefPtr inside = Node::create();
    NodeRefPtr outside = Node::create();
    sceneRoot->addChild(inside);
    NodeUtils::setSceneRoot(sceneRoot);
    EXPECT_TRUE(NodeUtils::isScenegraphNode(inside));
    EXPECT_TRUE(NodeUtils::isScenegraphNode(sceneRoot));
    EXPECT_FALSE(NodeUtils::isScenegraphNode(outside));
    EXPECT_FALSE(NodeUtils::isScenegraphNode(NullFC));
    outside->addChild(inside);
    EXPECT_FALSE(NodeUtils::isScenegraphNode(inside));
    EXPECT_EQ(NodeUtils::getRootOf(inside), outside);
    sceneRoot.reset();
    EXPECT_EQ(NodeUtils::getSceneRoot(), NullFC);
    EXPECT_FALSE(NodeUtils::isScenegraphNode(outside));
    NodeUtils::setSceneRoot(NullFC);
}

} // namespace
