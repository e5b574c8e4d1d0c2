// Licensed under the MIT licence; see LICENSE.
// Loading and saving smart references: file types, bad files, the batched
// material update, the edit-save-reload flow and writes that fail.
#include "SmartFileTestSupport.h"

#include "import/ksQorHelper.h"
#include "kernel/ksController.h"
#include "nodeutils/ksDefaultEnvironment.h"
#include "nodeutils/ksMaterials.h"
#include "utils/ksFile.h"

#include <set>

using namespace osg;
using namespace smartfiletest;

namespace {

using SmartFileLoad = SmartFileTest;

TEST_F(SmartFileLoad, LoadsUnderTheNodeAndItsClonesRefreshesTheRecordsAndUnloadDeletes)
{
    ksSmartReferenceStash stash;
    stash.setEntry("view", "front");
    const QString file = makeReferenceToContent("engine.zmb", stash);
    addSourceRecord(path("engine.stp").toStdString());
    ksSmartFile smart(core.get());
    EXPECT_FALSE(smart.unload()) << "nothing loaded";
    ASSERT_TRUE(smart.load());
    EXPECT_EQ(childNames(node.get()), (std::vector<std::string>{"Body", "Wheel"}));
    EXPECT_EQ(core->getState(), UInt32(ksReferenceTypes::Loaded));
    EXPECT_EQ(smartRecord()->getChecksum(), ksFile::getChecksum(file.toStdString(), 0));
    EXPECT_EQ(smartRecord()->getLastModified(), UInt64(QFileInfo(file).lastModified().toSecsSinceEpoch()));
    EXPECT_EQ(smartRecord()->getState(), UInt32(ksReferenceTypes::UpToDate));
    EXPECT_EQ(core->getSourceFile()->getState(), UInt32(ksReferenceTypes::Missing));

    // Loaded already: nothing is read or added again.
    const NodePtr body = node->getChild(0);
    const UInt32 bodyId = body.getFieldContainerId();
    ASSERT_TRUE(QFile::remove(file));
    EXPECT_TRUE(smart.load());
    EXPECT_EQ(node->getNChildren(), 2u);
    EXPECT_EQ(node->getChild(0), body);
    runEventLoopTurn();

    ASSERT_TRUE(smart.unload());
    EXPECT_EQ(node->getNChildren(), 0u);
    EXPECT_FALSE(FieldContainerFactory::the()->getContainer(bodyId)) << "deleted, not just taken out";
    EXPECT_EQ(core->getState(), UInt32(ksReferenceTypes::NotLoaded));
    EXPECT_TRUE(ksMaterials::getMaterialPoolMaterials().empty()) << "the content's materials left the pool";
    ASSERT_TRUE(smart.saveAs(path("after-unload.zmb")));
    const ksZmbReadResult written = ksZmbReader::read(path("after-unload.zmb"));
    ASSERT_TRUE(written) << written.message;
    EXPECT_TRUE(written.stash.isEmpty()) << "the stash went with the content";
    // Clones of the node show what is loaded under it.
    const NodeRefPtr clone = add(ksScenegraph::getRoot(), "Engine copy", core);
    ASSERT_TRUE(writeContent(file, makeContent()));
    ASSERT_TRUE(smart.load());
    EXPECT_EQ(childNames(clone.get()), (std::vector<std::string>{"Body", "Wheel"}));
    EXPECT_EQ(clone->getChild(1)->getCore(), node->getChild(1)->getCore());
    ASSERT_TRUE(smart.unload());
    EXPECT_EQ(clone->getNChildren(), 0u);
}

// root "Assembly" (the converter's mark on ".osb" and ".zmb" alike)
// +- "Empty" (Group, no children)
// +- "Wheel" (Transform3D, FileInfo "/cad/wheel.stp")
// +- "Shell" (Geometry, FileInfo "/parts/shell.osb")
TEST_F(SmartFileLoad, ConvertedOsbTreesAreOptimisedAndFileInformationBecomesSourceReferences)
{
    NodeRefPtr root = add(osg::NullFC, "Assembly", Group::create());
    root->setExternalFlags(ksQorHelper::ConvertedTreeFlag);
    add(root.get(), "Empty", Group::create());
    const NodeRefPtr wheel = add(root.get(), "Wheel", Transform3D::create());
    add(wheel.get(), "Rim", makeTriangle());
    const NodeRefPtr shell = add(root.get(), "Shell", makeTriangle());
    for (const auto& [n, info] : {std::make_pair(wheel, "/cad/wheel.stp"), std::make_pair(shell, "/parts/shell.osb")}) {
        FileInfoRefPtr attachment = FileInfo::create();
        attachment->setPath(info);
        n->addAttachment(attachment);
    }
    for (const char* suffix : {"osb", "zmb"}) {
        SCOPED_TRACE(suffix);
        const QString file = path(QString("converted.") + suffix);
        ASSERT_TRUE(writeContent(file, root));
        makeReference(file);
        ksSmartFile smart(core.get());
        ASSERT_TRUE(smart.load());
        ASSERT_EQ(node->getNChildren(), 1u);
        const NodePtr loaded = node->getChild(0);
        const bool osb = *suffix == 'o';
        EXPECT_EQ(ksQorHelper::isConvertedQorTree(loaded), !osb);
        const std::vector<std::string> names =
            osb ? std::vector<std::string>{"Wheel", "Shell"} : std::vector<std::string>{"Empty", "Wheel", "Shell"};
        EXPECT_EQ(childNames(loaded), names);
        const ExtReferencePtr wheelCore = ExtReferencePtr::dcast(findByName(loaded, "Wheel")->getCore());
        ASSERT_TRUE(wheelCore && wheelCore->getSourceFile());
        EXPECT_EQ(wheelCore->getSourceFile()->getPath(), "/cad/wheel.stp");
        EXPECT_FALSE(ExtReferencePtr::dcast(findByName(loaded, "Shell")->getCore())) << "native files stay";
    }
}

// Each file is loaded by a fresh reference that also has a source record.
TEST_F(SmartFileLoad, TypeAndRootFollowSuffixAndRootNameAndBadFilesChangeNothing)
{
    const auto bytesOf = [&](const char* format, const char* rootName) {
        const QString written = path(QString("written.") + format);
        EXPECT_TRUE(writeContent(written, makeContent(rootName)));
        return fileBytes(written);
    };
    const QByteArray zmb = bytesOf("zmb", "Root");
    struct Case {
        const char* name;
        QByteArray bytes; // null: no file
        std::vector<std::string> children; // none: the load fails
        bool logged;
    };
    const Case cases[] = {
        {"a.Zmb", zmb, {"Body", "Wheel"}, false},
        {"b.OSB", bytesOf("osb", "Assembly"), {"Assembly"}, false},
        {"c.zmb", bytesOf("zmb", "root"), {"root"}, false}, // the name is compared exactly
        {"d.zmb.txt", zmb, {}, false},
        {"missing.zmb", QByteArray(), {}, true},
        {"truncated.zmb", zmb.chopped(7), {}, true},
        {"garbage.osb", "not a scene file at all", {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString file = path(c.name);
        if (!c.bytes.isNull()) {
            ASSERT_TRUE(writeFile(file, c.bytes));
        }
        makeReference(file);
        addSourceRecord("/cad/engine.stp");
        const std::size_t poolSize = ksMaterials::getMaterialPoolMaterials().size();
        LogRecorder log;

        const bool loads = !c.children.empty();
        const ksFileResult loaded = ksSmartFile(core.get()).load();
        EXPECT_EQ(bool(loaded), loads);
        EXPECT_EQ(childNames(node.get()), c.children);
        EXPECT_EQ(core->getState(), UInt32(loads ? ksReferenceTypes::Loaded : ksReferenceTypes::NotLoaded));
        EXPECT_EQ(smartRecord()->getChecksum(), loads ? ksFile::getChecksum(file.toStdString(), 0) : 0u);
        EXPECT_EQ(smartRecord()->getState(), UInt32(ksReferenceTypes::UpToDate));
        EXPECT_EQ(core->getSourceFile()->getPath(), "/cad/engine.stp");
        EXPECT_EQ(fileBytes(file), c.bytes);
        if (!loads) {
            EXPECT_EQ(ksMaterials::getMaterialPoolMaterials().size(), poolSize);
            EXPECT_EQ(loaded.message.toStdString().rfind("Unable to load " + file.toStdString() + ": ", 0), 0u)
                << loaded.message.toStdString();
        }
        ASSERT_EQ(log.problems().size(), c.logged ? 1u : 0u);
        if (c.logged) {
            EXPECT_EQ(loaded.message.toStdString(), log.problems()[0]) << "the result says what the log says";
        }
        ksScenegraph::newScene();
    }
}

TEST_F(SmartFileLoad, LoadsInOneTurnEndInOneMaterialUpdate)
{
    makeReferenceToContent();
    // Stands in for the host's handler.
    int updates = 0;
    const ksSubscription handler =
        ksController::addHandler("updateMaterials", [&](ksMessage&, ksModuleBase*) { ++updates; });
    // The environments published with every field, as seen from the node.
    std::set<std::string> environmentEdits;
    ChangeSubscription watch = ChangeObservers::subscribe(node.get(), [&](const ChangeEvent& event) {
        if (UEnvironmentMaterialPtr::dcast(event.container) && event.mask == FieldBits::AllFields)
            environmentEdits.insert(getName(AttachmentContainerPtr::dcast(event.container)));
    });
    ksSmartFile smart(core.get());

    ASSERT_TRUE(smart.load());
    ASSERT_TRUE(smart.unload());
    ASSERT_TRUE(smart.load());
    EXPECT_EQ(updates, 0) << "nothing is sent before the event loop turns";
    EXPECT_TRUE(environmentEdits.empty());

    runEventLoopTurn();
    EXPECT_EQ(updates, 1);
    // Only the environment that is in the scene now is seen from the node.
    EXPECT_EQ(environmentEdits, std::set<std::string>{"Studio"});
    EXPECT_EQ(ksMaterials::getMaterialPoolMaterials().size(), 2u) << "the first load's materials were dropped";
    runEventLoopTurn();
    EXPECT_EQ(updates, 1) << "one update per batch";
    ASSERT_TRUE(smart.unload());
    ASSERT_TRUE(smart.load());
    runEventLoopTurn();
    EXPECT_EQ(updates, 2) << "the next load starts a new batch";
}

using SmartFileSave = SmartFileTest;

// A file whose root is itself a loaded reference (as a reference saved with
// its own core writes it) with a source record: a reference without a source
// takes that record; one with a source keeps its record and takes the fields.
TEST_F(SmartFileLoad, TheLoadedRootsSourceRecordIsTakenOverOrCopied)
{
    for (const bool ownSource : {false, true}) {
        SCOPED_TRACE(ownSource ? "own source" : "no source");
        const QString sourceFile = path("engine.stp");
        ASSERT_TRUE(ownSource ? QFile::remove(sourceFile) : writeFile(sourceFile, "solid engine"));
        FileReferenceRefPtr loadedSource = referencenodes::record(sourceFile.toStdString(), ksReferenceTypes::Outdated);
        loadedSource->setChecksum(4242);
        loadedSource->setOwner("alice");
        loadedSource->setImportDate(1234);
        ExtReferenceRefPtr loadedCore = ExtReference::create();
        loadedCore->setState(ksReferenceTypes::Loaded);
        loadedCore->setSourceFile(loadedSource);
        const NodeRefPtr root = add(osg::NullFC, "Engine", loadedCore);
        root->addChild(makeContent()->getChild(0));
        ASSERT_TRUE(writeContent(path("engine.zmb"), root));
        makeReference(path("engine.zmb"));
        if (ownSource)
            addSourceRecord("/old/engine.stp");
        const FileReferencePtr before = core->getSourceFile();

        ksSmartFile smart(core.get());
        ASSERT_TRUE(smart.load());
        EXPECT_EQ(childNames(node.get()), std::vector<std::string>{"Body"});
        const FileReferencePtr source = core->getSourceFile();
        ASSERT_TRUE(source);
        EXPECT_EQ(source->getPath(), sourceFile.toStdString());
        if (ownSource) {
            EXPECT_EQ(source, before) << "the record is kept, its fields are copied";
            EXPECT_EQ(source->getOwner(), "alice");
            EXPECT_EQ(source->getChecksum(), 4242u);
            EXPECT_NE(source->getImportDate(), 1234u) << "not carried over";
            EXPECT_EQ(source->getState(), UInt32(ksReferenceTypes::Missing)) << "recomputed from the disk";
        } else {
            EXPECT_EQ(source->getImportDate(), 1234u) << "the loaded record itself";
            EXPECT_EQ(source->getState(), UInt32(ksReferenceTypes::UpToDate)) << "refreshed from the disk";
            EXPECT_EQ(source->getUsers().size(), 1u) << "the loaded core is gone";
        }
        node.reset();
        core.reset();
        ksScenegraph::newScene();
    }
}

// Materials lit by the host's default environment are written without it
// and lit by the host's own default again when read back.
TEST_F(SmartFileSave, TheDefaultEnvironmentStaysOutOfOsbFiles)
{
    const QString file = path("engine.osb");
    makeReference(file);
    const UEnvironmentMaterialPtr defaultEnvironment = ksDefaultEnvironment::getDefault();
    UBRDFMaterialRefPtr paint = UBRDFMaterial::create();
    paint->setEnvironment(MaterialRefPtr(defaultEnvironment));
    beginEditCP(node.get(), Node::ChildrenFieldMask);
    node->addChild(add(osg::NullFC, "Body", makeTriangle(paint)));
    node->addChild(makeContent()->getChild(0));
    endEditCP(node.get(), Node::ChildrenFieldMask);

    ksSmartFile smart(core.get());
    ASSERT_TRUE(smart.save());
    EXPECT_EQ(paint->getEnvironment(), defaultEnvironment) << "given back after the write";
    EXPECT_EQ(fileBytes(file).indexOf("DefaultEnvironment"), -1);
    EXPECT_NE(fileBytes(file).indexOf("Studio"), -1);
    const NodeRefPtr written = readContent(file);
    ASSERT_TRUE(written);
    const auto environmentOf = [&](const NodePtr& geometryNode) {
        return UBRDFMaterialPtr::dcast(GeometryPtr::dcast(geometryNode->getCore())->getMaterial())->getEnvironment();
    };
    EXPECT_EQ(environmentOf(written->getChild(0)), defaultEnvironment);
    EXPECT_EQ(getName(AttachmentContainerPtr::dcast(environmentOf(written->getChild(1)))), "Studio");
}

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
        return ksZmbReader::read(written).stash;
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

// The whole life of a smart reference, once per file type:
// "Engine" (loaded from engine.<type>): "Body", "Wheel", "Pump" (loaded from pump.zmb): "Impeller"
class SmartFileRoundTrip : public SmartFileTest, public ::testing::WithParamInterface<const char*>
{
};

TEST_P(SmartFileRoundTrip, EditsAreSavedEachInItsOwnFileAndComeBackAfterAReload)
{
    const QString engineFile = makeReferenceToContent(QString("engine.") + GetParam());
    ksReferencePool& pool = ksReferencePool::instance();
    ASSERT_TRUE(pool.loadSmartReference(core.get()));
    EXPECT_FALSE(pool.isChanged(core.get()));

    const QString pumpFile = path("pump.zmb");
    NodeRefPtr pumpContent = add(osg::NullFC, "Root", Group::create());
    add(pumpContent.get(), "Impeller", makeTriangle());
    ASSERT_TRUE(writeContent(pumpFile, pumpContent));
    const NodeRefPtr pump =
        addSmartReference(node.get(), "Pump", pumpFile.toStdString(), ksReferenceTypes::NotLoaded, false);
    const ExtReferenceRefPtr pumpCore(ExtReferencePtr::dcast(pump->getCore()));
    ASSERT_TRUE(pool.loadSmartReference(pumpCore.get()));
    ASSERT_TRUE(pool.saveSmartReference(core.get()));

    // The user adds a bolt to the wheel and renames a part in each file.
    add(findByName(node.get(), "Wheel"), "Bolt", makeTriangle());
    ksNodeUtils::setName(findByName(node.get(), "Body"), "Hood");
    ksNodeUtils::setName(findByName(pump.get(), "Impeller"), "Rotor");
    EXPECT_TRUE(pool.isChanged(core.get()));

    ASSERT_TRUE(pool.saveSmartReference(core.get()));
    EXPECT_FALSE(pool.isChanged(core.get()));
    EXPECT_EQ(core->getState(), UInt32(ksReferenceTypes::Loaded));
    EXPECT_EQ(smartRecord()->getChecksum(), ksFile::getChecksum(engineFile.toStdString(), 0));
    EXPECT_EQ(smartRecord()->getLastModified(), UInt64(QFileInfo(engineFile).lastModified().toSecsSinceEpoch()));
    EXPECT_EQ(smartRecord()->getState(), UInt32(ksReferenceTypes::UpToDate));
    EXPECT_TRUE(pool.isChanged(pumpCore.get())) << "saved on its own, not with the engine";
    EXPECT_TRUE(fileHasNode(engineFile, "Hood"));
    EXPECT_TRUE(fileHasNode(engineFile, "Pump"));
    EXPECT_FALSE(fileHasNode(engineFile, "Rotor")) << "the pump's content is in the pump's file only";
    EXPECT_FALSE(fileHasNode(pumpFile, "Rotor"));
    ASSERT_TRUE(pool.saveSmartReference(pumpCore.get()));
    EXPECT_FALSE(pool.isChanged(pumpCore.get()));
    EXPECT_TRUE(fileHasNode(pumpFile, "Rotor"));

    ASSERT_TRUE(pool.unloadSmartReference(core.get()));
    ASSERT_TRUE(pool.loadSmartReference(core.get()));
    const NodePtr bolt = findByName(node.get(), "Bolt");
    ASSERT_TRUE(bolt);
    EXPECT_EQ(ksNodeUtils::getName(bolt->getParent()), "Wheel");
    EXPECT_EQ(bolt->getParent()->getParent(), node) << "the saved node's own root did not come back";
    EXPECT_TRUE(findByName(node.get(), "Hood"));
    EXPECT_FALSE(pool.isChanged(core.get()));
}

INSTANTIATE_TEST_SUITE_P(FileTypes, SmartFileRoundTrip, ::testing::Values("zmb", "osb", "ZMB"));

// Writes that fail leave the scene, the reference and the file as they were.
TEST_F(SmartFileSave, FailedWritesChangeNothingAndIncrementalSavingKeepsThePreviousVersion)
{
    const QString file = makeReferenceToContent();
    const QByteArray previous = fileBytes(file);
    ksSmartFile smart(core.get());
    ASSERT_TRUE(smart.load());
    ksNodeUtils::setName(findByName(node.get(), "Body"), "Hood");
    // A state that a successful save would change.
    beginEditCP(core.get(), ExtReference::StateFieldMask);
    core->setState(ksReferenceTypes::Undefined);
    endEditCP(core.get(), ExtReference::StateFieldMask);
    const UInt32 checksum = smartRecord()->getChecksum();
    const auto unchanged = [&] {
        return core->getState() == ksReferenceTypes::Undefined && smartRecord()->getChecksum() == checksum
               && smart.isLoaded() && findByName(node.get(), "Hood") && fileBytes(file) == previous;
    };

    for (const char* name : {"engine.txt", "engine", "engine.zmb.bak"}) {
        SCOPED_TRACE(name);
        LogRecorder log;
        EXPECT_FALSE(smart.saveAs(path(name)));
        EXPECT_FALSE(QFileInfo::exists(path(name)));
        EXPECT_TRUE(log.problems().empty());
    }
    // A file stands where a directory would have to be made.
    const QString target = path("engine.zmb/parts/engine.zmb");
    setSmartPath(target);
    {
        LogRecorder log;
        const ksFileResult saved = smart.save();
        EXPECT_FALSE(saved);
        EXPECT_EQ(log.problems(), std::vector<std::string>{"Save: Can't write file " + target.toStdString()
                                                        + ". Unable to create path."});
        EXPECT_EQ(log.problems(), std::vector<std::string>{saved.message.toStdString()});
    }
    setSmartPath(QString());
    {
        LogRecorder log;
        const ksFileResult saved = smart.save();
        EXPECT_FALSE(saved);
        EXPECT_EQ(log.problems(), std::vector<std::string>{"Save: Can't write file. Path is empty."});
        EXPECT_EQ(saved.message, "Save: Can't write file. Path is empty.");
        EXPECT_TRUE(unchanged());
    }

    // A full disk with incremental saving: a write too large for the limit.
    setSmartPath(file);
    ksFileIO::setIncrementalSaveEnabled(true);
    GeometryRefPtr big = makeTriangle();
    std::vector<Vec3f> positions(200000);
    for (std::size_t i = 0; i < positions.size(); ++i)
        positions[i] = Vec3f(float(i), float(i * 7 % 13), float(i % 101));
    big->setPositions(std::move(positions));
    const NodeRefPtr bigNode = add(node.get(), "Big", big);
    const int code = runInChild([&] {
        limitFileSize(64 * 1024);
        LogRecorder log;
        const ksFileResult saved = smart.save();
        if (saved)
            return 1;
        if (!unchanged())
            return 2;
        if (log.problems().size() != 1 || log.problems()[0].rfind("Unable to save", 0) != 0)
            return 3;
        return saved.message.toStdString() == log.problems()[0] ? 0 : 4;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(fileBytes(file), previous);
    EXPECT_EQ(filesIn(path(".")), QStringList{"engine.zmb"}) << "no increment or temporary file left";

    // With room to write, the previous version is kept beside the new one.
    beginEditCP(node.get(), Node::ChildrenFieldMask);
    node->subChild(bigNode);
    endEditCP(node.get(), Node::ChildrenFieldMask);
    ASSERT_TRUE(smart.save());
    EXPECT_EQ(filesIn(path(".")), (QStringList{"engine.001.zmb", "engine.zmb"}));
    EXPECT_EQ(fileBytes(path("engine.001.zmb")), previous);
    EXPECT_TRUE(fileHasNode(file, "Hood"));
}

} // namespace
