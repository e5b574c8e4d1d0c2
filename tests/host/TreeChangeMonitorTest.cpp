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

// Content moved aside for a save and back is the same content: a children
// edit published as a move counts nowhere, any other edit still does. (Which
// fields and nodes the pool's monitors skip is checked through the pool.)
TEST(TreeChangeMonitor, MovesOfContentDoNotCount)
{
    AssemblyScene scene;
    ksTreeChangeMonitor monitor(false);
    // True when the edit, published as a move or not, counted.
    const auto counts = [&](const FieldContainerPtr& fc, BitVector mask, bool move) {
        monitor.resetChanged(scene.sub.get());
        if (move) {
            beginEditCP(fc, mask, ksTreeChangeMonitor::ContentMoveOrigin);
            endEditCP(fc, mask, ksTreeChangeMonitor::ContentMoveOrigin);
        } else {
            edit(fc, mask, [] {});
        }
        return monitor.isChanged();
    };
    for (const NodePtr& node : {NodePtr(scene.sub.get()), NodePtr(scene.bolt.get())}) {
        EXPECT_FALSE(counts(node, Node::ChildrenFieldMask, true));
        EXPECT_TRUE(counts(node, Node::ChildrenFieldMask, false)) << "the same edit, not a move";
        EXPECT_TRUE(counts(node, Node::ChildrenFieldMask | Node::TravMaskFieldMask, true))
            << "a move changes children only";
    }
    EXPECT_TRUE(counts(scene.bolt->getCore(), Geometry::IndicesFieldMask, true)) << "only a node's children can move";
}
