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
    ASSERT_TRUE(pool.isSmartFileLoaded(core.get()));
    EXPECT_FALSE(pool.isChanged(core.get()));

    // The user adds a bolt to the wheel.
    const NodePtr wheel = findByName(node.get(), "Wheel");
    ASSERT_TRUE(wheel);
    beginEditCP(wheel, Node::ChildrenFieldMask);
    wheel->addChild(makeNode(makeTriangle(NullFC), "Bolt"));
    endEditCP(wheel, Node::ChildrenFieldMask);
    EXPECT_TRUE(pool.isChanged(core.get()));

    const QByteArray before = fileBytes(file);
    ASSERT_TRUE(pool.saveSmartReference(core.get()));
    EXPECT_FALSE(pool.isChanged(core.get()));
    EXPECT_NE(fileBytes(file), before);
    EXPECT_EQ(core->getState(), UInt32(ksReferenceTypes::Loaded));
    EXPECT_EQ(smartRecord()->getChecksum(), ksFile::getChecksum(file.toStdString(), 0));
    EXPECT_EQ(smartRecord()->getLastModified(), UInt64(QFileInfo(file).lastModified().toSecsSinceEpoch()));
    EXPECT_EQ(smartRecord()->getState(), UInt32(ksReferenceTypes::UpToDate));

    // What was written is the edited content.
    const NodeRefPtr written = readContent(file);
    ASSERT_TRUE(written);
    EXPECT_TRUE(findByName(written.get(), "Bolt"));

    ASSERT_TRUE(pool.unloadSmartReference(core.get()));
    EXPECT_EQ(node->getNChildren(), 0u);
    EXPECT_EQ(core->getState(), UInt32(ksReferenceTypes::NotLoaded));
    EXPECT_FALSE(pool.isSmartFileLoaded(core.get()));

    ASSERT_TRUE(pool.loadSmartReference(core.get()));
    const NodePtr bolt = findByName(node.get(), "Bolt");
    ASSERT_TRUE(bolt);
    EXPECT_EQ(ksNodeUtils::getName(bolt->getParent()), "Wheel");
    EXPECT_EQ(bolt->getParent()->getParent(), node) << "the saved node's own root did not come back";
    EXPECT_FALSE(pool.isChanged(core.get()));
}

INSTANTIATE_TEST_SUITE_P(FileTypes, SmartFileRoundTrip, ::testing::Values("zmb", "osb", "ZMB"));

TEST_F(SmartFileSave, TheLoadedStashIsWrittenBack)
{
    ksSmartReferenceStash stash;
    stash.setEntry("variants", "red;blue");
    stash.setEntry("view", QByteArray("\0front", 6));
    const QString file = makeReferenceToContent("engine.zmb", stash);
    ksSmartFile smart(core.get());
    ASSERT_TRUE(smart.load());

    const auto stashOf = [](const QString& written) {
        ksZmbReader reader;
        EXPECT_TRUE(reader.readFile(written));
        return reader.getStash();
    };
    ASSERT_TRUE(smart.save());
    EXPECT_EQ(stashOf(file), stash);
    ASSERT_TRUE(smart.saveAs(path("copy.zmb")));
    EXPECT_EQ(stashOf(path("copy.zmb")), stash);
}

TEST_F(SmartFileSave, SaveAsWritesElsewhereAndLeavesTheReferenceAlone)
{
    const QString file = makeReferenceToContent();
    ksSmartFile smart(core.get());
    ASSERT_TRUE(smart.load());
    ASSERT_TRUE(smart.unload());
    beginEditCP(node.get(), Node::ChildrenFieldMask);
    node->addChild(makeNode(makeTriangle(NullFC), "Sketch"));
    endEditCP(node.get(), Node::ChildrenFieldMask);
    const UInt32 checksum = smartRecord()->getChecksum();
    const UInt64 time = smartRecord()->getLastModified();
    const QByteArray original = fileBytes(file);

    for (const char* name : {"deep/er/copy.osb", "deep/copy.zmb"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(smart.saveAs(path(name))) << "missing directories are made";
        const NodeRefPtr written = readContent(path(name));
        ASSERT_TRUE(written);
        EXPECT_TRUE(findByName(written.get(), "Sketch"));
    }
    EXPECT_FALSE(smart.isLoaded());
    EXPECT_EQ(core->getState(), UInt32(ksReferenceTypes::NotLoaded));
    EXPECT_EQ(smartRecord()->getPath(), file.toStdString());
    EXPECT_EQ(smartRecord()->getChecksum(), checksum);
    EXPECT_EQ(smartRecord()->getLastModified(), time);
    EXPECT_EQ(fileBytes(file), original);
}

// root
// +- node "Engine" (smart, loaded from engine.zmb)
//    +- "Body", "Wheel" (content)
//    +- pump "Pump" (smart record -> pump.zmb, loaded)
//       +- "Impeller"
TEST_F(SmartFileSave, NestedSmartReferencesKeepTheirChangeMark)
{
    const QString file = makeReferenceToContent();
    ksReferencePool& pool = ksReferencePool::instance();
    ASSERT_TRUE(pool.loadSmartReference(core.get()));

    const QString pumpFile = path("pump.zmb");
    NodeRefPtr pumpContent = makeNode(Group::create(), "Root");
    pumpContent->addChild(makeNode(makeTriangle(NullFC), "Impeller"));
    ASSERT_TRUE(writeContent(pumpFile, pumpContent.get()));
    const NodeRefPtr pump =
        addSmartReference(node.get(), "Pump", pumpFile.toStdString(), ksReferenceTypes::NotLoaded, false);
    const ExtReferenceRefPtr pumpCore(ExtReferencePtr::dcast(pump->getCore()));
    const FileReferencePtr pumpRecord = pumpCore->getSmartFile();
    ASSERT_TRUE(pool.loadSmartReference(pumpCore.get()));
    ASSERT_TRUE(pool.saveSmartReference(core.get()));
    ASSERT_FALSE(pool.isChanged(core.get()));
    ASSERT_FALSE(pool.isChanged(pumpCore.get()));

    ksNodeUtils::setName(findByName(node.get(), "Body"), "Hood");
    ksNodeUtils::setName(findByName(pump.get(), "Impeller"), "Rotor");
    ASSERT_TRUE(pool.isChanged(core.get()));
    ASSERT_TRUE(pool.isChanged(pumpCore.get()));

    ASSERT_TRUE(pool.saveSmartReference(core.get()));
    EXPECT_FALSE(pool.isChanged(core.get()));
    EXPECT_TRUE(pool.isChanged(pumpCore.get())) << "saved on its own, not with the engine";
    EXPECT_EQ(pumpRecord->getChecksum(), ksFile::getChecksum(pumpFile.toStdString(), 0)) << "not rewritten";
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
    setName(paint.get(), "Paint");
    paint->setEnvironment(MaterialRefPtr(defaultEnvironment));
    UEnvironmentMaterialRefPtr studio = UEnvironmentMaterial::create();
    setName(studio.get(), "Studio");
    UBRDFMaterialRefPtr chrome = UBRDFMaterial::create();
    setName(chrome.get(), "Chrome");
    chrome->setEnvironment(studio);
    beginEditCP(node.get(), Node::ChildrenFieldMask);
    node->addChild(makeNode(makeTriangle(paint), "Body"));
    node->addChild(makeNode(makeTriangle(chrome), "Trim"));
    endEditCP(node.get(), Node::ChildrenFieldMask);

    ksSmartFile smart(core.get());
    ASSERT_TRUE(smart.save());
    EXPECT_EQ(paint->getEnvironment(), defaultEnvironment) << "given back after the write";
    EXPECT_EQ(chrome->getEnvironment(), studio);

    EXPECT_EQ(fileBytes(file).indexOf("DefaultEnvironment"), -1);
    EXPECT_NE(fileBytes(file).indexOf("Studio"), -1);

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

TEST_F(SmartFileSave, IncrementalSavingKeepsThePreviousVersion)
{
    const QString file = makeReferenceToContent();
    const QByteArray previous = fileBytes(file);
    ksSmartFile smart(core.get());
    ASSERT_TRUE(smart.load());
    ksNodeUtils::setName(findByName(node.get(), "Body"), "Hood");

    ksFileIO::setIncrementalSaveEnabled(true);
    ASSERT_TRUE(smart.save());
    EXPECT_EQ(filesIn(path(".")), (QStringList{"engine.001.zmb", "engine.zmb"}));
    EXPECT_EQ(fileBytes(path("engine.001.zmb")), previous);
    EXPECT_TRUE(fileHasNode(file, "Hood"));
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
               && smart->isLoaded() && findByName(node.get(), "Hood");
    }

    QString file;
    QByteArray previous;
    UInt32 checksum = 0;
    std::unique_ptr<ksSmartFile> smart;
};

TEST_F(SmartFileSaveFailure, AFullDiskWithIncrementalSavingLeavesThePreviousFile)
{
    // Large enough that the write cannot fit under the limit.
    GeometryRefPtr big = makeTriangle(NullFC);
    std::vector<Vec3f> positions(200000);
    for (std::size_t i = 0; i < positions.size(); ++i)
        positions[i] = Vec3f(float(i), float(i * 7 % 13), float(i % 101));
    big->setPositions(std::move(positions));
    beginEditCP(node.get(), Node::ChildrenFieldMask);
    node->addChild(makeNode(big, "Big"));
    endEditCP(node.get(), Node::ChildrenFieldMask);
    ksFileIO::setIncrementalSaveEnabled(true);

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
}

TEST_F(SmartFileSaveFailure, APathThatIsADirectoryCannotBeWritten)
{
    for (const char* name : {"dir.zmb", "dir.osb"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(QDir().mkpath(path(name)));
        beginEditCP(smartRecord(), FileReference::PathFieldMask);
        smartRecord()->setPath(path(name).toStdString());
        endEditCP(smartRecord(), FileReference::PathFieldMask);
        EXPECT_FALSE(smart->save());
        EXPECT_TRUE(unchanged());
        EXPECT_TRUE(QFileInfo(path(name)).isDir());
    }
    EXPECT_EQ(fileBytes(file), previous);
}

TEST_F(SmartFileSaveFailure, OtherFileTypesAreNotWritten)
{
    for (const char* name : {"engine.txt", "engine", "engine.zmb.bak"}) {
        SCOPED_TRACE(name);
        LogRecorder log;
        EXPECT_FALSE(smart->saveAs(path(name)));
        EXPECT_FALSE(QFileInfo::exists(path(name)));
        EXPECT_TRUE(log.problems().empty());
    }
    beginEditCP(smartRecord(), FileReference::PathFieldMask);
    smartRecord()->setPath(path("engine.obj").toStdString());
    endEditCP(smartRecord(), FileReference::PathFieldMask);
    EXPECT_FALSE(smart->save());
    EXPECT_TRUE(unchanged());
    EXPECT_FALSE(QFileInfo::exists(path("engine.obj")));
}

TEST_F(SmartFileSaveFailure, AnEmptyPathOrAnUncreatableDirectoryIsReported)
{
    {
        LogRecorder log;
        EXPECT_FALSE(smart->saveAs(QString()));
        EXPECT_EQ(log.problems(), std::vector<std::string>{"Save: Can't write file. Path is empty."});
    }
    {
        // A file stands where a directory would have to be made.
        const QString target = path("engine.zmb/parts/engine.zmb");
        LogRecorder log;
        EXPECT_FALSE(smart->saveAs(target));
        EXPECT_EQ(log.problems(), std::vector<std::string>{"Save: Can't write file " + target.toStdString()
                                                        + ". Unable to create path."});
    }
    {
        beginEditCP(smartRecord(), FileReference::PathFieldMask);
        smartRecord()->setPath("");
        endEditCP(smartRecord(), FileReference::PathFieldMask);
        LogRecorder log;
        EXPECT_FALSE(smart->save());
        EXPECT_EQ(log.problems(), std::vector<std::string>{"Save: Can't write file. Path is empty."});
        EXPECT_TRUE(unchanged());
    }
    EXPECT_EQ(fileBytes(file), previous);
}

} // namespace
