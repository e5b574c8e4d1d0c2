// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/SceneGraph.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <type_traits>
#include <unordered_set>

using namespace osg;

// A temporary owner must not turn into a plain handle (it would dangle at
// once); a named owner may.
static_assert(!std::is_constructible_v<NodePtr, NodeRefPtr&&>);
static_assert(!std::is_convertible_v<NodeRefPtr, NodePtr>);
static_assert(std::is_convertible_v<const NodeRefPtr&, NodePtr>);
static_assert(std::is_convertible_v<NodePtr, NodeRefPtr>);
static_assert(std::is_convertible_v<Transform3DPtr, NodeCorePtr>);
static_assert(!std::is_convertible_v<NodeCorePtr, Transform3DPtr>);
static_assert(std::is_same_v<decltype(Node::create()), NodeRefPtr>);
static_assert(std::is_same_v<decltype(ExtReferenceBase::create()), ExtReferenceRefPtr>);

namespace {

std::size_t live()
{
    return FieldContainerFactory::the()->getNumLiveContainers();
}

TEST(ContainerLifetime, IdsGrowAndStayDeadAcrossManyPagesOfIds)
{
    // Enough containers to fill and free whole pages of the id table.
    std::vector<UInt32> ids;
    {
        std::vector<GroupRefPtr> groups;
        for (int i = 0; i < 20000; ++i) {
            groups.push_back(Group::create());
            ids.push_back(groups.back()->getId());
            ASSERT_TRUE(i == 0 || ids[i] > ids[i - 1]);
        }
        EXPECT_EQ(FieldContainerFactory::the()->getContainer(ids[0]), groups[0]);
    }
    NodeRefPtr after = Node::create();
    EXPECT_GT(after->getId(), ids.back()) << "ids are never handed out twice";
    for (UInt32 id : ids)
        ASSERT_EQ(FieldContainerFactory::the()->getContainer(id), NullFC);
    EXPECT_EQ(FieldContainerFactory::the()->getContainer(after->getId()), after);
    EXPECT_EQ(FieldContainerFactory::the()->getContainer(0), NullFC);
}

TEST(ContainerLifetime, DroppingASceneFreesEverythingItHeld)
{
    //   root (Group, Name)
    //   +- a (ExtReference: source + smart record)   <- clone of b
    //   |   +- geo (Geometry -> brdf -> env)
    //   +- b (same ExtReference core)
    //   +- mg (MaterialGroup -> brdf)
    const std::size_t before = live();
    {
        NodeRefPtr root = Node::create();
        root->setCore(Group::create());
        setName(root, "root");
        ExtReferenceRefPtr ext = ExtReference::create();
        ext->setSourceFile(FileReference::create());
        ext->setSmartFile(FileReference::create());
        NodeRefPtr a = Node::create(), b = Node::create();
        a->setCore(ext);
        b->setCore(ext);
        UEnvironmentMaterialRefPtr env = UEnvironmentMaterial::create();
        UBRDFMaterialRefPtr brdf = UBRDFMaterial::create();
        brdf->setEnvironment(env);
        GeometryRefPtr geo = Geometry::create();
        geo->setMaterial(brdf);
        geo->setPositions({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
        NodeRefPtr geoNode = Node::create();
        geoNode->setCore(geo);
        a->addChild(geoNode);
        MaterialGroupRefPtr mgCore = MaterialGroup::create();
        mgCore->setMaterial(brdf);
        NodeRefPtr mg = Node::create();
        mg->setCore(mgCore);
        root->addChild(a);
        root->addChild(b);
        root->addChild(mg);
        EXPECT_EQ(live(), before + 14);
    }
    EXPECT_EQ(live(), before);
}

TEST(ContainerLifetime, DeepTreesAreDestroyedWithoutRecursion)
{
    const std::size_t before = live();
    {
        NodeRefPtr root = Node::create();
        NodePtr tip = root;
        for (int i = 0; i < 200000; ++i) {
            NodeRefPtr child = Node::create();
            tip->addChild(child);
            tip = child;
        }
    }
    EXPECT_EQ(live(), before);
}

#ifndef NDEBUG
TEST(ContainerLifetimeDeathTest, DebugBuildsCatchHandlesWhoseContainerIsGone)
{
    NodePtr stale;
    {
        NodeRefPtr gone = Node::create();
        stale = gone;
    }
    EXPECT_DEATH(stale->getNChildren(), "gone");
}
#endif

TEST(ContainerLifetime, ExplicitHoldsKeepAContainerAlive)
{
    NodePtr handle;
    UInt32 id = 0;
    {
        NodeRefPtr owner = Node::create();
        handle = owner;
        id = owner->getId();
        EXPECT_EQ(owner->getRefCount(), 1);
        addRefCP(handle);
        EXPECT_EQ(owner->getRefCount(), 2);
    }
    ASSERT_EQ(FieldContainerFactory::the()->getContainer(id), handle);
    EXPECT_EQ(handle->getRefCount(), 1);
    subRefCP(handle);
    EXPECT_EQ(FieldContainerFactory::the()->getContainer(id), NullFC);
}

TEST(ContainerLifetime, HandlesCompareHashAndOrderByContainer)
{
    NodeRefPtr a = Node::create();
    NodeRefPtr b = Node::create();
    NodePtr pa = a;
    FieldContainerPtr fa = pa;
    EXPECT_TRUE(pa == a && fa == pa && a != b && NodePtr() == NullFC && NullFC != pa);
    EXPECT_FALSE(NodePtr());

    std::map<NodePtr, int> ordered{{NodePtr(b), 2}, {pa, 1}};
    EXPECT_EQ(ordered.begin()->first, a) << "maps iterate in creation order";
    std::unordered_set<NodePtr> hashed{pa, NodePtr(b), pa};
    EXPECT_EQ(hashed.size(), 2u);
    std::set<NodeRefPtr> owners{a, b, a};
    EXPECT_EQ(owners.size(), 2u);

    // A handle that outlived its container still compares and hashes safely.
    NodePtr stale;
    {
        NodeRefPtr gone = Node::create();
        stale = gone;
    }
    EXPECT_FALSE(stale == pa);
    EXPECT_EQ(hashed.count(stale), 0u);
}

TEST(ContainerLifetime, DcastChecksTheDynamicTypeIncludingDerivedTypes)
{
    ExtReferenceRefPtr ext = ExtReferenceBase::create();
    NodeCorePtr core = ext;
    EXPECT_EQ(ExtReferencePtr::dcast(core), ext);
    EXPECT_EQ(Transform3DPtr::dcast(core), ext) << "a derived type passes a down-cast to its base";
    EXPECT_EQ(GroupPtr::dcast(core), ext);
    EXPECT_EQ(GeometryPtr::dcast(core), NullFC);
    EXPECT_EQ(FileReferencePtr::dcast(core), NullFC);
    EXPECT_EQ(NodePtr::dcast(FieldContainerPtr()), NullFC);

    GroupRefPtr group = GroupBase::create();
    EXPECT_EQ(ExtReferencePtr::dcast(group), NullFC) << "a base type fails a down-cast to a derived one";
    ExtReferenceRefPtr owned = ExtReferenceRefPtr::dcast(core);
    EXPECT_EQ(owned, ext);
    EXPECT_EQ(ext->getRefCount(), 2);
}

} // namespace
