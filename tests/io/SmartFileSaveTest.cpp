// Licensed under the MIT licence; see LICENSE.
// Saving smart references: the edit-save-reload flow through the reference
// pool, what the files hold, and writes that fail.
#include "SmartFileTestSupport.h"

#include "nodeutils/ksDefaultEnvironment.h"
#include "utils/ksFile.h"

using namespace osg;
using namespace smartfiletest;

namespace {

using SmartFileSave = SmartFileTest;

// The whole life of a smart reference, once per file type.
class SmartFileRoundTrip : public SmartFileTest, public ::testing::WithParamInterface<const char*>
{
};

TEST_P(SmartFileRoundTrip, EditedContentIsSavedAndComesBackAfterAReload)
{
    const QString file = makeReferenceToContent(QString("engine.") + GetParam());
    ksReferencePool& pool = ksReferencePool::instance();

    ASSERT_TRUE(pool.loadSmartReference(core.get()));
    EXPECT_FALSE(pool.isChanged(core.get()));
    // The user adds a bolt to the wheel.
    const NodePtr wheel = findByName(node.get(), "Wheel");
    ASSERT_TRUE(wheel);
    makeNode(makeTriangle(), "Bolt", wheel);
    EXPECT_TRUE(pool.isChanged(core.get()));

    ASSERT_TRUE(pool.saveSmartReference(core.get()));
    EXPECT_FALSE(pool.isChanged(core.get()));
    EXPECT_EQ(core->getState(), UInt32(ksReferenceTypes::Loaded));
    EXPECT_EQ(smartRecord()->getChecksum(), ksFile::getChecksum(file.toStdString(), 0));
    EXPECT_EQ(smartRecord()->getLastModified(), UInt64(QFileInfo(file).lastModified().toSecsSinceEpoch()));
    EXPECT_EQ(smartRecord()->getState(), UInt32(ksReferenceTypes::UpToDate));

    ASSERT_TRUE(pool.unloadSmartReference(core.get()));
    ASSERT_TRUE(pool.loadSmartReference(core.get()));
    const NodePtr bolt = findByName(node.get(), "Bolt");
    ASSERT_TRUE(bolt);
    EXPECT_EQ(ksNodeUtils::getName(bolt->getParent()), "Wheel");
    EXPECT_EQ(bolt->getParent()->getParent(), node) << "the saved node's own root did not come back";
    EXPECT_FALSE(pool.isChanged(core.get()));
}

INSTANTIATE_TEST_SUITE_P(FileTypes, SmartFileRoundTrip, ::testing::Values("zmb", "osb", "ZMB"));

TEST_F(SmartFileSave, SaveAsWritesElsewhereWithTheLoadedStashAndLeavesTheReferenceAlone)
{
    ksSmartReferenceStash stash;
    stash.setEntry("variants", "red;blue");
    stash.setEntry("view", QByteArray("\0front", 6));
    const QString file = makeReferenceToContent("engine.zmb", stash);
    ksSmartFile smart(core.get());
    ASSERT_TRUE(smart.load());
    ASSERT_TRUE(smart.save());
    const auto stashOf = [](const QString& written) {
        ksZmbReader reader;
        return reader.readFile(written) ? reader.getStash() : ksSmartReferenceStash();
    };
    EXPECT_EQ(stashOf(file), stash);

    ksNodeUtils::setName(findByName(node.get(), "Body"), "Sketch");
    const UInt32 checksum = smartRecord()->getChecksum();
    const UInt64 time = smartRecord()->getLastModified();
    const QByteArray original = fileBytes(file);
    for (const char* name : {"deep/er/copy.osb", "deep/copy.zmb"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(smart.saveAs(path(name))) << "missing directories are made";
        EXPECT_TRUE(fileHasNode(path(name), "Sketch"));
    }
    EXPECT_EQ(stashOf(path("deep/copy.zmb")), stash);
    EXPECT_EQ(core->getState(), UInt32(ksReferenceTypes::Loaded));
    EXPECT_EQ(smartRecord()->getPath(), file.toStdString());
    EXPECT_EQ(smartRecord()->getChecksum(), checksum);
    EXPECT_EQ(smartRecord()->getLastModified(), time);
    EXPECT_EQ(fileBytes(file), original);
}

// "Engine" (loaded from engine.zmb): "Body", "Wheel", "Pump" (loaded from pump.zmb): "Impeller"
TEST_F(SmartFileSave, NestedSmartReferencesKeepTheirChangeMark)
{
    makeReferenceToContent();
    ksReferencePool& pool = ksReferencePool::instance();
    ASSERT_TRUE(pool.loadSmartReference(core.get()));

    const QString pumpFile = path("pump.zmb");
    NodeRefPtr pumpContent = makeNode(Group::create(), "Root");
    makeNode(makeTriangle(), "Impeller", pumpContent.get());
    ASSERT_TRUE(writeContent(pumpFile, pumpContent.get()));
    const NodeRefPtr pump =
        addSmartReference(node.get(), "Pump", pumpFile.toStdString(), ksReferenceTypes::NotLoaded, false);
    const ExtReferenceRefPtr pumpCore(ExtReferencePtr::dcast(pump->getCore()));
    ASSERT_TRUE(pool.loadSmartReference(pumpCore.get()));
    ASSERT_TRUE(pool.saveSmartReference(core.get()));

    ksNodeUtils::setName(findByName(node.get(), "Body"), "Hood");
    ksNodeUtils::setName(findByName(pump.get(), "Impeller"), "Rotor");
    ASSERT_TRUE(pool.isChanged(core.get()));
    ASSERT_TRUE(pool.isChanged(pumpCore.get()));

    ASSERT_TRUE(pool.saveSmartReference(core.get()));
    EXPECT_FALSE(pool.isChanged(core.get()));
    EXPECT_TRUE(pool.isChanged(pumpCore.get())) << "saved on its own, not with the engine";
    EXPECT_FALSE(fileHasNode(pumpFile, "Rotor"));
    ASSERT_TRUE(pool.saveSmartReference(pumpCore.get()));
    EXPECT_FALSE(pool.isChanged(pumpCore.get()));
    EXPECT_TRUE(fileHasNode(pumpFile, "Rotor"));
}

// BRDF materials lit by the host's default environment:
//
// root "Root"
// +- "Body" (Geometry -> paint "Paint" -> default environment)
// +- "Trim" (Geometry -> chrome "Chrome" -> studio "Studio")
TEST_F(SmartFileSave, TheDefaultEnvironmentStaysOutOfOsbFiles)
{
    const QString file = path("engine.osb");
    makeReference(file);
    const UEnvironmentMaterialPtr defaultEnvironment = ksDefaultEnvironment::getDefault();
    UBRDFMaterialRefPtr paint = UBRDFMaterial::create();
    paint->setEnvironment(MaterialRefPtr(defaultEnvironment));
    UEnvironmentMaterialRefPtr studio = UEnvironmentMaterial::create();
    setName(studio.get(), "Studio");
    UBRDFMaterialRefPtr chrome = UBRDFMaterial::create();
    chrome->setEnvironment(studio);
    makeNode(makeTriangle(paint), "Body", node.get());
    makeNode(makeTriangle(chrome), "Trim", node.get());

    ASSERT_TRUE(ksSmartFile(core.get()).save());
    EXPECT_EQ(paint->getEnvironment(), defaultEnvironment) << "given back after the write";
    EXPECT_EQ(chrome->getEnvironment(), studio);
    EXPECT_EQ(fileBytes(file).indexOf("DefaultEnvironment"), -1);

    // Read back, the material is lit by the host's default again, not by a
    // copy of it from the file.
    const NodeRefPtr written = readContent(file);
    ASSERT_TRUE(written);
    const auto materialOf = [&](const char* name) {
        return UBRDFMaterialPtr::dcast(GeometryPtr::dcast(findByName(written.get(), name)->getCore())->getMaterial());
    };
    EXPECT_EQ(materialOf("Body")->getEnvironment(), defaultEnvironment);
    ASSERT_TRUE(materialOf("Trim")->getEnvironment());
    EXPECT_NE(materialOf("Trim")->getEnvironment(), studio);
    EXPECT_EQ(getName(materialOf("Trim")->getEnvironment()), "Studio");
}

// Writes that fail leave the scene, the reference and the file as they were.
class SmartFileSaveFailure : public SmartFileTest
{
protected:
    void SetUp() override
    {
        SmartFileTest::SetUp();
        file = makeReferenceToContent();
        previous = fileBytes(file);
        smart.reset(new ksSmartFile(core.get()));
        ASSERT_TRUE(smart->load());
        ksNodeUtils::setName(findByName(node.get(), "Body"), "Hood");
        // A state that a successful save would change.
        beginEditCP(core.get(), ExtReference::StateFieldMask);
        core->setState(ksReferenceTypes::Undefined);
        endEditCP(core.get(), ExtReference::StateFieldMask);
        checksum = smartRecord()->getChecksum();
    }

    void TearDown() override
    {
        smart.reset();
        SmartFileTest::TearDown();
    }

    // Nothing that a failed save may not touch has changed.
    bool unchanged() const
    {
        return core->getState() == ksReferenceTypes::Undefined && smartRecord()->getChecksum() == checksum
               && smart->isLoaded() && findByName(node.get(), "Hood") && fileBytes(file) == previous;
    }

    QString file;
    QByteArray previous;
    UInt32 checksum = 0;
    std::unique_ptr<ksSmartFile> smart;
};

TEST_F(SmartFileSaveFailure, IncrementalSavingKeepsThePreviousVersionEvenOnAFullDisk)
{
    ksFileIO::setIncrementalSaveEnabled(true);
    // Large enough that the write cannot fit under the limit.
    GeometryRefPtr big = makeTriangle();
    std::vector<Vec3f> positions(200000);
    for (std::size_t i = 0; i < positions.size(); ++i)
        positions[i] = Vec3f(float(i), float(i * 7 % 13), float(i % 101));
    big->setPositions(std::move(positions));
    const NodeRefPtr bigNode = makeNode(big, "Big", node.get());

    const int code = runInChild([&] {
        limitFileSize(64 * 1024);
        LogRecorder log;
        if (smart->save())
            return 1;
        if (!unchanged())
            return 2;
        return log.problems().size() == 1 && log.problems()[0].rfind("Unable to save", 0) == 0 ? 0 : 3;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(fileBytes(file), previous);
    EXPECT_EQ(filesIn(path(".")), QStringList{"engine.zmb"}) << "no increment or temporary file left";

    // With room to write, the previous version is kept beside the new one.
    beginEditCP(node.get(), Node::ChildrenFieldMask);
    node->subChild(bigNode);
    endEditCP(node.get(), Node::ChildrenFieldMask);
    ASSERT_TRUE(smart->save());
    EXPECT_EQ(filesIn(path(".")), (QStringList{"engine.001.zmb", "engine.zmb"}));
    EXPECT_EQ(fileBytes(path("engine.001.zmb")), previous);
    EXPECT_TRUE(fileHasNode(file, "Hood"));
}

TEST_F(SmartFileSaveFailure, OtherFileTypesUncreatableDirectoriesAndEmptyPathsAreNotWritten)
{
    for (const char* name : {"engine.txt", "engine", "engine.zmb.bak"}) {
        SCOPED_TRACE(name);
        LogRecorder log;
        EXPECT_FALSE(smart->saveAs(path(name)));
        EXPECT_FALSE(QFileInfo::exists(path(name)));
        EXPECT_TRUE(log.problems().empty());
    }
    // A file stands where a directory would have to be made.
    const QString target = path("engine.zmb/parts/engine.zmb");
    setSmartPath(target);
    {
        LogRecorder log;
        EXPECT_FALSE(smart->save());
        EXPECT_EQ(log.problems(), std::vector<std::string>{"Save: Can't write file " + target.toStdString()
                                                        + ". Unable to create path."});
    }
    setSmartPath(QString());
    LogRecorder log;
    EXPECT_FALSE(smart->save());
    EXPECT_EQ(log.problems(), std::vector<std::string>{"Save: Can't write file. Path is empty."});
    EXPECT_TRUE(unchanged());
}

} // namespace
