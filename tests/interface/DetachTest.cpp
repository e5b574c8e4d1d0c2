// Licensed under the MIT licence; see LICENSE.
// The interface's paired operations: sub-reference content kept aside per
// node, and the live scene's smart records stashed unseen.
#include "InterfaceTestSupport.h"

#include "undo/ksUndoStack.h"

#include <map>

using namespace osg;
using namespace interfacetest;

namespace {

NodeRefPtr addReference(const NodePtr& parent, const std::string& smartPath)
{
    return add(parent, "", smartCore(smartPath));
}

FileReferencePtr smartOf(const NodePtr& node)
{
    return coreOf(node)->getSmartFile();
}

// The pool's status records by core: replaced whenever the pool hears of an
// edited core or record.
std::map<quint32, const void*> poolStatuses()
{
    std::map<quint32, const void*> statuses;
    const auto snapshot = ksReferencePool::instance().getStatusSnapshot();
    for (auto it = snapshot.begin(); it != snapshot.end(); ++it)
        statuses[it.key()] = it.value()->smart().get();
    return statuses;
}

using Detach = LiveSceneTest;

TEST_F(Detach, SubReferenceContentIsKeptPerNodeAndASecondDetachLosesNothing)
{
    // top ── R smart ── r
    const NodeRefPtr top = addReference(ksScenegraph::getRoot(), "/p/top.zmb");
    const NodeRefPtr R = addReference(top.get(), "/p/r.zmb");
    const NodeRefPtr r = Node::create();
    R->addChild(r);

    refs().detachSubReferences(top.get());
    const UInt32 holder = r->getParent().getFieldContainerId();
    const NodeRefPtr late = Node::create();
    R->addChild(late);
    refs().detachSubReferences(top.get());
    EXPECT_EQ(R->getNChildren(), 0u);

    refs().attachSubReferences(top.get());
    ASSERT_EQ(R->getNChildren(), 2u);
    // The first content came back before the second detach, after `late`.
    EXPECT_EQ(R->getChild(0), late);
    EXPECT_EQ(R->getChild(1), r);
    EXPECT_EQ(FieldContainerFactory::the()->getContainer(holder), NullFC);
    // Nothing stored any more.
    refs().attachSubReferences(top.get());
    EXPECT_EQ(R->getNChildren(), 2u);
}

TEST_F(Detach, SmartRecordsLeaveAndComeBackUnseen)
{
    // live root ─┬─ A smart ── B smart
    //            └─ A' (A's core)
    // O smart, outside the live scene
    const NodePtr live = ksScenegraph::getRoot();
    const NodeRefPtr A = addReference(live, "/p/a.zmb");
    NodeRefPtr B = addReference(A.get(), "/p/b.zmb");
    const NodeRefPtr clone = Node::create();
    clone->setCore(NodeCoreRefPtr(A->getCore()));
    live->addChild(clone);
    const NodeRefPtr outsideRoot = Node::create();
    const NodeRefPtr O = addReference(outsideRoot.get(), "/p/o.zmb");
    const std::vector<FileReferencePtr> before{smartOf(A.get()), smartOf(B.get()), smartOf(O.get())};
    const auto statuses = poolStatuses();
    const int undoSteps = ksUndoStack::get(0).count();
    int published = 0;
    const ChangeSubscription watch = ChangeObservers::subscribe(live, [&](const ChangeEvent&) { ++published; });

    refs().detachSmartFiles();
    EXPECT_EQ(smartOf(A.get()), NullFC);
    EXPECT_EQ(smartOf(B.get()), NullFC);
    EXPECT_EQ(smartOf(O.get()), before[2]);
    // A second detach before the restore keeps what the first one took.
    refs().detachSmartFiles();
    EXPECT_EQ(poolStatuses(), statuses);

    refs().restoreSmartFiles();
    EXPECT_EQ(smartOf(A.get()), before[0]);
    EXPECT_EQ(smartOf(B.get()), before[1]);
    EXPECT_EQ(before[1]->getPath(), "/p/b.zmb");
    EXPECT_EQ(published, 0);
    EXPECT_EQ(poolStatuses(), statuses);
    EXPECT_EQ(ksUndoStack::get(0).count(), undoSteps);

    // A core that goes while its record is held is left out.
    refs().detachSmartFiles();
    A->subChild(B.get());
    B = NodeRefPtr();
    refs().restoreSmartFiles();
    EXPECT_EQ(smartOf(A.get()), before[0]);
}

} // namespace
