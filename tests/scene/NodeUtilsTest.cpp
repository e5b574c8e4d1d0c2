// Licensed under the MIT licence; see LICENSE.
#include "SceneTestSupport.h"

#include "nodeutils/ksMaterials.h"
#include "nodeutils/ksNodePermission.h"
#include "nodeutils/ksNodeUtils.h"
#include "scene/ksScenegraph.h"
#include "undo/ksUndoStack.h"

#include <gtest/gtest.h>

using namespace osg;

TEST(NodeUtils, NamesAreUniqueAndRenamingOneCloneLeavesTheOthers)
{
    AssemblyScene scene;
    const NodePtr copy = scene.wheelB->getChild(0); // shares rim's Name attachment
    ksNodeUtils::setName(copy, "Rim copy", true, NodePtr());
    EXPECT_EQ(ksNodeUtils::getName(copy), "Rim copy");
    EXPECT_EQ(ksNodeUtils::getName(scene.rim.get()), "Rim");

    EXPECT_EQ(ksNodeUtils::getUniqueName("Bolt", scene.root.get()), "Bolt_1");
    EXPECT_EQ(ksNodeUtils::getUniqueName("Nut", scene.root.get()), "Nut");
    ksNodeUtils::setName(scene.tinted.get(), "Bolt", true, scene.root.get());
    EXPECT_EQ(ksNodeUtils::getName(scene.tinted.get()), "Bolt_1");
    EXPECT_EQ(ksNodeUtils::getUniqueName("Bolt", scene.root.get()), "Bolt_2");

    ksUndoStack::get(0).clear();
    ksNodeUtils::setName(scene.sub.get(), "Renamed", true, std::string("Rename"));
    EXPECT_EQ(ksNodeUtils::getName(scene.sub.get()), "Renamed");
    ksUndoStack::get(0).undo();
    EXPECT_EQ(ksNodeUtils::getName(scene.sub.get()), "Sub");
    ksUndoStack::get(0).clear();

    EXPECT_EQ(ksNodeUtils::getFileInfo(scene.wheelA.get()), "/cad/wheel.stp");
    EXPECT_EQ(ksNodeUtils::getFileInfo(scene.wheelB.get()), "");
}

TEST(NodeUtils, LockAndSelectabilityAreFlagBitsThatLeaveTheOthersAlone)
{
    AssemblyScene scene;
    const NodePtr n = scene.sub.get();
    n->setFlags(0x1000);
    int edits = 0;
    ChangeSubscription watch = ChangeObservers::subscribe(n, [&](const ChangeEvent& e) {
        EXPECT_EQ(e.mask, Node::FlagsFieldMask);
        ++edits;
    });
    EXPECT_FALSE(ksNodeUtils::getLock(n));
    EXPECT_TRUE(ksNodeUtils::isSelectable(n));
    ksNodeUtils::setLock(n, true);
    ksNodeUtils::setSelectable(n, false);
    ksNodeUtils::setLock(n, true); // unchanged: no edit
    EXPECT_TRUE(ksNodeUtils::getLock(n));
    EXPECT_FALSE(ksNodeUtils::isSelectable(n));
    EXPECT_EQ(n->getFlags(), 0x1000u | ksNodeUtils::LockedFlag | ksNodeUtils::UnselectableFlag);
    EXPECT_EQ(edits, 2);

    EXPECT_FALSE(ksNodePermission::allows(n, ksNodePermission::Select));
    EXPECT_FALSE(ksNodePermission::allows(scene.bolt.get(), ksNodePermission::Modify)) << "locked from above";
    EXPECT_FALSE(ksNodePermission::allows(scene.bolt.get(), ksNodePermission::AddChildren));
    EXPECT_TRUE(ksNodePermission::allows(scene.bolt.get(), ksNodePermission::Select));
    EXPECT_TRUE(ksNodePermission::allows(scene.tinted.get(), ksNodePermission::AddChildren));
    EXPECT_FALSE(ksNodePermission::allows(NodePtr(), ksNodePermission::Select));
    EXPECT_FALSE(ksNodePermission::allows(ksScenegraph::getRoot(), ksNodePermission::Delete));
    EXPECT_TRUE(ksNodePermission::allows(ksScenegraph::getRoot(), ksNodePermission::AddChildren));
    ksNodeUtils::setLock(n, false);
    EXPECT_TRUE(ksNodePermission::allows(scene.bolt.get(), ksNodePermission::Delete));
}

TEST(NodeUtils, AncestryAndTakingNodesOut)
{
    AssemblyScene scene;
    EXPECT_TRUE(ksNodeUtils::hasParent(scene.bolt.get(), scene.root.get()));
    EXPECT_TRUE(ksNodeUtils::hasParent(scene.root.get(), scene.root.get()));
    EXPECT_FALSE(ksNodeUtils::hasParent(scene.root.get(), scene.bolt.get()));
    EXPECT_FALSE(ksNodeUtils::hasParent(scene.bolt.get(), NodePtr()));
    EXPECT_TRUE(ksNodeUtils::subFromParent(scene.sub.get()));
    EXPECT_FALSE(ksNodeUtils::hasParent(scene.bolt.get(), scene.root.get()));
    EXPECT_EQ(scene.root->getNChildren(), 3u);
    EXPECT_FALSE(ksNodeUtils::subFromParent(scene.sub.get()));
}

TEST(NodeUtils, SyncCloneTreeSharesCoresSoAnEditShowsInEveryClone)
{
    AssemblyScene scene;
    // other "Other" (ExtReference of its own) with stale content.
    NodeRefPtr other = AssemblyScene::node(ExtReference::create(), "Other");
    other->addChild(AssemblyScene::node(Group::create(), "stale"));
    const NodeCorePtr ownCore = other->getCore();
    scene.root->addChild(other);

    ksNodeUtils::syncCloneTree(scene.sub.get(), other.get());
    EXPECT_EQ(other->getCore(), ownCore) << "the top keeps its own core";
    ASSERT_EQ(other->getNChildren(), 1u);
    EXPECT_NE(other->getChild(0), scene.bolt) << "new nodes";
    EXPECT_EQ(other->getChild(0)->getCore(), scene.bolt->getCore()) << "shared cores";

    const GeometryPtr bolt = GeometryPtr::dcast(scene.bolt->getCore());
    beginEditCP(bolt, Geometry::PositionsFieldMask);
    bolt->editPositions()[0] = Vec3f(9, 9, 9);
    endEditCP(bolt, Geometry::PositionsFieldMask);
    EXPECT_EQ(GeometryPtr::dcast(other->getChild(0)->getCore())->getPositions()[0], Vec3f(9, 9, 9));

    ksNodeUtils::syncCloneTree(scene.root.get(), other.get());
    EXPECT_EQ(other->getNChildren(), 1u) << "never into its own subtree";
}

TEST(NodeUtils, CloneAndSynchronizedTreesFollowTheirMaster)
{
    AssemblyScene scene;
    // Both wheels share wheelCore; new content under wheelA reaches wheelB.
    scene.wheelA->addChild(AssemblyScene::node(Group::create(), "Valve"));
    ksNodeUtils::syncAllCloneTrees(scene.wheelA.get(), false);
    ASSERT_EQ(scene.wheelB->getNChildren(), 2u);
    EXPECT_EQ(ksNodeUtils::getName(scene.wheelB->getChild(1)), "Valve");

    NodeRefPtr twin = AssemblyScene::node(Transform3D::create(), "Twin");
    scene.root->addChild(twin);
    ksNodeUtils::setSynchronized(scene.sub.get(), twin.get());
    ksNodeUtils::syncAllSynchronizedTrees(scene.sub.get());
    ASSERT_EQ(twin->getNChildren(), 1u);
    EXPECT_EQ(twin->getChild(0)->getCore(), scene.bolt->getCore());
    EXPECT_EQ(ksNodeUtils::getSynchronizedTrees(twin.get()), std::vector<NodePtr>{scene.sub.get()});

    const UInt32 twinId = twin.getFieldContainerId();
    scene.root->subChild(twin.get());
    twin = NullFC;
    EXPECT_FALSE(FieldContainerFactory::the()->getContainer(twinId));
    ksNodeUtils::validatePools();
    EXPECT_TRUE(ksNodeUtils::getSynchronizedTrees(scene.sub.get()).empty());
}

TEST(NodeUtils, ValidatePoolsDropsMaterialsNothingUses)
{
    ksMaterials::clearMaterialPool();
    UBRDFMaterialPtr kept;
    {
        AssemblyScene scene;
        ksMaterials::addTreeMaterialsToPool(scene.root.get());
        EXPECT_EQ(ksMaterials::getMaterialPoolMaterials(),
                  (ksMaterials::MaterialSet{scene.studio.get(), scene.paint.get()}));
        ksNodeUtils::validatePools();
        EXPECT_EQ(ksMaterials::getMaterialPoolMaterials().size(), 2u) << "still used";
    }
    ksNodeUtils::validatePools();
    EXPECT_TRUE(ksMaterials::getMaterialPoolMaterials().empty()) << "paint, then its environment";
}
