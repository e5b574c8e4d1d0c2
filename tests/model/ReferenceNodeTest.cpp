// Licensed under the MIT licence; see LICENSE.
// The node object: its queries, the file states computed from the disk, and
// the reference log.
#include "ModelTestSupport.h"

#include "../host/LogRecorder.h"

#include "model/ksReferenceNode.h"
#include "nodeutils/ksNodeUtils.h"
#include "scene/ksScenegraph.h"
#include "service/ksReferenceSettings.h"
#include "utils/ksFile.h"

#include <vector>

using namespace osg;
using namespace modeltest;

TEST(ReferenceNode, NodesThatAreNoReferencesGiveNeutralAnswersAndStayUntouched)
{
    const NodeRefPtr group = makeGroupNode();
    ksNodeUtils::setName(group.get(), "Assembly", false);
    const NodeRefPtr transform = Node::create();
    transform->setCore(Transform3DBase::create());

    for (const NodePtr& node : {group.get(), transform.get(), NodePtr()}) {
        ksReferenceNode object(node);
        EXPECT_FALSE(object.isValid());
        EXPECT_FALSE(object.isRootNode());
        EXPECT_EQ(object.getNode(), NullFC);
        EXPECT_EQ(object.getExtReference(), NullFC);
        EXPECT_EQ(object.getName(), "");
        EXPECT_EQ(object.getState(), ksReferenceTypes::Undefined);
        EXPECT_EQ(object.getSmartPath(), "");
        EXPECT_FALSE(object.isChanged());
        object.setState(ksReferenceTypes::Loaded);
        object.updateFileStates();
        object.updateFileInfos();
    }
    EXPECT_EQ(ksNodeUtils::getName(group.get()), "Assembly");
}

TEST(ReferenceNode, ReadsAndSetsTheReferenceItWasBuiltFor)
{
    const NodeRefPtr node = makeReferenceNode("/refs/wheel.zmb", "/cad/wheel.stp", ksReferenceTypes::NotLoaded);
    ksNodeUtils::setName(node.get(), "Wheel \xc3\xa4", false);
    std::vector<BitVector> coreEdits;
    const ChangeSubscription watch = ChangeObservers::subscribe(node.get(), [&](const ChangeEvent& event) {
        if (event.container == node->getCore())
            coreEdits.push_back(event.mask);
    });

    ksReferenceNode object(node.get());
    EXPECT_TRUE(object.isValid());
    EXPECT_EQ(object.getNode(), node.get());
    EXPECT_EQ(object.getExtReference(), node->getCore());
    EXPECT_EQ(object.getName(), "Wheel \xc3\xa4");
    EXPECT_EQ(object.getSmartPath(), "/refs/wheel.zmb");
    EXPECT_EQ(object.getState(), ksReferenceTypes::NotLoaded);
    EXPECT_FALSE(object.isRootNode());

    object.setState(ksReferenceTypes::Loaded);
    EXPECT_EQ(coreOf(node)->getState(), UInt32(ksReferenceTypes::Loaded));
    EXPECT_EQ(coreEdits, std::vector<BitVector>{ExtReference::StateFieldMask});

    // Without a smart record there is no smart path.
    edit(coreOf(node), ExtReference::SmartFileFieldMask, [&] { coreOf(node)->setSmartFile(NullFC); });
    EXPECT_EQ(ksReferenceNode(node.get()).getSmartPath(), "");
}

TEST(ReferenceNode, OnlyTheLiveRootIsTheRootNode)
{
    const NodePtr root = ksScenegraph::getRoot();
    ASSERT_TRUE(ksScenegraph::convertCore(root, "ExtReference"));
    EXPECT_TRUE(ksReferenceNode(root).isRootNode());
    const NodeRefPtr other = makeReferenceNode("/refs/a.zmb");
    EXPECT_FALSE(ksReferenceNode(other.get()).isRootNode());
    ASSERT_TRUE(ksScenegraph::convertCore(root, "Group"));
    EXPECT_FALSE(ksReferenceNode(root).isValid());
}

class FileStateTest : public ::testing::Test
{
protected:
    // A source record of a file whose information was taken at `t0`.
    void SetUp() override
    {
        path = files.write("part.stp", "solid part");
        TempFiles::setModificationTime(path, t0);
        record = makeRecord(path, ksReferenceTypes::Missing);
        ksReferenceNode::updateFileInfo(record.get());
        ASSERT_EQ(record->getState(), UInt32(ksReferenceTypes::UpToDate));
        ASSERT_EQ(record->getLastModified(), UInt64(t0));
        ASSERT_EQ(record->getChecksum(), ksFile::getChecksum(path, 0));
        ASSERT_EQ(record->getOwner(), ksFile::getOwner(path));
        checksum = record->getChecksum();
    }

    static constexpr qint64 t0 = 1600000000;
    TempFiles files;
    std::string path;
    FileReferenceRefPtr record;
    UInt32 checksum = 0;
};

TEST_F(FileStateTest, ATouchedButUnchangedFileStaysUpToDateUntilItsTimeIsTaken)
{
    TempFiles::setModificationTime(path, t0 + 100);
    ksReferenceNode::updateFileState(record.get());
    EXPECT_EQ(record->getState(), UInt32(ksReferenceTypes::UpToDate));
    EXPECT_EQ(record->getLastModified(), UInt64(t0));
    EXPECT_EQ(record->getChecksum(), checksum);

    ksReferenceNode::updateFileInfo(record.get());
    EXPECT_EQ(record->getState(), UInt32(ksReferenceTypes::UpToDate));
    EXPECT_EQ(record->getLastModified(), UInt64(t0 + 100));
}

TEST_F(FileStateTest, AChangedFileIsOutdatedUntilItsInformationIsTakenAgain)
{
    files.write("part.stp", "solid part, revised");
    TempFiles::setModificationTime(path, t0 + 100);
    ksReferenceNode::updateFileState(record.get());
    EXPECT_EQ(record->getState(), UInt32(ksReferenceTypes::Outdated));
    EXPECT_EQ(record->getChecksum(), checksum);
    EXPECT_EQ(record->getLastModified(), UInt64(t0));

    // The recorded time decides first: content changed under the same time
    // is not looked at.
    TempFiles::setModificationTime(path, t0);
    ksReferenceNode::updateFileState(record.get());
    EXPECT_EQ(record->getState(), UInt32(ksReferenceTypes::UpToDate));

    TempFiles::setModificationTime(path, t0 + 100);
    ksReferenceNode::updateFileInfo(record.get());
    EXPECT_EQ(record->getState(), UInt32(ksReferenceTypes::UpToDate));
    EXPECT_EQ(record->getChecksum(), ksFile::getChecksum(path, 0));
    EXPECT_NE(record->getChecksum(), checksum);
}

TEST_F(FileStateTest, WithoutAChecksumAChangedTimeTakesOneAndIsNeverOutdated)
{
    files.write("part.stp", "other content");
    TempFiles::setModificationTime(path, t0 + 100);
    edit(record.get(), FileReference::ChecksumFieldMask, [&] { record->setChecksum(0); });
    ksReferenceNode::updateFileState(record.get());
    EXPECT_EQ(record->getState(), UInt32(ksReferenceTypes::UpToDate));
    EXPECT_EQ(record->getChecksum(), ksFile::getChecksum(path, 0));
    EXPECT_EQ(record->getLastModified(), UInt64(t0));
}

TEST_F(FileStateTest, ADeletedFileIsMissingAndAnEmptyPathHasNone)
{
    ASSERT_TRUE(QFile::remove(QString::fromStdString(path)));
    ksReferenceNode::updateFileState(record.get());
    EXPECT_EQ(record->getState(), UInt32(ksReferenceTypes::Missing));
    EXPECT_EQ(record->getLastModified(), UInt64(0));
    EXPECT_EQ(record->getChecksum(), checksum);

    // Taking information of an absent file leaves checksum and owner alone.
    const std::string owner = record->getOwner();
    ksReferenceNode::updateFileInfo(record.get());
    EXPECT_EQ(record->getState(), UInt32(ksReferenceTypes::Missing));
    EXPECT_EQ(record->getChecksum(), checksum);
    EXPECT_EQ(record->getOwner(), owner);

    const FileReferenceRefPtr empty = makeRecord("", ksReferenceTypes::UpToDate);
    empty->setLastModified(12);
    ksReferenceNode::updateFileInfo(empty.get());
    EXPECT_EQ(empty->getState(), UInt32(ksReferenceTypes::NoPath));
    EXPECT_EQ(empty->getLastModified(), UInt64(0));

    ksReferenceNode::updateFileState(NullFC);
    ksReferenceNode::updateFileInfo(NullFC);
}

TEST(ReferenceNode, RefreshesTheRecordsInTheirOrder)
{
    TempFiles files;
    const std::string smartPath = files.write("a.zmb", "smart");
    const std::string sourcePath = files.write("a.stp", "source");
    const NodeRefPtr node = makeReferenceNode(smartPath, sourcePath);
    const UInt32 smartId = coreOf(node)->getSmartFile().getFieldContainerId();
    const UInt32 sourceId = coreOf(node)->getSourceFile().getFieldContainerId();
    std::vector<UInt32> edited;
    const ChangeSubscription watch = ChangeObservers::subscribe(
        node.get(), [&](const ChangeEvent& event) { edited.push_back(event.container.getFieldContainerId()); });
    ksReferenceNode object(node.get());

    // updateFileInfo edits the information, then the state.
    object.updateFileInfos();
    EXPECT_EQ(edited, (std::vector<UInt32>{smartId, smartId, sourceId, sourceId}));
    edited.clear();
    object.updateFileStates();
    EXPECT_EQ(edited, (std::vector<UInt32>{sourceId, smartId}));
    edited.clear();
    object.updateSmartFileInfo();
    object.updateSourceFileInfo();
    object.updateSourceFileState();
    EXPECT_EQ(edited, (std::vector<UInt32>{smartId, smartId, sourceId, sourceId, sourceId}));
    EXPECT_EQ(coreOf(node)->getSmartFile()->getState(), UInt32(ksReferenceTypes::UpToDate));
    EXPECT_EQ(coreOf(node)->getSourceFile()->getState(), UInt32(ksReferenceTypes::UpToDate));
}

TEST(ReferenceLog, WritesEachLevelFromItsThresholdOn)
{
    struct Case
    {
        int level;
        int threshold; // the lowest log level at which it is written
        ksLog::Level as;
    };
    const Case cases[] = {
        {0, 3, ksLog::Level::Info},
        {1, 2, ksLog::Level::Warning},
        {2, 1, ksLog::Level::Error},
        {3, 4, ksLog::Level::Info},
    };
    ksReferenceSettings& settings = ksReferenceSettings::the();
    const int saved = settings.getLogLevel();
    for (const Case& c : cases) {
        for (int logLevel = 0; logLevel <= 5; ++logLevel) {
            SCOPED_TRACE(testing::Message() << "message level " << c.level << ", log level " << logLevel);
            settings.setLogLevel(logLevel);
            LogRecorder log;
            ksReferenceNode::log(QString::fromUtf8("100% done \xe2\x9c\x93"), c.level);
            const std::vector<LogRecorder::Line> lines = log.lines();
            if (logLevel < c.threshold) {
                EXPECT_TRUE(lines.empty());
                continue;
            }
            ASSERT_EQ(lines.size(), 1u);
            EXPECT_EQ(lines[0].level, c.as);
            EXPECT_EQ(lines[0].text, "[REFERENCE] 100% done \xe2\x9c\x93");
        }
    }
    for (int level : {-1, 4, 17}) {
        settings.setLogLevel(99);
        LogRecorder log;
        ksReferenceNode::log("nothing", level);
        EXPECT_TRUE(log.lines().empty()) << "level " << level;
    }
    settings.setLogLevel(saved);
}
