// Licensed under the MIT licence; see LICENSE.
#include "AssemblyScene.h"

#include "nodeutils/ksTreeChangeMonitor.h"

#include <gtest/gtest.h>

using namespace osg;

namespace {

template <class F> void edit(const FieldContainerPtr& fc, BitVector mask, F change)
{
    beginEditCP(fc, mask);
    change();
    endEditCP(fc, mask);
}

// Watches `scene.root` in "count every change" mode.
struct Watch {
    ksTreeChangeMonitor monitor{false};
    int calls = 0;
    explicit Watch(const AssemblyScene& scene)
    {
        monitor.setChangedCallback([this] { ++calls; });
        monitor.resetChanged(scene.root.get());
    }
    // True when the edit counted; starts each check afresh.
    template <class F> bool counts(const FieldContainerPtr& fc, BitVector mask, F change)
    {
        monitor.resetChanged(monitor.getWatchedNode());
        edit(fc, mask, change);
        return monitor.isChanged();
    }
};

} // namespace

TEST(TreeChangeMonitor, FirstChangeAfterAResetCallsBackOnce)
{
    AssemblyScene scene;
    ksTreeChangeMonitor monitor(true);
    int calls = 0;
    monitor.setChangedCallback([&] { ++calls; });
    monitor.resetChanged(scene.root.get());
    EXPECT_FALSE(monitor.isChanged());
    for (int i = 0; i < 3; ++i)
        edit(scene.bolt.get(), Node::TravMaskFieldMask, [&] { scene.bolt->setTravMask(UInt32(i)); });
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(monitor.getChangeCount(), 1u) << "stopped listening after the first change";

    // Edits outside the watched subtree do not reach it.
    monitor.resetChanged(scene.sub.get());
    edit(scene.rimGeo.get(), Geometry::PositionsFieldMask, [] {});
    EXPECT_FALSE(monitor.isChanged());
    // A callback may destroy its monitor.
    auto owned = std::make_unique<ksTreeChangeMonitor>(false);
    owned->setChangedCallback([&] { owned.reset(); });
    owned->resetChanged(scene.root.get());
    edit(scene.rimGeo.get(), Geometry::PositionsFieldMask, [] {});
    EXPECT_FALSE(owned);
}

TEST(TreeChangeMonitor, SkipFieldsByTypeAndByContainer)
{
    AssemblyScene scene;
    Watch w(scene);
    w.monitor.addSkipFields(Node::getClassTypeId(), Node::FlagsFieldMask);
    w.monitor.addSkipFields(scene.wheelCore.get(), Transform3D::getCombinedTransformAttributesMask());

    EXPECT_FALSE(w.counts(scene.bolt.get(), Node::FlagsFieldMask, [] {}));
    EXPECT_TRUE(w.counts(scene.bolt.get(), Node::FlagsFieldMask | Node::IndexFieldMask, [] {}));
    EXPECT_FALSE(w.counts(scene.wheelCore.get(), Transform3D::TranslationFieldMask, [] {}));
    EXPECT_TRUE(w.counts(scene.wheelCore.get(), Transform3D::AttachmentsFieldMask, [] {}));
    Transform3DRefPtr other = Transform3D::create();
    scene.tinted->addChild(AssemblyScene::node(other, "Moved"));
    EXPECT_TRUE(w.counts(other.get(), Transform3D::TranslationFieldMask, [] {})) << "only that one core";
}

TEST(TreeChangeMonitor, NestedContentAndRootVisibilityAreSkippedOnlyWhenAsked)
{
    AssemblyScene scene;
    Watch w(scene);
    EXPECT_TRUE(w.counts(scene.bolt->getCore(), Geometry::IndicesFieldMask, [] {}));
    EXPECT_TRUE(w.counts(scene.sub.get(), Node::ChildrenFieldMask, [] {}));
    w.monitor.setSkipExtReferenceChildren(true);
    EXPECT_FALSE(w.counts(scene.bolt->getCore(), Geometry::IndicesFieldMask, [] {}));
    EXPECT_FALSE(w.counts(scene.bolt.get(), Node::TravMaskFieldMask, [] {}));
    EXPECT_FALSE(w.counts(scene.sub.get(), Node::ChildrenFieldMask, [] {})) << "nested content loaded or unloaded";
    EXPECT_TRUE(w.counts(scene.sub.get(), Node::TravMaskFieldMask, [] {})) << "the nested node itself";
    EXPECT_TRUE(w.counts(scene.subCore.get(), Transform3D::TranslationFieldMask, [] {}));
    EXPECT_TRUE(w.counts(scene.rimGeo.get(), Geometry::IndicesFieldMask, [] {}));

    // Watching the reference node itself: its own content counts, and its
    // visibility is skipped only when asked.
    w.monitor.resetChanged(scene.sub.get());
    EXPECT_TRUE(w.counts(scene.bolt->getCore(), Geometry::IndicesFieldMask, [] {}));
    EXPECT_TRUE(w.counts(scene.sub.get(), Node::TravMaskFieldMask, [] {}));
    w.monitor.setSkipRootVisibility(true);
    EXPECT_FALSE(w.counts(scene.sub.get(), Node::TravMaskFieldMask, [] {}));
    EXPECT_TRUE(w.counts(scene.sub.get(), Node::TravMaskFieldMask | Node::IndexFieldMask, [] {}));
    EXPECT_TRUE(w.counts(scene.bolt.get(), Node::TravMaskFieldMask, [] {})) << "a child's visibility counts";
}

// Content moved aside for a save and back is the same content: a children
// edit published as a move counts nowhere, any other edit still does.
TEST(TreeChangeMonitor, MovesOfContentDoNotCount)
{
    AssemblyScene scene;
    Watch w(scene);
    w.monitor.resetChanged(scene.sub.get());
    const auto moved = [](const FieldContainerPtr& fc, BitVector mask) {
        beginEditCP(fc, mask, ksTreeChangeMonitor::ContentMoveOrigin);
        endEditCP(fc, mask, ksTreeChangeMonitor::ContentMoveOrigin);
    };
    for (const NodePtr& node : {NodePtr(scene.sub.get()), NodePtr(scene.bolt.get())}) {
        w.monitor.resetChanged(w.monitor.getWatchedNode());
        moved(node, Node::ChildrenFieldMask);
        EXPECT_FALSE(w.monitor.isChanged());
        EXPECT_TRUE(w.counts(node, Node::ChildrenFieldMask, [] {})) << "the same edit, not a move";
        w.monitor.resetChanged(w.monitor.getWatchedNode());
        moved(node, Node::ChildrenFieldMask | Node::TravMaskFieldMask);
        EXPECT_TRUE(w.monitor.isChanged()) << "a move changes children only";
    }
    w.monitor.resetChanged(w.monitor.getWatchedNode());
    moved(scene.bolt->getCore(), Geometry::IndicesFieldMask);
    EXPECT_TRUE(w.monitor.isChanged()) << "only a node's children can move";
}
