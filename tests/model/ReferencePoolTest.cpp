// Licensed under the MIT licence; see LICENSE.
// The reference pool as the scene graph's hooks feed it.
#include "ModelTestSupport.h"

#include "io/ksSmartFile.h"
#include "kernel/ksKernelServiceFactory.h"
#include "model/ksReferenceNode.h"
#include "model/ksReferencePool.h"
#include "references/ksReferenceService.h"

#include <QFileInfo>
#include <QSet>
#include <QSignalSpy>

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

    ksExtReferenceStatusPtr statusOf(const ExtReferencePtr& core)
    {
        return pool.getStatusSnapshot().value(core.getFieldContainerId());
    }

    ksReferencePool& pool = ksReferencePool::instance();
    ksReferenceService* service = ksKernelServiceFactory::the().get<ksReferenceService>();
};

QSet<QString> asSet(const QStringList& list)
{
    return QSet<QString>(list.begin(), list.end());
}

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

    ExtReferenceRefPtr first = ExtReferenceBase::create();
    ExtReferenceRefPtr second = ExtReferenceBase::create();
    first.reset();
    EXPECT_FALSE(pool.isEmpty());
    second.reset();
    EXPECT_TRUE(pool.isEmpty());
    for (QSignalSpy* spy : {&poolSpy, &serviceSpy}) {
        ASSERT_EQ(spy->count(), 2);
        EXPECT_TRUE(spy->at(0).at(0).toBool());
        EXPECT_FALSE(spy->at(1).at(0).toBool());
    }
    EXPECT_EQ(sizesSeen, (std::vector<int>{1, 0}));
}

TEST_F(PoolTest, StatusesFollowTheRecordsOfTheirCore)
{
    const NodeRefPtr node = makeReferenceNode("/refs/a.zmb", "/cad/a.stp");
    const ExtReferencePtr core = coreOf(node);
    const FileReferencePtr smart = core->getSmartFile();
    edit(smart, FieldBits::AllFields, [&] {
        smart->setState(ksReferenceTypes::Outdated);
        smart->setChecksum(7);
        smart->setLastModified(1234);
    });
    const ksExtReferenceStatusPtr status = statusOf(core);
    ASSERT_TRUE(status);
    const ksFileReferenceStatusPtr smartStatus = status->smart();
    EXPECT_EQ(smartStatus->path, QByteArray("/refs/a.zmb"));
    EXPECT_TRUE(smartStatus->hasPath);
    EXPECT_EQ(smartStatus->state, UInt32(ksReferenceTypes::Outdated));
    EXPECT_EQ(smartStatus->checksum, 7u);
    EXPECT_EQ(smartStatus->lastModified, 1234u);
    EXPECT_EQ(smartStatus->lastChecked, 0u);
    EXPECT_EQ(status->source()->path, QByteArray("/cad/a.stp"));

    // An edit of either record renews both statuses, bookkeeping included.
    smartStatus->lastChecked = 1234;
    const ksFileReferenceStatusPtr sourceStatus = status->source();
    edit(core->getSourceFile(), FileReference::RelativePathFieldMask, [] {});
    EXPECT_EQ(statusOf(core), status);
    EXPECT_NE(status->smart(), smartStatus);
    EXPECT_NE(status->source(), sourceStatus);
    EXPECT_EQ(status->smart()->lastChecked, 0u);
    EXPECT_EQ(status->smart()->checksum, 7u);

    // A record the core takes on is followed from then on; loose records
    // change nothing.
    const FileReferenceRefPtr replacement = makeRecord("/refs/b.osb");
    edit(core, ExtReference::SmartFileFieldMask, [&] { core->setSmartFile(replacement); });
    edit(replacement.get(), FileReference::PathFieldMask, [&] { replacement->setPath("/refs/c.osb"); });
    EXPECT_EQ(status->smart()->path, QByteArray("/refs/c.osb"));
    const FileReferenceRefPtr loose = makeRecord("/refs/loose.zmb");
    edit(loose.get(), FileReference::PathFieldMask, [] {});

    // A core without records has empty statuses until its first path.
    const ExtReferenceRefPtr bare = ExtReferenceBase::create();
    for (const ksFileReferenceStatusPtr& empty : {statusOf(bare.get())->smart(), statusOf(bare.get())->source()}) {
        EXPECT_FALSE(empty->hasPath);
        EXPECT_TRUE(empty->path.isEmpty());
        EXPECT_EQ(empty->state + empty->checksum + empty->lastModified, 0u);
    }
    edit(bare.get(), ExtReference::SourceFileFieldMask, [&] { bare->setSourceFile(makeRecord("/cad/bare.jt")); });
    EXPECT_EQ(statusOf(bare.get())->source()->path, QByteArray("/cad/bare.jt"));
    EXPECT_EQ(pool.getStatusSnapshot().size(), 2);
}

TEST_F(PoolTest, AppliedUpdatesReachTheRecordsWithoutRebuildingTheStatuses)
{
    const NodeRefPtr node = makeReferenceNode("/refs/a.zmb", "/cad/a.stp");
    const ExtReferencePtr core = coreOf(node);
    // A smart record without a path, whose status is never copied back.
    const NodeRefPtr pathless = makeReferenceNode("", "/cad/p.stp");
    const FileReferenceRefPtr emptyRecord = makeRecord("", ksReferenceTypes::Outdated);
    edit(coreOf(pathless), ExtReference::SmartFileFieldMask, [&] { coreOf(pathless)->setSmartFile(emptyRecord); });
    const UInt32 goneId = ExtReferenceBase::create().getFieldContainerId();

    // What the monitor's thread writes into the shared records.
    const ksExtReferenceStatusPtr status = statusOf(core);
    const ksFileReferenceStatusPtr smartStatus = status->smart();
    const ksFileReferenceStatusPtr sourceStatus = status->source();
    smartStatus->state = ksReferenceTypes::Missing;
    smartStatus->checksum = 9;
    sourceStatus->state = ksReferenceTypes::Outdated;
    sourceStatus->lastModified = 77;
    sourceStatus->lastChecked = 77;
    sourceStatus->checksum = 3;

    pool.applyUpdates({core.getFieldContainerId(), coreOf(pathless).getFieldContainerId(), goneId, 0u,
                       core->getSmartFile().getFieldContainerId()});
    const FileReferencePtr smart = core->getSmartFile();
    const FileReferencePtr source = core->getSourceFile();
    EXPECT_EQ(smart->getState(), UInt32(ksReferenceTypes::Missing));
    EXPECT_EQ(smart->getChecksum(), 9u);
    EXPECT_EQ(source->getState(), UInt32(ksReferenceTypes::Outdated));
    EXPECT_EQ(source->getChecksum(), 3u);
    EXPECT_EQ(source->getLastModified(), 77u);
    EXPECT_EQ(emptyRecord->getState(), UInt32(ksReferenceTypes::Outdated));
    // Not rebuilt: the monitor goes on with its own bookkeeping.
    EXPECT_EQ(status->smart(), smartStatus);
    EXPECT_EQ(status->source(), sourceStatus);
    EXPECT_EQ(sourceStatus->lastChecked, 77u);

    edit(source, FieldBits::AllFields, [&] { source->setChecksum(4); });
    EXPECT_NE(status->source(), sourceStatus);
    EXPECT_EQ(status->source()->lastChecked, 0u);
}

TEST_F(PoolTest, EditsOfLoadedContentMarkTheReferenceChangedBookkeepingDoesNot)
{
    //  root
    //  +- ref (ExtReference, Loaded, smart and source records)
    //     +- part (Group)
    const NodeRefPtr ref = inScene(makeReferenceNode("/refs/ref.zmb", "/cad/ref.stp"));
    const ExtReferencePtr core = coreOf(ref);
    const NodeRefPtr part = addGroup(ref.get());
    QSignalSpy modified(&pool, &ksReferencePool::modifiedStateChanged);
    QSignalSpy editState(service, &ksReferenceService::referenceEditStateChagned);
    pool.resetChanged(core);
    ASSERT_FALSE(pool.isChanged(core));

    const FileInfoRefPtr info = FileInfoBase::create();
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
    EXPECT_TRUE(ksReferenceNode(ref.get()).isChanged());
    setTravMask(part.get(), 1);
    EXPECT_EQ(modified.count(), 1);
    pool.resetChanged(core);
    EXPECT_FALSE(pool.isChanged(core));
    pool.setChanged(core);
    EXPECT_TRUE(pool.isChanged(core));
    EXPECT_EQ(modified.count(), 2);
    // The service folds the signals of 100 ms into one.
    ASSERT_TRUE(editState.wait(2000));
    QCoreApplication::processEvents();
    EXPECT_EQ(editState.count(), 1);
}

TEST_F(PoolTest, OnlyLoadedReferencesWithAPresentSmartRecordCountAsChanged)
{
    const NodeRefPtr ref = makeReferenceNode("/refs/ref.zmb");
    const ExtReferencePtr core = coreOf(ref);
    pool.resetChanged(core);
    pool.setChanged(core);
    const auto setState = [&](UInt32 state) { edit(core, ExtReference::StateFieldMask, [&] { core->setState(state); }); };
    setState(ksReferenceTypes::NotLoaded);
    EXPECT_FALSE(pool.isChanged(core));
    setState(ksReferenceTypes::Loaded);
    EXPECT_TRUE(pool.isChanged(core));
    edit(core->getSmartFile(), FileReference::StateFieldMask,
         [&] { core->getSmartFile()->setState(ksReferenceTypes::Missing); });
    EXPECT_FALSE(pool.isChanged(core));
    edit(core, ExtReference::SmartFileFieldMask, [&] { core->setSmartFile(NullFC); });
    EXPECT_FALSE(pool.isChanged(core));

    // A mark given to a core that does not qualify is not kept.
    const NodeRefPtr unloaded = makeReferenceNode("/refs/u.zmb", "", ksReferenceTypes::NotLoaded);
    pool.setChanged(coreOf(unloaded));
    edit(coreOf(unloaded), ExtReference::StateFieldMask, [&] { coreOf(unloaded)->setState(ksReferenceTypes::Loaded); });
    EXPECT_FALSE(pool.isChanged(coreOf(unloaded)));
}

TEST_F(PoolTest, CountsChangedReferencesUnlessEveryNodeOfThemCarriesBit12)
{
    //  root
    //  +- a        +- b (0x1000)   +- c1 (0x1000), c2: one core   +- d (unchanged)
    //     +- part     +- part         +- part (below c1)
    const NodeRefPtr a = inScene(makeReferenceNode("/refs/a.zmb"));
    const NodeRefPtr b = inScene(makeReferenceNode("/refs/b.zmb"));
    const NodeRefPtr c1 = inScene(makeReferenceNode("/refs/c.zmb"));
    const NodeRefPtr c2 = inScene(Node::create());
    c2->setCore(c1->getCore());
    const NodeRefPtr d = inScene(makeReferenceNode("/refs/d.zmb"));
    std::vector<NodeRefPtr> parts;
    for (const NodeRefPtr& node : {a, b, c1})
        parts.push_back(addGroup(node.get()));
    for (const NodeRefPtr& node : {b, c1})
        edit(node.get(), Node::FlagsFieldMask, [&] { node->setFlags(node->getFlags() | 0x1000); });
    for (const NodeRefPtr& node : {a, b, c1, d})
        pool.resetChanged(coreOf(node));
    EXPECT_EQ(pool.getNumChangedReferences(), 0u);

    for (const NodeRefPtr& part : parts)
        setTravMask(part.get(), 0);
    EXPECT_EQ(pool.getNumChangedReferences(), 2u);
    pool.resetAllChanged();
    EXPECT_EQ(pool.getNumChangedReferences(), 0u);
    for (const NodeRefPtr& node : {a, b, c1})
        EXPECT_FALSE(pool.isChanged(coreOf(node)));
}

TEST_F(PoolTest, SubReferencesAreLookedForBelowTheNodeButNotAtIt)
{
    //  outer
    //  +- part
    //     +- inner
    //        +- innerPart
    const NodeRefPtr outer = makeReferenceNode("/refs/outer.zmb");
    const NodeRefPtr inner = makeReferenceNode("/refs/inner.zmb");
    const NodeRefPtr part = addGroup(outer.get());
    addChild(part.get(), inner);
    const NodeRefPtr innerPart = addGroup(inner.get());
    const ExtReferencePtr outerCore = coreOf(outer);
    const ExtReferencePtr innerCore = coreOf(inner);
    pool.resetChanged(outerCore);
    pool.resetChanged(innerCore);

    // Nested content belongs to the nested reference alone.
    setTravMask(innerPart.get(), 0);
    EXPECT_FALSE(pool.isChanged(outerCore));
    EXPECT_TRUE(pool.isSubReferenceChanged(outerCore));
    EXPECT_TRUE(pool.isSelfOrSubReferenceChanged(outerCore));
    EXPECT_FALSE(pool.isSubReferenceChanged(innerCore));
    EXPECT_TRUE(pool.isSelfOrSubReferenceChanged(innerCore));

    pool.resetChanged(innerCore);
    EXPECT_FALSE(pool.isSelfOrSubReferenceChanged(outerCore));
    pool.setChanged(outerCore);
    EXPECT_FALSE(pool.isSubReferenceChanged(outerCore));
    EXPECT_TRUE(pool.isSelfOrSubReferenceChanged(outerCore));
    const ExtReferenceRefPtr nodeless = ExtReferenceBase::create();
    EXPECT_FALSE(pool.isSubReferenceChanged(nodeless.get()));
}

TEST_F(PoolTest, ListsTheCoresOfTheLiveSceneOnly)
{
    //  root
    //  +- a (same.zmb)   +- d1 (same.zmb; its clone d2 is detached)   +- e (other.zmb)
    //                                                                    +- nested
    //  detached: b (same.zmb); a core c without node
    const NodeRefPtr a = inScene(makeReferenceNode("/refs/same.zmb"));
    const NodeRefPtr b = makeReferenceNode("/refs/same.zmb");
    const ExtReferenceRefPtr c = ExtReferenceBase::create();
    const NodeRefPtr d2 = makeReferenceNode("/refs/same.zmb");
    const NodeRefPtr d1 = inScene(Node::create());
    d1->setCore(d2->getCore());
    const NodeRefPtr e = inScene(makeReferenceNode("/refs/other.zmb"));
    const NodeRefPtr nested = makeReferenceNode("/refs/nested.zmb");
    addChild(e.get(), nested);

    const QList<ExtReferencePtr> listed = pool.getExtReferences();
    EXPECT_EQ(listed.size(), 4);
    EXPECT_EQ(std::set<ExtReferencePtr>(listed.begin(), listed.end()),
              (std::set<ExtReferencePtr>{coreOf(a), coreOf(d1), coreOf(e), coreOf(nested)}));
    const std::set<ExtReferencePtr> same{coreOf(a), coreOf(d1)};
    EXPECT_EQ(pool.getReferencesWithSameSmartFile(coreOf(a)), same);
    // A core outside the scene finds the live ones, not itself.
    EXPECT_EQ(pool.getReferencesWithSameSmartFile(coreOf(b)), same);
    EXPECT_EQ(pool.getReferencesWithSameSmartFile(coreOf(e)), std::set<ExtReferencePtr>{coreOf(e)});
}

TEST_F(PoolTest, FileSuffixesAreThoseOfAllPooledPathsAsQtSeesThem)
{
    const NodeRefPtr a = makeReferenceNode("/refs/x.zmb", "/cad/x.stp");
    NodeRefPtr b = makeReferenceNode("/refs/y.osb", "/cad/archive.tar.JT");
    const ExtReferenceRefPtr bare = ExtReferenceBase::create();
    EXPECT_EQ(asSet(pool.getFileSuffixes()), (QSet<QString>{"JT", "osb", "stp", "zmb"}));
    b.reset();
    const FileReferencePtr source = coreOf(a)->getSourceFile();
    edit(source, FileReference::PathFieldMask, [&] { source->setPath("/cad/x.igs"); });
    EXPECT_EQ(asSet(pool.getFileSuffixes()), (QSet<QString>{"igs", "zmb"}));

    const char* const awkward[] = {"/a/.bashrc", "/a/b.", "/a.d/b", "/a/b/", "rel.x", "/a/..", "/a/b..c",
                                   "/a/.h.txt", "/a/b.x/", "C:\\dir\\f.stp", "/a/b.Z\xc3\xa4", "/a/none"};
    std::vector<NodeRefPtr> nodes;
    QSet<QString> expected{"igs", "zmb"};
    for (const char* path : awkward) {
        nodes.push_back(makeReferenceNode(path));
        expected.insert(QFileInfo(QString::fromUtf8(path)).suffix());
    }
    const QStringList suffixes = pool.getFileSuffixes();
    EXPECT_EQ(suffixes.size(), expected.size());
    EXPECT_EQ(asSet(suffixes), expected);
}

TEST_F(PoolTest, SmartFilesAreMadeOnceAndGoWithTheirCore)
{
    NodeRefPtr node = makeReferenceNode("/refs/a.zmb");
    const ExtReferencePtr core = coreOf(node);
    const NodeRefPtr other = makeReferenceNode("/refs/b.zmb");
    EXPECT_FALSE(pool.isSmartFileLoaded(core));
    EXPECT_EQ(pool.takeSmartFile(core), nullptr);

    const std::shared_ptr<ksSmartFile> file = pool.getSmartFile(core);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->getExtReference(), core);
    EXPECT_EQ(pool.getSmartFile(core), file);
    EXPECT_NE(pool.getSmartFile(coreOf(other)), file);
    // Taken out and given back, as an undone record removal does.
    EXPECT_EQ(pool.takeSmartFile(core), file);
    EXPECT_EQ(pool.takeSmartFile(core), nullptr);
    pool.setSmartFile(core, file);
    EXPECT_EQ(pool.getSmartFile(core), file);
    pool.eraseSmartFile(core);
    const std::weak_ptr<ksSmartFile> fresh = pool.getSmartFile(core);
    EXPECT_NE(fresh.lock(), file);
    node.reset();
    EXPECT_TRUE(fresh.expired());
}

TEST_F(PoolTest, SavesOnlyWhatNeedsSavingAndKeepsTheChangeMarkInStep)
{
    // ".xyz" files are neither loaded nor saved: every file operation fails.
    TempFiles files;
    const std::string path = files.path("a.xyz");
    const NodeRefPtr loaded = makeReferenceNode(path);
    const ExtReferencePtr core = coreOf(loaded);
    pool.resetChanged(core);

    EXPECT_TRUE(pool.saveSmartReference(core)) << "unchanged: nothing to write";
    pool.setChanged(core);
    EXPECT_FALSE(pool.saveSmartReference(core));
    EXPECT_FALSE(pool.saveSmartReferenceAs(core, QString::fromStdString(files.path("copy.xyz"))));
    EXPECT_FALSE(pool.loadSmartReference(core));
    EXPECT_TRUE(pool.isChanged(core));
    pool.resetChanged(core);
    EXPECT_FALSE(pool.unloadSmartReference(core));
    EXPECT_FALSE(pool.isChanged(core));
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(path)));

    // An undecided core is always written.
    const NodeRefPtr undecided = makeReferenceNode(path, "", ksReferenceTypes::Undefined);
    EXPECT_FALSE(pool.saveSmartReference(coreOf(undecided)));
    EXPECT_EQ(pool.findLoadedClone(core), NullFC);
}
