// Licensed under the MIT licence; see LICENSE.
#include "ModelTestSupport.h"

#include "kernel/ksKernelServiceFactory.h"
#include "model/ksReferenceNode.h"
#include "model/ksReferencePool.h"
#include "references/ksReferenceService.h"
#include "scene/ksScenegraph.h"
#include "service/ksReferenceFileUndoCommand.h"
#include "undo/ksUndoStack.h"

#include <QSignalSpy>

using namespace modeltest;

namespace {

// A reference node in the live scene, with an empty history:
//
//   Root
//   └── node (ExtReference, smart record "/cars/wheel.zmb")
class RecordsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        stack.clear();
        addChild(ksScenegraph::getRoot(), node);
    }
    void TearDown() override
    {
        stack.clear();
        ksScenegraph::deleteNode(node.get(), false);
    }
    osg::FileReferencePtr smart() const { return coreOf(node)->getSmartFile(); }

    osg::NodeRefPtr node = makeReferenceNode("/cars/wheel.zmb");
    ksUndoStack& stack = ksUndoStack::get(0);
    QSignalSpy changes{ksKernelServiceFactory::the().get<ksReferenceService>(),
                       &ksReferenceService::referencesChanged};
};

TEST_F(RecordsTest, RemovedSmartRecordComesBackWithThePoolsSmartFile)
{
    ksReferencePool& pool = ksReferencePool::instance();
    const osg::FileReferencePtr record = smart();
    const std::shared_ptr<ksSmartFile> file = pool.getSmartFile(coreOf(node));
    const std::uint64_t updates = ksScenegraph::getUpdateRequestCount();

    ASSERT_TRUE(ksReferenceNode(node.get()).removeSmartReference());
    EXPECT_FALSE(smart());
    // Taken out of the pool: asking for it now makes another one.
    EXPECT_NE(pool.getSmartFile(coreOf(node)), file);
    stack.undo();
    EXPECT_EQ(smart(), record);
    EXPECT_EQ(pool.getSmartFile(coreOf(node)), file);
    stack.redo();
    EXPECT_FALSE(smart());
    stack.undo();
    EXPECT_EQ(smart(), record);
    EXPECT_EQ(pool.getSmartFile(coreOf(node)), file);

    // Each change is announced as "anything may have changed" and refreshes the views.
    ASSERT_EQ(changes.count(), 4);
    for (const QList<QVariant>& arguments : changes)
        EXPECT_TRUE(arguments.at(0).value<QList<ksdReferenceNode>>().isEmpty());
    EXPECT_GE(ksScenegraph::getUpdateRequestCount(), updates + 4);
}

TEST_F(RecordsTest, RedoRestoresWhatTheFirstRedoReplaced)
{
    const osg::FileReferencePtr first = smart();
    const osg::FileReferenceRefPtr second = makeRecord("/b.zmb");
    setFileReferenceWithUndo(ksReferenceTypes::Smart, node.get(), second);
    EXPECT_EQ(smart(), second);
    stack.undo();
    EXPECT_EQ(smart(), first);
    // Changed behind the history's back; the step does not capture it.
    edit(coreOf(node), osg::ExtReference::SmartFileFieldMask, [&] { coreOf(node)->setSmartFile(makeRecord("/c.zmb")); });
    stack.redo();
    EXPECT_EQ(smart(), second);
    stack.undo();
    EXPECT_EQ(smart(), first);
}

TEST_F(RecordsTest, StepOfADeletedOrConvertedNodeDoesNothing)
{
    osg::NodeRefPtr other = makeReferenceNode(std::string());
    addChild(ksScenegraph::getRoot(), other);
    ksReferenceNode(node.get()).removeSmartReference();
    ksReferenceNode(other.get()).getSourceFile(true);
    ASSERT_EQ(changes.count(), 2);

    ASSERT_TRUE(ksScenegraph::deleteNode(node.get(), false));
    node = osg::NullFC;
    ASSERT_TRUE(ksScenegraph::convertCore(other.get(), "Transform3D"));
    stack.undo();
    stack.undo();
    stack.redo();
    stack.redo();
    EXPECT_EQ(changes.count(), 2);
    ksScenegraph::deleteNode(other.get(), false);
}

TEST_F(RecordsTest, StepsNeverMerge)
{
    ksReferenceFileUndoCommand a(node.get(), ksReferenceTypes::Smart, osg::NullFC);
    ksReferenceFileUndoCommand b(node.get(), ksReferenceTypes::Source, osg::NullFC);
    EXPECT_EQ(a.id(), b.id());
    EXPECT_NE(a.id(), ksUndoCommand(ksUndoString("Other", "Test")).id());
    EXPECT_FALSE(a.mergeWith(&b));
    EXPECT_FALSE(a.isSelectionOnly());

    ksReferenceNode(node.get()).removeSmartReference();
    ksReferenceNode(node.get()).getSmartFile(true);
    EXPECT_EQ(stack.count(), 2);
}

TEST_F(RecordsTest, RecordsAreCreatedOnlyWhenAskedAndOnce)
{
    osg::NodeRefPtr bare = makeReferenceNode(std::string());
    ksReferenceNode reference(bare.get());
    EXPECT_FALSE(reference.getSmartFile(false));
    EXPECT_FALSE(reference.getSourceFile(false));
    EXPECT_FALSE(reference.removeSourceReference());
    EXPECT_EQ(stack.count(), 0);

    const osg::FileReferencePtr made = reference.getSmartFile(true);
    EXPECT_EQ(coreOf(bare)->getSmartFile(), made);
    EXPECT_EQ(reference.getSmartFile(true), made);
    EXPECT_EQ(reference.getOrCreateSmartFile("/ignored.zmb"), made);
    EXPECT_TRUE(made->getPath().empty());
    const osg::FileReferencePtr source = reference.getSourceFile(true);
    EXPECT_EQ(coreOf(bare)->getSourceFile(), source);
    EXPECT_EQ(stack.count(), 2);

    // Without a path nothing is refreshed: a refresh would make it NoPath.
    stack.undo();
    stack.undo();
    const osg::FileReferencePtr empty = reference.getOrCreateSmartFile(QString());
    EXPECT_EQ(empty->getState(), osg::FileReferenceBase::create()->getState());
    EXPECT_NE(empty->getState(), osg::UInt32(ksReferenceTypes::NoPath));

    const osg::NodeRefPtr group = addGroup();
    ksReferenceNode plain(group.get());
    EXPECT_FALSE(plain.getSmartFile(true) || plain.getOrCreateSmartFile("/a.zmb") || plain.removeSmartReference());
}

} // namespace
