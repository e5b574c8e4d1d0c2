// Licensed under the MIT licence; see LICENSE.
// Loading smart references: file types, what the loaded tree contributes,
// bad files, and the batched material update.
#include "SmartFileTestSupport.h"

#include "import/ksQorHelper.h"
#include "kernel/ksController.h"
#include "nodeutils/ksMaterials.h"
#include "utils/ksFile.h"

#include <QDateTime>

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
    EXPECT_EQ(childNames(findByName(node.get(), "Wheel")), std::vector<std::string>{"Rim"});
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
    EXPECT_FALSE(smart.isLoaded());
    EXPECT_EQ(node->getNChildren(), 0u);
    EXPECT_FALSE(FieldContainerFactory::the()->getContainer(bodyId)) << "deleted, not just taken out";
    EXPECT_EQ(core->getState(), UInt32(ksReferenceTypes::NotLoaded));
    EXPECT_TRUE(ksMaterials::getMaterialPoolMaterials().empty()) << "the content's materials left the pool";
    ASSERT_TRUE(smart.saveAs(path("after-unload.zmb")));
    ksZmbReader reader;
    ASSERT_TRUE(reader.readFile(path("after-unload.zmb")));
    EXPECT_TRUE(reader.getStash().isEmpty()) << "the stash went with the content";

    // Clones of the node show what is loaded under it.
    const NodeRefPtr clone = makeNode(core, "Engine copy", ksScenegraph::getRoot());
    ASSERT_TRUE(writeContent(file, Content()));
    ASSERT_TRUE(smart.load());
    EXPECT_EQ(childNames(clone.get()), (std::vector<std::string>{"Body", "Wheel"}));
    EXPECT_EQ(clone->getChild(1)->getCore(), node->getChild(1)->getCore());
    ASSERT_TRUE(smart.unload());
    EXPECT_EQ(clone->getNChildren(), 0u);
}

TEST_F(SmartFileLoad, FileTypeAndRootFollowTheSuffixAndTheRootsName)
{
    struct Case {
        const char* name;
        const char* format; // what the bytes on disk are
        const char* rootName;
        std::vector<std::string> children; // none: the load fails
    };
    const Case cases[] = {
        {"a.Zmb", "zmb", "Root", {"Body", "Wheel"}},
        {"b.OSB", "osb", "Assembly", {"Assembly"}},
        {"c.zmb", "zmb", "root", {"root"}}, // the name is compared exactly
        {"d.zmb.txt", "zmb", "Root", {}},
        {"e", "osb", "Root", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString written = path(QString("written.") + c.format);
        ASSERT_TRUE(writeContent(written, Content(c.rootName)));
        ASSERT_TRUE(QFile::rename(written, path(c.name)));
        makeReference(path(c.name));

        ksSmartFile smart(core.get());
        const bool loads = !c.children.empty();
        EXPECT_EQ(smart.load(), loads);
        EXPECT_EQ(childNames(node.get()), c.children);
        EXPECT_EQ(core->getState(), UInt32(loads ? ksReferenceTypes::Loaded : ksReferenceTypes::NotLoaded));
        EXPECT_EQ(smartRecord()->getChecksum(), loads ? ksFile::getChecksum(path(c.name).toStdString(), 0) : 0u);
        ksScenegraph::newScene();
    }
}

TEST_F(SmartFileLoad, MissingAndCorruptFilesFailAndChangeNothing)
{
    const QString good = path("good.zmb");
    ASSERT_TRUE(writeContent(good, Content()));
    ASSERT_TRUE(writeFile(path("truncated.zmb"), fileBytes(good).chopped(7)));
    ASSERT_TRUE(writeFile(path("garbage.osb"), QByteArray("not a scene file at all")));

    for (const char* name : {"missing.zmb", "truncated.zmb", "garbage.osb"}) {
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

// A smart file whose root is itself a reference node, as a reference saved
// with its own core writes it, takes part in the node's source record:
//
// root "Engine" (ExtReference, source record or none)
// +- "Body", "Wheel" (from Content)
TEST_F(SmartFileLoad, AReferenceRootHandsItsSourceRecordToTheNode)
{
    const QString sourceFile = path("engine.stp");
    const auto writeReferenceRoot = [&](bool withSource) {
        Content content;
        ExtReferenceRefPtr loadedCore = ExtReference::create();
        loadedCore->setState(ksReferenceTypes::Loaded);
        if (withSource) {
            FileReferenceRefPtr record = referencenodes::record(sourceFile.toStdString(), ksReferenceTypes::Outdated);
            record->setRelativePath("engine.stp");
            const QFileInfo onDisk(sourceFile);
            record->setLastModified(onDisk.exists() ? UInt64(onDisk.lastModified().toSecsSinceEpoch()) : 1000);
            record->setChecksum(4242);
            record->setOwner("alice");
            record->setImportDate(1234);
            loadedCore->setSourceFile(record);
        }
        NodeRefPtr root = makeNode(loadedCore, "Engine");
        root->addChild(content.body);
        root->addChild(content.wheel);
        ASSERT_TRUE(writeContent(path("engine.zmb"), root.get()));
        makeReference(path("engine.zmb"));
    };

    // The node's own record is kept and takes the copied fields; the state
    // and time come from the disk (the source is not there).
    writeReferenceRoot(true);
    addSourceRecord("/old/engine.stp");
    const FileReferencePtr ownSource = core->getSourceFile();
    ownSource->setImportDate(99);
    ASSERT_TRUE(ksSmartFile(core.get()).load());
    EXPECT_EQ(childNames(node.get()), (std::vector<std::string>{"Body", "Wheel"}));
    ASSERT_EQ(core->getSourceFile(), ownSource);
    EXPECT_EQ(ownSource->getPath(), sourceFile.toStdString());
    EXPECT_EQ(ownSource->getRelativePath(), "engine.stp");
    EXPECT_EQ(ownSource->getChecksum(), 4242u);
    EXPECT_EQ(ownSource->getOwner(), "alice");
    EXPECT_EQ(ownSource->getImportDate(), 99u) << "not carried over";
    EXPECT_EQ(ownSource->getState(), UInt32(ksReferenceTypes::Missing));
    EXPECT_EQ(ownSource->getLastModified(), 0u);

    // Without a record of its own the node takes the loaded one, refreshed.
    ksScenegraph::newScene();
    ASSERT_TRUE(writeFile(sourceFile, "solid engine"));
    writeReferenceRoot(true);
    ASSERT_TRUE(ksSmartFile(core.get()).load());
    const FileReferencePtr source = core->getSourceFile();
    ASSERT_TRUE(source);
    EXPECT_EQ(source->getImportDate(), 1234u) << "the loaded record itself";
    EXPECT_EQ(source->getState(), UInt32(ksReferenceTypes::UpToDate));
    EXPECT_EQ(source->getChecksum(), ksFile::getChecksum(sourceFile.toStdString(), 0));
    EXPECT_EQ(source->getUsers().size(), 1u) << "the loaded core is gone";

    // A loaded reference without source clears the node's.
    ksScenegraph::newScene();
    writeReferenceRoot(false);
    addSourceRecord("/old/engine.stp");
    ASSERT_TRUE(ksSmartFile(core.get()).load());
    EXPECT_FALSE(core->getSourceFile());
}

// root "Assembly" (converter's mark)   root "Root"
// +- "Empty" (Group, no children)      +- "Wheel" (Transform3D, FileInfo "/cad/wheel.stp")
// +- "Part" (Geometry)                 +- "Shell" (Group, FileInfo "/parts/shell.osb")
TEST_F(SmartFileLoad, ConvertedOsbTreesAreOptimisedAndFileInformationBecomesSourceReferences)
{
    NodeRefPtr converted = makeNode(Group::create(), "Assembly");
    makeNode(Group::create(), "Empty", converted.get());
    makeNode(makeTriangle(), "Part", converted.get());
    converted->setExternalFlags(ksQorHelper::ConvertedTreeFlag);
    for (const char* name : {"converted.osb", "converted.zmb"}) {
        SCOPED_TRACE(name);
        const bool osb = QString(name).endsWith("osb");
        ASSERT_TRUE(writeContent(path(name), converted.get()));
        makeReference(path(name));
        ASSERT_TRUE(ksSmartFile(core.get()).load());
        ASSERT_EQ(node->getNChildren(), 1u);
        EXPECT_EQ(ksQorHelper::isConvertedQorTree(node->getChild(0)), !osb);
        EXPECT_EQ(childNames(node->getChild(0)), (osb ? std::vector<std::string>{"Part"}
                                                      : std::vector<std::string>{"Empty", "Part"}));
    }

    ksScenegraph::newScene();
    NodeRefPtr root = makeNode(Group::create(), "Root");
    const NodeRefPtr wheel = makeNode(Transform3D::create(), "Wheel", root.get());
    const NodeRefPtr shell = makeNode(Group::create(), "Shell", root.get());
    for (const auto& [n, info] : {std::make_pair(wheel, "/cad/wheel.stp"), std::make_pair(shell, "/parts/shell.osb")}) {
        FileInfoRefPtr attachment = FileInfo::create();
        attachment->setPath(info);
        n->addAttachment(attachment);
    }
    ASSERT_TRUE(writeContent(path("engine.zmb"), root.get()));
    makeReference(path("engine.zmb"));
    ASSERT_TRUE(ksSmartFile(core.get()).load());
    ASSERT_EQ(childNames(node.get()), (std::vector<std::string>{"Wheel", "Shell"}));
    const ExtReferencePtr wheelCore = ExtReferencePtr::dcast(node->getChild(0)->getCore());
    ASSERT_TRUE(wheelCore && wheelCore->getSourceFile());
    EXPECT_EQ(wheelCore->getSourceFile()->getPath(), "/cad/wheel.stp");
    EXPECT_FALSE(ExtReferencePtr::dcast(node->getChild(1)->getCore())) << "native files get no source reference";
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

    // A load without new materials sends nothing but still tidies the pool.
    ASSERT_TRUE(smart.unload());
    NodeRefPtr bare = makeNode(Group::create(), "Root");
    makeNode(makeTriangle(), "Part", bare.get());
    ASSERT_TRUE(writeContent(smart.getPath(), bare.get()));
    UBRDFMaterialRefPtr unused = UBRDFMaterial::create();
    ksMaterials::addToMaterialPool(unused.get());
    ASSERT_TRUE(smart.load());
    EXPECT_TRUE(ksMaterials::isInMaterialPool(unused.get()));
    runEventLoopTurn();
    EXPECT_EQ(updates, 2);
    EXPECT_FALSE(ksMaterials::isInMaterialPool(unused.get())) << "the update ran";
}

} // namespace
