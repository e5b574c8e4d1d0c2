// Licensed under the MIT licence; see LICENSE.
// The node object: queries, file states computed from the disk, the log.
#include "ModelTestSupport.h"

#include "LogRecorder.h"

#include "model/ksReferenceNode.h"
#include "nodeutils/ksNodeUtils.h"
#include "service/ksReferenceSettings.h"
#include "utils/ksFile.h"

#include <vector>

using namespace osg;
using namespace modeltest;

TEST(ReferenceNode, NodesThatAreNoReferencesGiveNeutralAnswers)
{
    const NodeRefPtr group = addGroup();
    ksNodeUtils::setName(group.get(), "Assembly", false);
    const NodeRefPtr transform = Node::create();
    transform->setCore(Transform3DBase::create());
    for (const NodePtr& node : {group.get(), transform.get(), NodePtr()}) {
        ksReferenceNode object(node);
        EXPECT_FALSE(object.isValid());
        EXPECT_EQ(object.getNode(), NullFC);
        EXPECT_EQ(object.getExtReference(), NullFC);
        EXPECT_EQ(object.getName(), "");
        EXPECT_EQ(object.getState(), ksReferenceTypes::Undefined);
        EXPECT_EQ(object.getSmartPath(), "");
        EXPECT_FALSE(object.isChanged());
        object.setState(ksReferenceTypes::Loaded);
        object.updateFileInfos();
    }
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

    // The live root, once it is a reference node, is the root node.
    const NodePtr root = ksScenegraph::getRoot();
    ASSERT_TRUE(ksScenegraph::convertCore(root, "ExtReference"));
    EXPECT_TRUE(ksReferenceNode(root).isRootNode());
    ASSERT_TRUE(ksScenegraph::convertCore(root, "Group"));
}

class FileStateTest : public ::testing::Test
{
protected:
    // A record whose information was taken from a file dated t0.
    void SetUp() override
    {
        path = files.write("part.stp", "solid part");
        TempFiles::setModificationTime(path, t0);
        record = makeRecord(path, ksReferenceTypes::Missing);
        ksReferenceNode::updateFileInfo(record.get());
        ASSERT_EQ(record->getState(), UInt32(ksReferenceTypes::UpToDate));
        ASSERT_EQ(record->getLastModified(), UInt64(t0));
        ASSERT_EQ(record->getOwner(), ksFile::getOwner(path));
        checksum = record->getChecksum();
        ASSERT_EQ(checksum, ksFile::getChecksum(path, 0));
    }

    void expectRecord(UInt32 state, UInt64 lastModified, UInt32 sum)
    {
        EXPECT_EQ(record->getState(), state);
        EXPECT_EQ(record->getLastModified(), lastModified);
        EXPECT_EQ(record->getChecksum(), sum);
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
    expectRecord(ksReferenceTypes::UpToDate, t0, checksum);
    ksReferenceNode::updateFileInfo(record.get());
    expectRecord(ksReferenceTypes::UpToDate, t0 + 100, checksum);
}

TEST_F(FileStateTest, AChangedFileIsOutdatedUntilItsInformationIsTakenAgain)
{
    files.write("part.stp", "solid part, revised");
    TempFiles::setModificationTime(path, t0 + 100);
    ksReferenceNode::updateFileState(record.get());
    expectRecord(ksReferenceTypes::Outdated, t0, checksum);
    // The time decides first: a change under the recorded time goes unseen.
    TempFiles::setModificationTime(path, t0);
    ksReferenceNode::updateFileState(record.get());
    expectRecord(ksReferenceTypes::UpToDate, t0, checksum);
    TempFiles::setModificationTime(path, t0 + 100);
    ksReferenceNode::updateFileInfo(record.get());
    expectRecord(ksReferenceTypes::UpToDate, t0 + 100, ksFile::getChecksum(path, 0));
}

TEST_F(FileStateTest, WithoutAChecksumAChangedTimeTakesOneAndIsNeverOutdated)
{
    files.write("part.stp", "other content");
    TempFiles::setModificationTime(path, t0 + 100);
    edit(record.get(), FileReference::ChecksumFieldMask, [&] { record->setChecksum(0); });
    ksReferenceNode::updateFileState(record.get());
    expectRecord(ksReferenceTypes::UpToDate, t0, ksFile::getChecksum(path, 0));
}

TEST_F(FileStateTest, ADeletedFileIsMissingAndAnEmptyPathHasNone)
{
    ASSERT_TRUE(QFile::remove(QString::fromStdString(path)));
    ksReferenceNode::updateFileState(record.get());
    expectRecord(ksReferenceTypes::Missing, 0, checksum);
    // Information of an absent file is not taken.
    const std::string owner = record->getOwner();
    ksReferenceNode::updateFileInfo(record.get());
    expectRecord(ksReferenceTypes::Missing, 0, checksum);
    EXPECT_EQ(record->getOwner(), owner);

    const FileReferenceRefPtr empty = makeRecord("");
    empty->setLastModified(12);
    ksReferenceNode::updateFileInfo(empty.get());
    EXPECT_EQ(empty->getState(), UInt32(ksReferenceTypes::NoPath));
    EXPECT_EQ(empty->getLastModified(), 0u);
    ksReferenceNode::updateFileState(NullFC);
    ksReferenceNode::updateFileInfo(NullFC);
}

TEST(ReferenceLog, WritesEachLevelFromItsThresholdOn)
{
    struct Case
    {
        int level;
        int threshold; // the lowest log level that writes it
        ksLog::Level as;
    };
    const Case cases[] = {{0, 3, ksLog::Level::Info},
                          {1, 2, ksLog::Level::Warning},
                          {2, 1, ksLog::Level::Error},
                          {3, 4, ksLog::Level::Info},
                          {4, 99, ksLog::Level::Info},
                          {-1, 99, ksLog::Level::Info}};
    ksReferenceSettings& settings = ksReferenceSettings::the();
    const int saved = settings.getLogLevel();
    for (const Case& c : cases) {
        for (int logLevel = 0; logLevel <= 5; ++logLevel) {
            SCOPED_TRACE(testing::Message() << "message level " << c.level << ", log level " << logLevel);
            settings.setLogLevel(logLevel);
            LogRecorder log;
            ksReferenceNode::log(QString::fromUtf8("100% done \xe2\x9c\x93"), c.level);
            const std::vector<LogRecorder::Line> lines = log.lines();
            ASSERT_EQ(lines.size(), logLevel >= c.threshold ? 1u : 0u);
            if (!lines.empty()) {
                EXPECT_EQ(lines[0].level, c.as);
                EXPECT_EQ(lines[0].text, "[REFERENCE] 100% done \xe2\x9c\x93");
            }
        }
    }
    settings.setLogLevel(saved);
}
