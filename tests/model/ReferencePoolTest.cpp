// Licensed under the MIT licence; see LICENSE.
// The reference pool as the scene graph's hooks feed it.
#include "ModelTestSupport.h"

#include "kernel/ksKernelServiceFactory.h"
#include "model/ksReferenceNode.h"
#include "model/ksReferencePool.h"
#include "io/ksSmartFile.h"
#include "references/ksReferenceInterface.h"
#include "references/ksReferenceService.h"
#include "undo/ksDeleteNodesCommand.h"
#include "undo/ksUndoStack.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <QSignalSpy>

#include <algorithm>
#include <set>
#include <thread>

using namespace osg;
using namespace modeltest;

namespace {

class PoolTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(pool.isEmpty()) << "a previous test left reference cores behind"; }
    void TearDown() override { clearScene(); }
    ksFileReferenceStatusPtr smartStatusOf(const ExtReferencePtr& core)
    {
        return pool.getStatusSnapshot().value(core.getFieldContainerId())->smart();
    }

    ksReferencePool& pool = ksReferencePool::instance();
    ksReferenceService* service = ksKernelServiceFactory::the().get<ksReferenceService>();
};

} // namespace

TEST_F(PoolTest, AnnouncesContentOnTheFirstCoreAndTheEndOnTheLast)
{
    QSignalSpy poolSpy(&pool, &ksReferencePool::poolHasContent);
    QSignalSpy serviceSpy(service, &ksReferenceService::sceneHasReferences);
    // The receiver waits for a thread that takes the pool's lock, as stopping
    // the update monitor does: the pool must not hold it while emitting.
    QObject receiver;
    std::vector<int> sizesSeen;
    QObject::connect(&pool, &ksReferencePool::poolHasContent, &receiver, [&](bool) {
        std::thread([&] { sizesSeen.push_back(pool.getStatusSnapshot().size()); }).join();
    });
    ExtReferenceRefPtr first = ExtReference::create();
    ExtReferenceRefPtr second = ExtReference::create();
    first.reset();
    second.reset();
    for (QSignalSpy* spy : {&poolSpy, &serviceSpy}) {
        ASSERT_EQ(spy->count(), 2);
        EXPECT_TRUE(spy->at(0).at(0).toBool());
        EXPECT_FALSE(spy->at(1).at(0).toBool());
    }
    EXPECT_EQ(sizesSeen, (std::vector<int>{1, 0}));
}

TEST_F(PoolTest, StatusesFollowTheRecordsOfTheirCore)
{
    const NodeRefPtr node = reference("", "/refs/a.zmb", "/cad/a.stp");
    const ExtReferencePtr core = coreOf(node);
    edit(core->getSmartFile(), FileReference::StateFieldMask,
         [&] { core->getSmartFile()->setState(ksReferenceTypes::Outdated); });
    const ksFileReferenceStatusPtr smart = smartStatusOf(core);
    EXPECT_EQ(std::make_pair(smart->path, smart->state.load()),
              std::make_pair(QByteArray("/refs/a.zmb"), UInt32(ksReferenceTypes::Outdated)));
    // An edit of either record renews the statuses, bookkeeping included.
    smart->lastChecked = 1234;
    edit(core->getSourceFile(), FileReference::RelativePathFieldMask, [] {});
    EXPECT_NE(smartStatusOf(core), smart);
    EXPECT_EQ(smartStatusOf(core)->lastChecked, 0u);
    // A record the core takes on is followed from then on.
    const FileReferenceRefPtr replacement = record("/refs/b.osb");
    edit(core, ExtReference::SmartFileFieldMask, [&] { core->setSmartFile(replacement); });
    edit(replacement.get(), FileReference::PathFieldMask, [&] { replacement->setPath("/refs/c.osb"); });
    EXPECT_EQ(smartStatusOf(core)->path, QByteArray("/refs/c.osb"));
    // A core without records has an empty status until its first path.
    const ExtReferenceRefPtr bare = ExtReference::create();
    EXPECT_FALSE(smartStatusOf(bare.get())->hasPath);
    edit(bare.get(), ExtReference::SmartFileFieldMask, [&] { bare->setSmartFile(record("/cad/bare.zmb")); });
    EXPECT_TRUE(smartStatusOf(bare.get())->hasPath);
}

//  root
//  +- ref (Loaded, smart and source records)
//     +- part (Transform3D)
TEST_F(PoolTest, EditsOfLoadedContentMarkAQualifyingReferenceChangedBookkeepingDoesNot)
{
    const NodeRefPtr ref = inScene(reference("", "/refs/ref.zmb", "/cad/ref.stp"));
    const ExtReferencePtr core = coreOf(ref);
    const NodeRefPtr part = add(ref.get(), "", Transform3D::create());
    QSignalSpy modified(&pool, &ksReferencePool::modifiedStateChanged);
    QSignalSpy editState(service, &ksReferenceService::referenceEditStateChagned);
    pool.resetChanged(core);

    const FileInfoRefPtr info = FileInfo::create();
    const std::pair<FieldContainerPtr, BitVector> bookkeeping[] = {
        {ref.get(), Node::FlagsFieldMask},
        {ref.get(), Node::AttachmentsFieldMask},
        {ref.get(), Node::TravMaskFieldMask},
        {ref.get(), Node::ExternalFlagsFieldMask},
        {ref.get(), Node::IndexFieldMask},
        {core, Transform3D::TranslationFieldMask | Transform3D::ScaleFieldMask},
        {part.get(), Node::FlagsFieldMask},
        {core->getSmartFile(),
         FileReference::OwnerFieldMask | FileReference::LastModifiedFieldMask | FileReference::RelativePathFieldMask},
    };
    for (const auto& [container, mask] : bookkeeping) {
        edit(container, mask, [&] {
            if (mask == Node::AttachmentsFieldMask)
                ref->addAttachment(info);
        });
        EXPECT_FALSE(pool.isChanged(core)) << container->getTypeName() << " mask " << mask;
    }
    EXPECT_EQ(modified.count(), 0);
    setTravMask(part.get(), 0);
    setTravMask(part.get(), 1);
    EXPECT_TRUE(ksReferenceNode(ref.get()).isChanged());
    EXPECT_EQ(modified.count(), 1);
    pool.resetChanged(core);
    pool.setChanged(core);
    EXPECT_EQ(modified.count(), 2);
    // The service folds the signals of 100 ms into one.
    ASSERT_TRUE(editState.wait(2000));
    QCoreApplication::processEvents();
    EXPECT_EQ(editState.count(), 1);
    // A part's own placement is content, unlike the reference's.
    pool.resetChanged(core);
    edit(part->getCore(), Transform3D::TranslationFieldMask, [] {});
    EXPECT_TRUE(pool.isChanged(core));
    // Only loaded references with a present smart record count as changed.
    const auto setState = [&](UInt32 state) { edit(core, ExtReference::StateFieldMask, [&] { core->setState(state); }); };
    setState(ksReferenceTypes::NotLoaded);
    EXPECT_FALSE(pool.isChanged(core));
    setState(ksReferenceTypes::Loaded);
    EXPECT_TRUE(pool.isChanged(core));
    edit(core->getSmartFile(), FileReference::StateFieldMask,
         [&] { core->getSmartFile()->setState(ksReferenceTypes::Missing); });
    EXPECT_FALSE(pool.isChanged(core));
    // A mark given to a core that does not qualify is not kept.
    const NodeRefPtr unloaded = reference("", "/refs/u.zmb", "", ksReferenceTypes::NotLoaded);
    pool.setChanged(coreOf(unloaded));
    edit(coreOf(unloaded), ExtReference::StateFieldMask, [&] { coreOf(unloaded)->setState(ksReferenceTypes::Loaded); });
    EXPECT_FALSE(pool.isChanged(coreOf(unloaded)));
}

//  root
//  +- a        +- b (0x1000)   +- c1 (0x1000), c2: one core
//     +- part     +- part         +- part (below c1)
//        +- inner (reference)
//           +- part
TEST_F(PoolTest, NestedContentIsTheNestedReferencesAndBit12OnEveryNodeHidesAChange)
{
    const NodeRefPtr a = inScene(reference("", "/refs/a.zmb"));
    const NodeRefPtr b = inScene(reference("", "/refs/b.zmb"));
    const NodeRefPtr c1 = inScene(reference("", "/refs/c.zmb"));
    inScene(add(NullFC, "", NodeCoreRefPtr(c1->getCore())));
    const NodeRefPtr inner = reference("", "/refs/inner.zmb");
    const NodeRefPtr aPart = add(a.get(), "");
    addChild(aPart.get(), inner);
    std::vector<NodeRefPtr> parts{add(inner.get(), "")};
    for (const NodeRefPtr& node : {b, c1}) {
        parts.push_back(add(node.get(), ""));
        edit(node.get(), Node::FlagsFieldMask, [&] { node->setFlags(node->getFlags() | 0x1000); });
    }
    for (const NodeRefPtr& node : {a, b, c1, inner})
        pool.resetChanged(coreOf(node));

    for (const NodeRefPtr& part : parts)
        setTravMask(part.get(), 0);
    EXPECT_EQ(pool.getNumChangedReferences(), 2u);
    EXPECT_FALSE(pool.isChanged(coreOf(a)));
    EXPECT_TRUE(pool.isSubReferenceChanged(coreOf(a)));
    EXPECT_FALSE(pool.isSubReferenceChanged(coreOf(inner)));
    EXPECT_TRUE(pool.isSelfOrSubReferenceChanged(coreOf(inner)));
    pool.resetAllChanged();
    EXPECT_EQ(pool.getNumChangedReferences(), 0u);
    EXPECT_FALSE(pool.isSelfOrSubReferenceChanged(coreOf(a)));
    // The nested node itself is the outer reference's content.
    setTravMask(inner.get(), 0);
    EXPECT_TRUE(pool.isChanged(coreOf(a)));
    EXPECT_FALSE(pool.isChanged(coreOf(inner)));
}

TEST_F(PoolTest, FileSuffixesAreThoseOfAllPooledPaths)
{
    // A suffix stays while any path has it; source paths count, and an
    // edited path by its new suffix.
    NodeRefPtr gone = reference("", "/refs/y.osb", "/cad/archive.tar.JT");
    const NodeRefPtr kept = reference("", "/refs/z.osb");
    gone.reset();
    const NodeRefPtr node = reference("", "/refs/x.zmb", "/cad/x.stp");
    const FileReferencePtr source = coreOf(node)->getSourceFile();
    edit(source, FileReference::PathFieldMask, [&] { source->setPath("/cad/x.igs"); });
    QStringList suffixes = pool.getFileSuffixes();
    suffixes.sort();
    EXPECT_EQ(suffixes, (QStringList{"igs", "osb", "zmb"}));
}

TEST_F(PoolTest, AFailedSaveKeepsTheChangeMark)
{
    // ".xyz" files are neither loaded nor saved.
    TempFiles files;
    const NodeRefPtr loaded = reference("", files.path("a.xyz"));
    pool.setChanged(coreOf(loaded));
    EXPECT_FALSE(pool.saveSmartReference(coreOf(loaded)));
    EXPECT_FALSE(pool.saveSmartReferenceAs(coreOf(loaded), QString::fromStdString(files.path("copy.xyz"))));
    EXPECT_TRUE(pool.isChanged(coreOf(loaded)));
    // An undecided core is always written.
    const NodeRefPtr undecided = reference("", files.path("a.xyz"), "", ksReferenceTypes::Undefined);
    EXPECT_FALSE(pool.saveSmartReference(coreOf(undecided)));
}

//  root
//  +- ref (Loaded, smart and source records)
//     +- part
TEST_F(PoolTest, ADeletedReferenceLeavesThePoolAndUndoBringsItBackWithItsEditMark)
{
    const NodeRefPtr ref = inScene(reference("", "/refs/ref.zmb", "/cad/ref.stp"));
    const ExtReferencePtr core = coreOf(ref);
    const NodeRefPtr part = add(ref.get(), "");
    pool.resetChanged(core);
    setTravMask(part.get(), 0);
    ASSERT_TRUE(pool.isChanged(core));
    QSignalSpy scene(service, &ksReferenceService::sceneHasReferences);

    ksDeleteNodesCommand deletion({ref.get()});
    for (int round = 0; round < 2; ++round) {
        deletion.redo();
        EXPECT_TRUE(pool.isEmpty());
        EXPECT_TRUE(pool.getStatusSnapshot().isEmpty()) << "the update monitor would still check its files";
        EXPECT_EQ(pool.getNumChangedReferences(), 0u);
        deletion.undo();
        ASSERT_EQ(pool.getExtReferences(), QList<ExtReferencePtr>{core});
        EXPECT_EQ(smartStatusOf(core)->path, QByteArray("/refs/ref.zmb"));
        EXPECT_TRUE(pool.isChanged(core)) << "the edit would be lost at the next save";
    }
    ASSERT_EQ(scene.count(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(scene.at(i).at(0).toBool(), i % 2 == 1);
}

namespace {

// The clone queries as a walk over every core would answer them: the cores
// to consider are given, in any order.
NodePtr walkLoadedClone(const ExtReferencePtr& ext, std::vector<ExtReferencePtr> cores)
{
    ksReferencePool& pool = ksReferencePool::instance();
    ksReferenceInterface* reference = ksReferenceNode::getReferenceInterface();
    const std::string path = ext->getSmartFile() ? ext->getSmartFile()->getPath() : std::string();
    std::sort(cores.begin(), cores.end(),
              [](const ExtReferencePtr& a, const ExtReferencePtr& b) { return a.getFieldContainerId() < b.getFieldContainerId(); });
    for (const ExtReferencePtr& core : cores) {
        if (path.empty() || core == ext || !pool.isSmartFileLoaded(core))
            continue;
        const std::shared_ptr<ksSmartFile> file = pool.getSmartFile(core);
        if (file->getNode() && reference->isSamePath(file->getPath().toStdString(), path))
            return file->getNode();
    }
    return NullFC;
}

std::set<ExtReferencePtr> walkSameSmartFile(const ExtReferencePtr& ext)
{
    std::set<ExtReferencePtr> same;
    for (const ExtReferencePtr& core : ksReferencePool::instance().getExtReferences())
        if (core == ext || ksReferenceNode::getReferenceInterface()->isSameSmartReference(ext, core))
            same.insert(core);
    return same;
}

} // namespace

//  root
//  +- a (w.osb)   +- b (./w.osb)   +- d (w.osb, a's core)   +- e (v.osb)   +- f (w.osb, relative)
//                                                              +- nested
//  detached: c (sub/../w.osb), k (w.osb in the first working directory), g (no smart record),
//  h (smart record without path), eCopy (e's core)
TEST_F(PoolTest, OnlyLiveCoresAreListedAndCloneQueriesAnswerAsAWalkOverThemDoesThroughRenamesRemovalsAndUndo)
{
    TempFiles files;
    const std::string w = files.writeScene("w.osb", {"rim"});
    const std::string v = files.writeScene("v.osb", {"hub"});
    const QString dir = QFileInfo(QString::fromStdString(w)).absolutePath();
    const QString workingDirectory = QDir::currentPath();
    ASSERT_TRUE(QDir(dir).mkdir("sub"));
    ASSERT_TRUE(QDir::setCurrent(dir));
    const auto notLoaded = [](const std::string& smart) { return reference("", smart, "", ksReferenceTypes::NotLoaded); };
    const NodeRefPtr a = inScene(notLoaded(w));
    const NodeRefPtr b = inScene(notLoaded(dir.toStdString() + "/./w.osb"));
    NodeRefPtr c = notLoaded(dir.toStdString() + "/sub/../w.osb");
    const NodeRefPtr d = inScene(Node::create());
    d->setCore(a->getCore());
    const NodeRefPtr e = inScene(notLoaded(v));
    const NodeRefPtr f = inScene(notLoaded("w.osb"));
    // Names the file that f's relative path names in the first working
    // directory.
    const NodeRefPtr k = notLoaded(workingDirectory.toStdString() + "/w.osb");
    const NodeRefPtr g = notLoaded("");
    const NodeRefPtr h = notLoaded("");
    edit(coreOf(h), ExtReference::SmartFileFieldMask, [&] { coreOf(h)->setSmartFile(record("", ksReferenceTypes::NoPath)); });
    const NodeRefPtr nested = notLoaded("/refs/nested.zmb");
    addChild(e.get(), nested);
    const NodeRefPtr eCopy = Node::create();
    eCopy->setCore(e->getCore());
    const QList<ExtReferencePtr> listed = pool.getExtReferences();
    EXPECT_EQ(std::set<ExtReferencePtr>(listed.begin(), listed.end()),
              (std::set<ExtReferencePtr>{coreOf(a), coreOf(b), coreOf(e), coreOf(f), coreOf(nested)}));
    EXPECT_EQ(listed.size(), 5) << "each core once";
    std::vector<ExtReferencePtr> cores{coreOf(a), coreOf(b), coreOf(c), coreOf(e), coreOf(f), coreOf(k), coreOf(g), coreOf(h)};
    const auto check = [&](const char* when) {
        for (const ExtReferencePtr& core : cores) {
            EXPECT_EQ(pool.findLoadedClone(core), walkLoadedClone(core, cores)) << when << ", core " << core.getFieldContainerId();
            EXPECT_EQ(pool.getReferencesWithSameSmartFile(core), walkSameSmartFile(core)) << when;
        }
    };
    check("nothing loaded");
    EXPECT_EQ(pool.getReferencesWithSameSmartFile(coreOf(c)), (std::set<ExtReferencePtr>{coreOf(a), coreOf(b), coreOf(f)}));

    for (const NodeRefPtr& node : {c, f, e})
        ASSERT_TRUE(pool.loadSmartReference(coreOf(node)));
    check("three loaded");
    EXPECT_EQ(pool.findLoadedClone(coreOf(a)), c.get()) << "the lowest core id comes first";

    // A record renamed to another file, and one that leaves it by its path.
    const FileReferencePtr cRecord = coreOf(c)->getSmartFile();
    edit(cRecord, FileReference::PathFieldMask, [&] { cRecord->setPath(v); });
    check("c renamed to v.osb");
    EXPECT_EQ(pool.findLoadedClone(coreOf(a)), f.get());
    ASSERT_TRUE(QDir::setCurrent(workingDirectory));
    check("working directory changed");
    EXPECT_EQ(pool.findLoadedClone(coreOf(a)), NullFC) << "f's relative path names another file now";
    EXPECT_EQ(pool.findLoadedClone(coreOf(k)), f.get());
    ASSERT_TRUE(QDir::setCurrent(dir));

    // A removed record and its undo; a node taken out of the scene and put
    // back; a destroyed core.
    ksUndoStack& stack = ksUndoStack::get(0);
    stack.clear();
    ASSERT_TRUE(ksReferenceNode(f.get()).removeSmartReference());
    check("f's record removed");
    stack.undo();
    check("f's record back");
    EXPECT_EQ(pool.findLoadedClone(coreOf(a)), f.get());
    stack.clear();
    const NodePtr root = ksScenegraph::getRoot();
    edit(root, Node::ChildrenFieldMask, [&] { root->subChild(b.get()); });
    check("b out of the scene");
    addChild(root, b);
    check("b back");
    ksReferenceNode(f.get()).unload();
    check("f unloaded");
    const UInt32 cId = coreOf(c).getFieldContainerId();
    cores.erase(std::find(cores.begin(), cores.end(), coreOf(c)));
    c.reset();
    ASSERT_FALSE(pool.getStatusSnapshot().value(cId));
    check("c destroyed");
    ASSERT_TRUE(QDir::setCurrent(workingDirectory));
}
