// Licensed under the MIT licence; see LICENSE.
// Taking the smart records of the live scene out for a while and putting
// them back, unseen by anyone who listens to the scene.
#include "QueriesTestSupport.h"

#include "model/ksReferencePool.h"
#include "scene/ksScenegraph.h"
#include "undo/ksUndoStack.h"

#include <gtest/gtest.h>

#include <map>

using namespace osg;
using namespace queries;

namespace {

// live root
// ├── A   smart
// │   └── B   smart (nested)
// ├── A'  clone of A (shares A's core)
// └── S   source only
// and, outside the live scene:
// O   smart
class DetachSmartFilesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_NE(refs, nullptr);
        ksReferencePool::instance().registerCallbacks();
        ksScenegraph::newScene();
        const NodePtr live = ksScenegraph::getRoot();
        A = addNode(live, "A", makeReferenceCore("/p/a.zmb"));
        B = addNode(A.get(), "B", makeReferenceCore("/p/b.zmb"));
        clone = addNode(live, "A'", NodeCoreRefPtr(A->getCore()));
        S = addNode(live, "S", makeReferenceCore("", "/cad/s.step"));
        outside = addNode(NullFC, "O", makeReferenceCore("/p/o.zmb"));
        for (const NodeRefPtr& node : {A, B, S, outside})
            before[node.get()] = coreOf(node)->getSmartFile();
        // Anything published anywhere below the live root.
        subscription = ChangeObservers::subscribe(live, [this](const ChangeEvent&) { ++published; });
    }
    void TearDown() override
    {
        refs->restoreSmartFiles();
        ksScenegraph::newScene();
    }

    // The pool's status records by core: replaced whenever the pool hears
    // of an edited core or record.
    static std::map<quint32, std::pair<const void*, const void*>> poolStatuses()
    {
        std::map<quint32, std::pair<const void*, const void*>> statuses;
        const auto snapshot = ksReferencePool::instance().getStatusSnapshot();
        for (auto it = snapshot.begin(); it != snapshot.end(); ++it)
            statuses[it.key()] = {it.value()->smart().get(), it.value()->source().get()};
        return statuses;
    }

    static ExtReferencePtr coreOf(const NodeRefPtr& node) { return ExtReferencePtr::dcast(node->getCore()); }

    void expectRecordsAsBefore()
    {
        for (const auto& [node, record] : before)
            EXPECT_EQ(ExtReferencePtr::dcast(node->getCore())->getSmartFile(), record) << ksNodeUtils::getName(node);
    }

    ksReferenceInterface* refs = referenceInterface();
    NodeRefPtr A, B, clone, S, outside;
    std::map<NodePtr, FileReferencePtr> before;
    ChangeSubscription subscription;
    int published = 0;
};

TEST_F(DetachSmartFilesTest, TakesEveryLiveSmartRecordOutAndPutsItBack)
{
    const auto statuses = poolStatuses();
    const int undoSteps = ksUndoStack::get(0).count();
    ASSERT_EQ(statuses.count(A->getCore().getFieldContainerId()), 1u);

    refs->detachSmartFiles();
    EXPECT_EQ(poolStatuses(), statuses);
    EXPECT_EQ(coreOf(A)->getSmartFile(), NullFC);
    EXPECT_EQ(coreOf(B)->getSmartFile(), NullFC);
    EXPECT_EQ(coreOf(S)->getSourceFile()->getPath(), "/cad/s.step");
    // Only the live scene is searched.
    EXPECT_EQ(coreOf(outside)->getSmartFile(), before[outside.get()]);
    // The held records survive although no core points to them.
    for (const NodeRefPtr& node : {A, B})
        EXPECT_EQ(before[node.get()]->getPath().substr(0, 3), "/p/");

    refs->restoreSmartFiles();
    expectRecordsAsBefore();
    EXPECT_EQ(published, 0);
    EXPECT_EQ(poolStatuses(), statuses);
    EXPECT_EQ(ksUndoStack::get(0).count(), undoSteps);

    // Restoring again has nothing left to do.
    coreOf(A)->setSmartFile(NullFC);
    refs->restoreSmartFiles();
    EXPECT_EQ(coreOf(A)->getSmartFile(), NullFC);
}

TEST_F(DetachSmartFilesTest, ASecondDetachKeepsTheRecordsOfTheFirst)
{
    refs->detachSmartFiles();
    refs->detachSmartFiles();
    refs->restoreSmartFiles();
    expectRecordsAsBefore();
    EXPECT_EQ(published, 0);
}

TEST_F(DetachSmartFilesTest, ACoreDestroyedMeanwhileIsLeftOut)
{
    refs->detachSmartFiles();
    // B and its core go while their record is held.
    before.erase(B.get());
    const UInt32 goneCore = B->getCore().getFieldContainerId();
    A->subChild(B.get());
    B = NodeRefPtr();
    EXPECT_EQ(FieldContainerFactory::the()->getContainer(goneCore), NullFC);

    refs->restoreSmartFiles();
    expectRecordsAsBefore();
}

} // namespace
