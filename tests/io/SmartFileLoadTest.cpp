// Licensed under the MIT licence; see LICENSE.
// Loading smart references: file types, what the loaded tree contributes,
// bad files, and the batched material update.
#include "SmartFileTestSupport.h"

#include "import/ksQorHelper.h"
#include "nodeutils/ksMaterials.h"
#include "utils/ksFile.h"

#include <QDateTime>

#include <set>

using namespace osg;
using namespace smartfiletest;

namespace {

using SmartFileLoad = SmartFileTest;

TEST_F(SmartFileLoad, LoadsAZmbFileUnderTheNodeAndRefreshesTheRecords)
{
    const QString file = makeReferenceToContent();
    addSourceRecord(path("engine.stp").toStdString());

    ksSmartFile smart(core.get());
    EXPECT_EQ(smart.getNode(), node);
    EXPECT_EQ(smart.getPath(), file);
    ASSERT_TRUE(smart.load());

    EXPECT_TRUE(smart.isLoaded());
    EXPECT_EQ(childNames(node.get()), (std::vector<std::string>{"Body", "Wheel"}));
    EXPECT_EQ(childNames(findByName(node.get(), "Wheel")), std::vector<std::string>{"Rim"});
    EXPECT_EQ(core->getState(), UInt32(ksReferenceTypes::Loaded));
    EXPECT_EQ(smartRecord()->getChecksum(), ksFile::getChecksum(file.toStdString(), 0));
    EXPECT_EQ(smartRecord()->getLastModified(), UInt64(QFileInfo(file).lastModified().toSecsSinceEpoch()));
    EXPECT_EQ(smartRecord()->getState(), UInt32(ksReferenceTypes::UpToDate));
    EXPECT_EQ(core->getSourceFile()->getState(), UInt32(ksReferenceTypes::Missing));

    // Loaded already: nothing is read or added again.
    const NodePtr body = node->getChild(0);
    ASSERT_TRUE(QFile::remove(file));
    EXPECT_TRUE(smart.load());
    EXPECT_EQ(node->getNChildren(), 2u);
    EXPECT_EQ(node->getChild(0), body);
}

TEST_F(SmartFileLoad, FileTypeFollowsTheSuffixInAnyLetterCase)
{
    struct Case {
        const char* name;
        const char* format; // what the bytes on disk are
        bool loads;
    };
    const Case cases[] = {
        {"a.zmb", "zmb", true},   {"b.ZMB", "zmb", true},   {"c.Zmb", "zmb", true}, {"d.osb", "osb", true},
        {"e.OSB", "osb", true},   {"f.zmb.txt", "zmb", false}, {"g.osbx", "osb", false}, {"h", "zmb", false},
        {"i.osb.", "osb", false},
    };
    Content content("Assembly");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString file = path(c.name);
        const QString written = path(QString("written.") + c.format);
        ASSERT_TRUE(writeContent(written, content.root.get()));
        ASSERT_TRUE(QFile::rename(written, file));
        makeReference(file);
        const UInt32 checksum = smartRecord()->getChecksum();

        ksSmartFile smart(core.get());
        EXPECT_EQ(smart.load(), c.loads);
        EXPECT_EQ(smart.isLoaded(), c.loads);
        EXPECT_EQ(node->getNChildren(), c.loads ? 1u : 0u);
        EXPECT_EQ(core->getState(), UInt32(c.loads ? ksReferenceTypes::Loaded : ksReferenceTypes::NotLoaded));
        if (!c.loads) {
            EXPECT_EQ(smartRecord()->getChecksum(), checksum) << "record untouched";
        }
        ksScenegraph::newScene();
    }
}

TEST_F(SmartFileLoad, MissingAndCorruptFilesFailAndChangeNothing)
{
    Content content;
    const QString good = path("good.zmb");
    ASSERT_TRUE(writeContent(good, content.root.get()));
    QByteArray truncated = fileBytes(good);
    truncated.chop(7);
    QByteArray flipped = fileBytes(good);
    flipped[flipped.size() / 2] = char(flipped[flipped.size() / 2] ^ 0x20);
    ASSERT_TRUE(writeFile(path("truncated.zmb"), truncated));
    ASSERT_TRUE(writeFile(path("flipped.zmb"), flipped));
    ASSERT_TRUE(writeFile(path("garbage.osb"), QByteArray("not a scene file at all")));

    for (const char* name : {"missing.zmb", "missing.osb", "truncated.zmb", "flipped.zmb", "garbage.osb"}) {
        SCOPED_TRACE(name);
        const QString file = path(name);
        const QByteArray before = fileBytes(file);
        makeReference(file);
        addSourceRecord("/cad/engine.stp");
        const std::size_t poolSize = ksMaterials::getMaterialPoolMaterials().size();
        LogRecorder log;

        ksSmartFile smart(core.get());
        EXPECT_FALSE(smart.load());
        EXPECT_FALSE(smart.isLoaded());
        EXPECT_EQ(node->getNChildren(), 0u);
        EXPECT_EQ(core->getState(), UInt32(ksReferenceTypes::NotLoaded));
        EXPECT_EQ(smartRecord()->getChecksum(), 0u);
        EXPECT_EQ(smartRecord()->getState(), UInt32(ksReferenceTypes::UpToDate));
        EXPECT_EQ(core->getSourceFile()->getPath(), "/cad/engine.stp");
        EXPECT_EQ(ksMaterials::getMaterialPoolMaterials().size(), poolSize);
        EXPECT_EQ(fileBytes(file), before);
        ASSERT_EQ(log.problems().size(), 1u);
        EXPECT_EQ(log.problems()[0].rfind("Unable to load " + file.toStdString() + ": ", 0), 0u) << log.problems()[0];
        ksScenegraph::newScene();
    }
}

TEST_F(SmartFileLoad, ARootNamedRootGivesItsChildrenAnyOtherRootIsAddedWhole)
{
    struct Case {
        const char* rootName;
        std::vector<std::string> children;
    };
    const Case cases[] = {
        {"Root", {"Body", "Wheel"}},
        {"root", {"root"}}, // the name is compared exactly
        {"Root ", {"Root "}},
        {"Assembly", {"Assembly"}},
        {"", {""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rootName);
        const QString file = path("content.zmb");
        Content content(c.rootName);
        ASSERT_TRUE(writeContent(file, content.root.get()));
        makeReference(file);
        ksSmartFile smart(core.get());
        ASSERT_TRUE(smart.load());
        EXPECT_EQ(childNames(node.get()), c.children);
        if (c.children.size() == 1) {
            EXPECT_EQ(childNames(node->getChild(0)), (std::vector<std::string>{"Body", "Wheel"}));
        }
        ksScenegraph::newScene();
    }
}

// A smart file whose root is itself a reference node, as a reference saved
// with its own core writes it:
//
// root "Engine" (ExtReference, source record `loadedSource` or none)
// +- "Body", "Wheel" (from Content)
class SmartFileReferenceRoot : public SmartFileTest
{
protected:
    enum Source { NoSource, SourceOnDisk, SourceMissing };

    void writeReferenceRoot(Source source)
    {
        Content content;
        ExtReferenceRefPtr loadedCore = ExtReference::create();
        loadedCore->setState(ksReferenceTypes::Loaded);
        if (source != NoSource) {
            sourceFile = path("engine.stp");
            if (source == SourceOnDisk) {
                ASSERT_TRUE(writeFile(sourceFile, "solid engine"));
            }
            FileReferenceRefPtr record = FileReference::create();
            record->setPath(sourceFile.toStdString());
            record->setRelativePath("engine.stp");
            record->setLastModified(source == SourceOnDisk ? UInt64(QFileInfo(sourceFile).lastModified().toSecsSinceEpoch())
                                                           : 1000);
            record->setChecksum(4242);
            record->setOwner("alice");
            record->setState(ksReferenceTypes::Outdated);
            record->setImportDate(1234);
            loadedCore->setSourceFile(record);
        }
        NodeRefPtr root = makeNode(loadedCore, "Engine");
        root->addChild(content.body);
        root->addChild(content.wheel);
        file = path("engine.zmb");
        ASSERT_TRUE(writeContent(file, root.get()));
    }

    QString file, sourceFile;
};

TEST_F(SmartFileReferenceRoot, UpdatesTheSourceRecordInPlace)
{
    // A source that is not on disk: what was copied is not overwritten by
    // the refresh from the disk.
    writeReferenceRoot(SourceMissing);
    makeReference(file);
    addSourceRecord("/old/engine.stp");
    const FileReferencePtr ownSource = core->getSourceFile();
    beginEditCP(ownSource);
    ownSource->setImportDate(99);
    ownSource->setOwner("bob");
    endEditCP(ownSource);

    ksSmartFile smart(core.get());
    ASSERT_TRUE(smart.load());
    EXPECT_EQ(childNames(node.get()), (std::vector<std::string>{"Body", "Wheel"}));
    ASSERT_EQ(core->getSourceFile(), ownSource) << "the record is kept, its fields are copied";
    EXPECT_EQ(ownSource->getPath(), sourceFile.toStdString());
    EXPECT_EQ(ownSource->getRelativePath(), "engine.stp");
    EXPECT_EQ(ownSource->getChecksum(), 4242u);
    EXPECT_EQ(ownSource->getOwner(), "alice");
    EXPECT_EQ(ownSource->getImportDate(), 99u) << "not carried over";
    // Recomputed from the disk, not copied.
    EXPECT_EQ(ownSource->getState(), UInt32(ksReferenceTypes::Missing));
    EXPECT_EQ(ownSource->getLastModified(), 0u);
}

TEST_F(SmartFileReferenceRoot, TakesTheLoadedSourceRecordWhenItHasNone)
{
    writeReferenceRoot(SourceOnDisk);
    makeReference(file);

    ksSmartFile smart(core.get());
    ASSERT_TRUE(smart.load());
    const FileReferencePtr source = core->getSourceFile();
    ASSERT_TRUE(source);
    EXPECT_EQ(source->getPath(), sourceFile.toStdString());
    EXPECT_EQ(source->getImportDate(), 1234u) << "the loaded record itself";
    EXPECT_EQ(source->getState(), UInt32(ksReferenceTypes::UpToDate));
    EXPECT_EQ(source->getChecksum(), ksFile::getChecksum(sourceFile.toStdString(), 0)) << "refreshed from the disk";
    EXPECT_EQ(source->getUsers().size(), 1u) << "the loaded core is gone";

    // The record keeps reporting to its new core's pool entry.
    beginEditCP(source, FileReference::PathFieldMask);
    source->setPath("/moved/engine.iges");
    endEditCP(source, FileReference::PathFieldMask);
    EXPECT_TRUE(ksReferencePool::instance().getFileSuffixes().contains("iges"));
}

TEST_F(SmartFileReferenceRoot, ALoadedReferenceWithoutSourceClearsTheNodesSource)
{
    writeReferenceRoot(NoSource);
    makeReference(file);
    addSourceRecord("/old/engine.stp");

    ksSmartFile smart(core.get());
    ASSERT_TRUE(smart.load());
    EXPECT_EQ(childNames(node.get()), (std::vector<std::string>{"Body", "Wheel"}));
    EXPECT_FALSE(core->getSourceFile());
}

TEST_F(SmartFileLoad, ConvertedOsbTreesAreOptimisedZmbTreesAreNot)
{
    // root "Assembly" (converter's mark)
    // +- "Empty" (Group, no children)
    // +- "Part" (Geometry)
    const auto writeMarked = [&](const QString& file) {
        NodeRefPtr root = makeNode(Group::create(), "Assembly");
        root->addChild(makeNode(Group::create(), "Empty"));
        root->addChild(makeNode(makeTriangle(NullFC), "Part"));
        root->setExternalFlags(ksQorHelper::ConvertedTreeFlag);
        return writeContent(file, root.get());
    };
    ASSERT_TRUE(writeMarked(path("converted.osb")));
    ASSERT_TRUE(writeMarked(path("converted.zmb")));

    makeReference(path("converted.osb"));
    ksSmartFile osb(core.get());
    ASSERT_TRUE(osb.load());
    ASSERT_EQ(node->getNChildren(), 1u);
    EXPECT_FALSE(ksQorHelper::isConvertedQorTree(node->getChild(0)));
    EXPECT_EQ(childNames(node->getChild(0)), std::vector<std::string>{"Part"});

    makeReference(path("converted.zmb"));
    ksSmartFile zmb(core.get());
    ASSERT_TRUE(zmb.load());
    ASSERT_EQ(node->getNChildren(), 1u);
    EXPECT_TRUE(ksQorHelper::isConvertedQorTree(node->getChild(0)));
    EXPECT_EQ(childNames(node->getChild(0)), (std::vector<std::string>{"Empty", "Part"}));
}

// Older files keep the CAD file a node came from as file information; it
// becomes a source reference on the way in.
//
// root "Root"
// +- "Wheel" (Transform3D, FileInfo "/cad/wheel.stp")
// +- "Shell" (Group, FileInfo "/parts/shell.osb")
TEST_F(SmartFileLoad, FileInformationOfLoadedTreesBecomesSourceReferences)
{
    const QString file = path("engine.zmb");
    NodeRefPtr root = makeNode(Group::create(), "Root");
    NodeRefPtr wheel = makeNode(Transform3D::create(), "Wheel");
    NodeRefPtr shell = makeNode(Group::create(), "Shell");
    for (const auto& [n, info] : {std::make_pair(wheel, "/cad/wheel.stp"), std::make_pair(shell, "/parts/shell.osb")}) {
        FileInfoRefPtr attachment = FileInfo::create();
        attachment->setPath(info);
        n->addAttachment(attachment);
        root->addChild(n);
    }
    ASSERT_TRUE(writeContent(file, root.get()));
    makeReference(file);

    ksSmartFile smart(core.get());
    ASSERT_TRUE(smart.load());
    ASSERT_EQ(childNames(node.get()), (std::vector<std::string>{"Wheel", "Shell"}));
    const ExtReferencePtr wheelCore = ExtReferencePtr::dcast(node->getChild(0)->getCore());
    ASSERT_TRUE(wheelCore);
    ASSERT_TRUE(wheelCore->getSourceFile());
    EXPECT_EQ(wheelCore->getSourceFile()->getPath(), "/cad/wheel.stp");
    EXPECT_FALSE(ExtReferencePtr::dcast(node->getChild(1)->getCore())) << "native files get no source reference";
}

TEST_F(SmartFileLoad, UnloadDeletesTheContentAndOnlyWhenLoaded)
{
    ksSmartReferenceStash stash;
    stash.setEntry("view", "front");
    makeReferenceToContent("engine.zmb", stash);
    ksSmartFile smart(core.get());

    EXPECT_FALSE(smart.unload()) << "nothing loaded";
    ASSERT_TRUE(smart.load());
    const UInt32 bodyId = node->getChild(0).getFieldContainerId();
    runEventLoopTurn();

    ASSERT_TRUE(smart.unload());
    EXPECT_FALSE(smart.isLoaded());
    EXPECT_EQ(node->getNChildren(), 0u);
    EXPECT_FALSE(FieldContainerFactory::the()->getContainer(bodyId)) << "deleted, not just taken out";
    EXPECT_EQ(core->getState(), UInt32(ksReferenceTypes::NotLoaded));
    EXPECT_TRUE(ksMaterials::getMaterialPoolMaterials().empty()) << "the content's materials left the pool";
    EXPECT_FALSE(smart.unload());

    // The stash of the loaded file went with the content.
    ASSERT_TRUE(smart.saveAs(path("after-unload.zmb")));
    ksZmbReader reader;
    ASSERT_TRUE(reader.readFile(path("after-unload.zmb")));
    EXPECT_TRUE(reader.getStash().isEmpty());
}

// Clones of the reference node show what was loaded under the node.
TEST_F(SmartFileLoad, LoadAndUnloadKeepClonesInStep)
{
    const QString file = makeReferenceToContent();
    NodeRefPtr clone = makeNode(core, "Engine copy");
    const NodePtr root = ksScenegraph::getRoot();
    beginEditCP(root, Node::ChildrenFieldMask);
    root->addChild(clone);
    endEditCP(root, Node::ChildrenFieldMask);

    ksSmartFile smart(core.get());
    ASSERT_EQ(smart.getNode(), node) << "the first node that took the core";
    ASSERT_TRUE(smart.load());
    EXPECT_EQ(childNames(clone.get()), (std::vector<std::string>{"Body", "Wheel"}));
    EXPECT_EQ(clone->getChild(0)->getCore(), node->getChild(0)->getCore());
    ASSERT_TRUE(smart.unload());
    EXPECT_EQ(clone->getNChildren(), 0u);
}

// The batched material update.
class SmartFileMaterials : public SmartFileTest
{
protected:
    void SetUp() override
    {
        SmartFileTest::SetUp();
        file = makeReferenceToContent();
    }

    QString file;
};

TEST_F(SmartFileMaterials, LoadsInOneTurnEndInOneUpdate)
{
    MaterialUpdates updates;
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
    EXPECT_EQ(updates.count(), 0) << "nothing is sent before the event loop turns";
    EXPECT_TRUE(environmentEdits.empty());

    runEventLoopTurn();
    EXPECT_EQ(updates.count(), 1);
    // Only the environment that is in the scene now is seen from the node.
    EXPECT_EQ(environmentEdits, std::set<std::string>{"Studio"});
    const ksMaterials::MaterialSet pool = ksMaterials::getMaterialPoolMaterials();
    EXPECT_EQ(pool.size(), 2u) << "the first load's materials were dropped";

    runEventLoopTurn();
    EXPECT_EQ(updates.count(), 1) << "one update per batch";

    // The next load starts a new batch.
    ASSERT_TRUE(smart.unload());
    ASSERT_TRUE(smart.load());
    runEventLoopTurn();
    EXPECT_EQ(updates.count(), 2);
}

TEST_F(SmartFileMaterials, ALoadWithoutNewMaterialsSendsNothingButStillTidiesThePool)
{
    // root "Root"
    // +- "Part" (Geometry without material)
    NodeRefPtr root = makeNode(Group::create(), "Root");
    root->addChild(makeNode(makeTriangle(NullFC), "Part"));
    ASSERT_TRUE(writeContent(file, root.get()));
    UBRDFMaterialRefPtr unused = UBRDFMaterial::create();
    ksMaterials::addToMaterialPool(unused.get());
    MaterialUpdates updates;

    ksSmartFile smart(core.get());
    ASSERT_TRUE(smart.load());
    EXPECT_TRUE(ksMaterials::isInMaterialPool(unused.get()));
    runEventLoopTurn();
    EXPECT_EQ(updates.count(), 0);
    EXPECT_FALSE(ksMaterials::isInMaterialPool(unused.get())) << "the update ran";
}

} // namespace
