// Licensed under the MIT licence; see LICENSE.
#include "AssemblyScene.h"

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
}

TEST(NodeUtils, ALockHoldsForTheSubtreeAndKeepsTheNodesOtherFlags)
{
    AssemblyScene scene;
    const NodePtr n = scene.sub.get();
    n->setFlags(0x1000);
    int edits = 0;
    ChangeSubscription watch = ChangeObservers::subscribe(n, [&](const ChangeEvent&) { ++edits; });
    ksNodeUtils::setLock(n, true);
    ksNodeUtils::setLock(n, true); // unchanged: no edit
    EXPECT_EQ(n->getFlags(), 0x1000u | ksNodeUtils::LockedFlag);
    EXPECT_EQ(edits, 1);

    EXPECT_FALSE(ksNodePermission::allows(scene.bolt.get(), ksNodePermission::AddChildren)) << "locked from above";
    EXPECT_TRUE(ksNodePermission::allows(scene.bolt.get(), ksNodePermission::Select));
    EXPECT_FALSE(ksNodePermission::allows(NodePtr(), ksNodePermission::Select));
    EXPECT_FALSE(ksNodePermission::allows(ksScenegraph::getRoot(), ksNodePermission::Delete));
    EXPECT_TRUE(ksNodePermission::allows(ksScenegraph::getRoot(), ksNodePermission::AddChildren));
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
