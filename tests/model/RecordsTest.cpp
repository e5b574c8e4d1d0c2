// Licensed under the MIT licence; see LICENSE.
// A reference node's file records: the undo steps that take them away and
// back, and their file state and information computed from the disk.
#include "ModelTestSupport.h"

#include "kernel/ksKernelServiceFactory.h"
#include "model/ksReferenceNode.h"
#include "model/ksReferencePool.h"
#include "references/ksReferenceService.h"
#include "undo/ksUndoStack.h"
#include "utils/ksFile.h"

#include <QSignalSpy>

using namespace osg;
using namespace modeltest;

//   Root
//   ├── node (smart record "/cars/wheel.zmb")
//   └── other (no records)
TEST(Records, ARemovedSmartRecordComesBackWithThePoolsSmartFileAndStepsOfGoneNodesDoNothing)
{
    ksUndoStack& stack = ksUndoStack::get(0);
    stack.clear();
    QSignalSpy changes(ksKernelServiceFactory::the().get<ksReferenceService>(), &ksReferenceService::referencesChanged);
    osg::NodeRefPtr node = inScene(reference("", "/cars/wheel.zmb"));
    const osg::NodeRefPtr other = inScene(reference("", ""));
    ksReferencePool& pool = ksReferencePool::instance();
    const osg::FileReferencePtr record = coreOf(node)->getSmartFile();
    const std::shared_ptr<ksSmartFile> file = pool.getSmartFile(coreOf(node));
    const std::uint64_t updates = ksScenegraph::getUpdateRequestCount();

    ASSERT_TRUE(ksReferenceNode(node.get()).removeSmartReference());
    EXPECT_FALSE(coreOf(node)->getSmartFile());
    // Taken out of the pool: asking for it now makes another one.
    EXPECT_NE(pool.getSmartFile(coreOf(node)), file);
    stack.undo();
    EXPECT_EQ(coreOf(node)->getSmartFile(), record);
    EXPECT_EQ(pool.getSmartFile(coreOf(node)), file);
    stack.redo();
    EXPECT_FALSE(coreOf(node)->getSmartFile());
    // Each change is announced as "anything may have changed" and refreshes the views.
    ASSERT_EQ(changes.count(), 3);
    for (const QList<QVariant>& arguments : changes)
        EXPECT_TRUE(arguments.at(0).value<QList<ksdReferenceNode>>().isEmpty());
    EXPECT_GE(ksScenegraph::getUpdateRequestCount(), updates + 3);
    // Redo reuses the record it took at its first run, whatever the field
    // held since: undo gives that record back, not the stray one.
    stack.undo();
    coreOf(node)->setSmartFile(osg::FileReference::create());
    stack.redo();
    stack.undo();
    EXPECT_EQ(coreOf(node)->getSmartFile(), record);
    stack.redo();
    // Two steps on one field stay two steps.
    const int steps = stack.count();
    ksReferenceNode(other.get()).getSourceFile(true);
    ASSERT_TRUE(ksReferenceNode(other.get()).removeSourceReference());
    EXPECT_EQ(stack.count(), steps + 2) << "never merged";
    stack.undo();
    EXPECT_TRUE(coreOf(other)->getSourceFile());
    ASSERT_EQ(changes.count(), 10);
    // The steps of a deleted node and of one that is no reference any more.
    ASSERT_TRUE(ksScenegraph::deleteNode(node.get(), false));
    node = osg::NullFC;
    ASSERT_TRUE(ksScenegraph::convertCore(other.get(), "Transform3D"));
    stack.undo();
    stack.undo();
    stack.redo();
    stack.redo();
    EXPECT_EQ(changes.count(), 10);
    stack.clear();
    clearScene();
}

TEST(FileState, AChangedFileIsOutdatedUntilItsInformationIsTakenAgainADeletedOneMissing)
{
    // A record whose information was taken from a file dated t0.
    constexpr qint64 t0 = 1600000000;
    TempFiles files;
    const std::string path = files.write("part.stp", "solid part");
    TempFiles::setModificationTime(path, t0);
    const UInt32 checksum = ksFile::getChecksum(path, 0);
    const FileReferenceRefPtr file = record(path, ksReferenceTypes::Missing);
    const auto expectRecord = [&](UInt32 state, UInt64 lastModified, UInt32 sum) {
        EXPECT_EQ(std::make_tuple(file->getState(), file->getLastModified(), file->getChecksum()),
                  std::make_tuple(state, lastModified, sum));
    };
    ksReferenceNode::updateFileInfo(file.get());
    expectRecord(ksReferenceTypes::UpToDate, t0, checksum);
    EXPECT_EQ(file->getOwner(), ksFile::getOwner(path));
    // Touched but unchanged: still up to date, the new time taken only on request.
    TempFiles::setModificationTime(path, t0 + 100);
    ksReferenceNode::updateFileState(file.get());
    expectRecord(ksReferenceTypes::UpToDate, t0, checksum);
    files.write("part.stp", "solid part, revised");
    TempFiles::setModificationTime(path, t0 + 100);
    ksReferenceNode::updateFileState(file.get());
    expectRecord(ksReferenceTypes::Outdated, t0, checksum);
    // The time decides first: a change under the recorded time goes unseen.
    TempFiles::setModificationTime(path, t0);
    ksReferenceNode::updateFileState(file.get());
    expectRecord(ksReferenceTypes::UpToDate, t0, checksum);
    TempFiles::setModificationTime(path, t0 + 100);
    ksReferenceNode::updateFileInfo(file.get());
    expectRecord(ksReferenceTypes::UpToDate, t0 + 100, ksFile::getChecksum(path, 0));
    // Without a checksum a changed time takes one and is never outdated.
    edit(file.get(), FileReference::ChecksumFieldMask, [&] { file->setChecksum(0); });
    files.write("part.stp", "other content");
    TempFiles::setModificationTime(path, t0 + 200);
    ksReferenceNode::updateFileState(file.get());
    const UInt32 other = ksFile::getChecksum(path, 0);
    expectRecord(ksReferenceTypes::UpToDate, t0 + 100, other);
    // The information of a deleted file is not taken.
    ASSERT_TRUE(QFile::remove(QString::fromStdString(path)));
    ksReferenceNode::updateFileState(file.get());
    expectRecord(ksReferenceTypes::Missing, 0, other);
    ksReferenceNode::updateFileInfo(file.get());
    expectRecord(ksReferenceTypes::Missing, 0, other);

    const FileReferenceRefPtr empty = record("");
    empty->setLastModified(12);
    ksReferenceNode::updateFileInfo(empty.get());
    EXPECT_EQ(std::make_tuple(empty->getState(), empty->getLastModified()),
              std::make_tuple(UInt32(ksReferenceTypes::NoPath), UInt64(0)));
    ksReferenceNode::updateFileState(NullFC);
    ksReferenceNode::updateFileInfo(NullFC);
}
