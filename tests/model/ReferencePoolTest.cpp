// Licensed under the MIT licence; see LICENSE.
// The reference pool as the scene graph's hooks feed it: content signals,
// statuses and the monitor's updates, change tracking, the scene queries and
// the smart file bookkeeping.
#include "ModelTestSupport.h"

#include "io/ksSmartFile.h"
#include "kernel/ksKernelServiceFactory.h"
#include "model/ksReferenceNode.h"
#include "model/ksReferencePool.h"
#include "references/ksReferenceService.h"
#include "scene/ksScenegraph.h"

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

    // Whatever a test hung into the live scene goes with the test.
    void TearDown() override
    {
        const NodePtr root = ksScenegraph::getRoot();
        edit(root, Node::ChildrenFieldMask, [&] {
            while (root->getNChildren() > 0)
                root->subChild(0u);
        });
    }

    static NodeRefPtr inScene(NodeRefPtr node)
    {
        addChild(ksScenegraph::getRoot(), node);
        return node;
    }

    static NodeRefPtr addContent(const NodePtr& parent)
    {
        NodeRefPtr child = makeGroupNode();
        addChild(parent, child);
        return child;
    }

    static ksReferenceService* service() { return ksKernelServiceFactory::the().get<ksReferenceService>(); }

    ksReferencePool& pool = ksReferencePool::instance();
};

std::set<ExtReferencePtr> asSet(const QList<ExtReferencePtr>& list)
{
    return std::set<ExtReferencePtr>(list.begin(), list.end());
}

void setTravMask(const NodePtr& node, UInt32 mask)
{
    edit(node, Node::TravMaskFieldMask, [&] { node->setTravMask(mask); });
}

} // namespace

TEST_F(PoolTest, AnnouncesContentOnTheFirstCoreAndTheEndOnTheLast)
{
    ASSERT_NE(service(), nullptr);
    QSignalSpy poolSpy(&pool, &ksReferencePool::poolHasContent);
    QSignalSpy serviceSpy(service(), &ksReferenceService::sceneHasReferences);
    // A receiver that waits for another thread taking the pool's lock, as
    // stopping the update monitor does: the pool must not hold it here.
    QObject receiver;
    std::vector<int> sizesSeen;
    QObject::connect(&pool, &ksReferencePool::poolHasContent, &receiver, [&](bool) {
        std::thread other([&] { sizesSeen.push_back(pool.getStatusSnapshot().size()); });
        other.join();
    });

    ExtReferenceRefPtr first = ExtReferenceBase::create();
    ExtReferenceRefPtr second = ExtReferenceBase::create();
    ASSERT_EQ(poolSpy.count(), 1);
    EXPECT_TRUE(poolSpy.at(0).at(0).toBool());
    EXPECT_FALSE(pool.isEmpty());

    first.reset();
    EXPECT_EQ(poolSpy.count(), 1);
    second.reset();
    ASSERT_EQ(poolSpy.count(), 2);
    EXPECT_FALSE(poolSpy.at(1).at(0).toBool());
    EXPECT_TRUE(pool.isEmpty());
    EXPECT_EQ(sizesSeen, (std::vector<int>{1, 0}));

    ASSERT_EQ(serviceSpy.count(), 2);
    EXPECT_TRUE(serviceSpy.at(0).at(0).toBool());
    EXPECT_FALSE(serviceSpy.at(1).at(0).toBool());
}

TEST_F(PoolTest, StatusesCopyTheRecordsAndAreRebuiltWhenARecordChanges)
{
    const NodeRefPtr node = makeReferenceNode("/refs/a.zmb", "/cad/a.stp");
    const ExtReferencePtr core = coreOf(node);
    const FileReferencePtr smart = core->getSmartFile();
    edit(smart, FieldBits::AllFields, [&] {
        smart->setState(ksReferenceTypes::Outdated);
        smart->setChecksum(7);
        smart->setLastModified(1234);
    });

    const ksExtReferenceStatusPtr status = pool.getStatusSnapshot().value(core.getFieldContainerId());
    ASSERT_TRUE(status);
    const ksFileReferenceStatusPtr smartStatus = status->smart();
    EXPECT_EQ(smartStatus->path, QByteArray("/refs/a.zmb"));
    EXPECT_TRUE(smartStatus->hasPath);
    EXPECT_EQ(smartStatus->state, UInt32(ksReferenceTypes::Outdated));
    EXPECT_EQ(smartStatus->checksum, 7u);
    EXPECT_EQ(smartStatus->lastModified, 1234u);
    EXPECT_EQ(smartStatus->lastChecked, 0u);
    EXPECT_EQ(status->source()->path, QByteArray("/cad/a.stp"));

    // Any edit of a record renews both statuses of its core.
    smartStatus->lastChecked = 1234;
    const ksFileReferenceStatusPtr sourceStatus = status->source();
    edit(core->getSourceFile(), FileReference::RelativePathFieldMask,
         [&] { core->getSourceFile()->setRelativePath("a.stp"); });
    EXPECT_EQ(pool.getStatusSnapshot().value(core.getFieldContainerId()), status);
    EXPECT_NE(status->smart(), smartStatus);
    EXPECT_NE(status->source(), sourceStatus);
    EXPECT_EQ(status->smart()->lastChecked, 0u);
    EXPECT_EQ(status->smart()->checksum, 7u);

    // A new record is followed from the edit of the core that takes it on.
    const FileReferenceRefPtr replacement = makeRecord("/refs/b.osb");
    edit(core, ExtReference::SmartFileFieldMask, [&] { core->setSmartFile(replacement); });
    EXPECT_EQ(status->smart()->path, QByteArray("/refs/b.osb"));
    edit(replacement.get(), FileReference::PathFieldMask, [&] { replacement->setPath("/refs/c.osb"); });
    EXPECT_EQ(status->smart()->path, QByteArray("/refs/c.osb"));

    // Records that belong to no pooled core change nothing.
    const FileReferenceRefPtr loose = makeRecord("/refs/loose.zmb");
    edit(loose.get(), FileReference::PathFieldMask, [&] { loose->setPath("/refs/other.zmb"); });
    EXPECT_EQ(pool.getStatusSnapshot().size(), 1);

    // Without records both statuses are empty.
    const ExtReferenceRefPtr bare = ExtReferenceBase::create();
    const ksExtReferenceStatusPtr bareStatus = pool.getStatusSnapshot().value(bare.getFieldContainerId());
    ASSERT_TRUE(bareStatus);
    for (const ksFileReferenceStatusPtr& empty : {bareStatus->smart(), bareStatus->source()}) {
        ASSERT_TRUE(empty);
        EXPECT_FALSE(empty->hasPath);
        EXPECT_TRUE(empty->path.isEmpty());
        EXPECT_EQ(empty->state, 0u);
        EXPECT_EQ(empty->checksum, 0u);
        EXPECT_EQ(empty->lastModified, 0u);
    }
    // Its first path reaches the next snapshot.
    edit(bare.get(), ExtReference::SourceFileFieldMask, [&] { bare->setSourceFile(makeRecord("/cad/bare.jt")); });
    const ksExtReferenceStatusPtr named = pool.getStatusSnapshot().value(bare.getFieldContainerId());
    ASSERT_TRUE(named);
    EXPECT_EQ(named->source()->path, QByteArray("/cad/bare.jt"));
    EXPECT_FALSE(named->smart()->hasPath);
}

TEST_F(PoolTest, AppliedUpdatesReachTheRecordsWithoutRebuildingTheStatuses)
{
    const NodeRefPtr node = makeReferenceNode("/refs/a.zmb", "/cad/a.stp");
    const ExtReferencePtr core = coreOf(node);
    const NodeRefPtr pathless = makeReferenceNode("", "/cad/p.stp");
    const FileReferenceRefPtr emptyRecord = makeRecord("", ksReferenceTypes::Outdated);
    edit(coreOf(pathless), ExtReference::SmartFileFieldMask, [&] { coreOf(pathless)->setSmartFile(emptyRecord); });
    UInt32 goneId = 0;
    {
        const ExtReferenceRefPtr gone = ExtReferenceBase::create();
        goneId = gone.getFieldContainerId();
    }

    // What the monitor's thread writes into the shared records.
    const QHash<quint32, ksExtReferenceStatusPtr> snapshot = pool.getStatusSnapshot();
    const ksExtReferenceStatusPtr status = snapshot.value(core.getFieldContainerId());
    const ksFileReferenceStatusPtr smartStatus = status->smart();
    const ksFileReferenceStatusPtr sourceStatus = status->source();
    smartStatus->state = ksReferenceTypes::Missing;
    smartStatus->lastModified = 0;
    smartStatus->checksum = 9;
    sourceStatus->state = ksReferenceTypes::Outdated;
    sourceStatus->lastModified = 77;
    sourceStatus->lastChecked = 77;
    sourceStatus->checksum = 3;

    pool.applyUpdates({core.getFieldContainerId(), coreOf(pathless).getFieldContainerId(), goneId, 0u,
                       core->getSmartFile().getFieldContainerId()});

    const FileReferencePtr smart = core->getSmartFile();
    EXPECT_EQ(smart->getState(), UInt32(ksReferenceTypes::Missing));
    EXPECT_EQ(smart->getChecksum(), 9u);
    EXPECT_EQ(smart->getLastModified(), 0u);
    const FileReferencePtr source = core->getSourceFile();
    EXPECT_EQ(source->getState(), UInt32(ksReferenceTypes::Outdated));
    EXPECT_EQ(source->getChecksum(), 3u);
    EXPECT_EQ(source->getLastModified(), 77u);
    // Not rebuilt: the monitor goes on with its own bookkeeping.
    EXPECT_EQ(status->smart(), smartStatus);
    EXPECT_EQ(status->source(), sourceStatus);
    EXPECT_EQ(sourceStatus->lastChecked, 77u);
    // A status without a path is never copied.
    EXPECT_EQ(emptyRecord->getState(), UInt32(ksReferenceTypes::Outdated));

    // Outside applyUpdates the same edit renews the statuses.
    edit(source, FieldBits::AllFields, [&] { source->setChecksum(4); });
    EXPECT_NE(status->source(), sourceStatus);
    EXPECT_EQ(status->source()->lastChecked, 0u);
    EXPECT_EQ(status->source()->checksum, 4u);
}

TEST_F(PoolTest, EditsOfLoadedContentMarkTheReferenceChangedBookkeepingDoesNot)
{
    //  root
    //  +- ref (ExtReference, Loaded, smart "/refs/ref.zmb")
    //     +- part (Group)
    const NodeRefPtr ref = inScene(makeReferenceNode("/refs/ref.zmb", "/cad/ref.stp"));
    const ExtReferencePtr core = coreOf(ref);
    const NodeRefPtr part = addContent(ref.get());
    QSignalSpy modified(&pool, &ksReferencePool::modifiedStateChanged);
    QSignalSpy editState(service(), &ksReferenceService::referenceEditStateChagned);
    pool.resetChanged(core);
    ASSERT_FALSE(pool.isChanged(core));

    const FileReferencePtr smart = core->getSmartFile();
    const FileInfoRefPtr info = FileInfoBase::create();
    struct Bookkeeping
    {
        const char* what;
        FieldContainerPtr container;
        BitVector mask;
    };
    const Bookkeeping bookkeeping[] = {
        {"the reference node's flags", ref.get(), Node::FlagsFieldMask},
        {"the reference node's attachments", ref.get(), Node::AttachmentsFieldMask},
        {"the reference node's visibility", ref.get(), Node::TravMaskFieldMask},
        {"the reference node's external flags", ref.get(), Node::ExternalFlagsFieldMask},
        {"the reference node's index", ref.get(), Node::IndexFieldMask},
        {"the reference's transform", core, Transform3D::TranslationFieldMask | Transform3D::ScaleFieldMask},
        {"a content node's flags", part.get(), Node::FlagsFieldMask},
        {"the records' owner, time and relative path", smart,
         FileReference::OwnerFieldMask | FileReference::LastModifiedFieldMask | FileReference::RelativePathFieldMask},
    };
    for (const Bookkeeping& change : bookkeeping) {
        beginEditCP(change.container, change.mask);
        if (change.container == ref.get() && change.mask == Node::AttachmentsFieldMask)
            ref->addAttachment(info);
        endEditCP(change.container, change.mask);
        EXPECT_FALSE(pool.isChanged(core)) << change.what;
    }
    EXPECT_EQ(modified.count(), 0);

    setTravMask(part.get(), 0);
    EXPECT_TRUE(pool.isChanged(core));
    EXPECT_TRUE(ksReferenceNode(ref.get()).isChanged());
    setTravMask(part.get(), 1);
    EXPECT_EQ(modified.count(), 1);

    pool.resetChanged(core);
    EXPECT_FALSE(pool.isChanged(core));
    pool.setChanged(core);
    EXPECT_TRUE(pool.isChanged(core));
    EXPECT_EQ(modified.count(), 2);
    // The service folds the requests of 100 ms into one.
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
    ASSERT_TRUE(pool.isChanged(core));

    edit(core, ExtReference::StateFieldMask, [&] { core->setState(ksReferenceTypes::NotLoaded); });
    EXPECT_FALSE(pool.isChanged(core));
    edit(core, ExtReference::StateFieldMask, [&] { core->setState(ksReferenceTypes::Loaded); });
    EXPECT_TRUE(pool.isChanged(core));
    edit(core->getSmartFile(), FileReference::StateFieldMask,
         [&] { core->getSmartFile()->setState(ksReferenceTypes::Missing); });
    EXPECT_FALSE(pool.isChanged(core));
    edit(core, ExtReference::SmartFileFieldMask, [&] { core->setSmartFile(NullFC); });
    EXPECT_FALSE(pool.isChanged(core));

    // Marks given to a core that does not qualify are not kept.
    const NodeRefPtr unloaded = makeReferenceNode("/refs/u.zmb", "", ksReferenceTypes::NotLoaded);
    pool.setChanged(coreOf(unloaded));
    edit(coreOf(unloaded), ExtReference::StateFieldMask,
         [&] { coreOf(unloaded)->setState(ksReferenceTypes::Loaded); });
    EXPECT_FALSE(pool.isChanged(coreOf(unloaded)));
}

TEST_F(PoolTest, CountsChangedReferencesUnlessEveryNodeOfThemCarriesBit12)
{
    //  root
    //  +- a (smart a.zmb)  +- b (smart b.zmb, flag 0x1000)  +- c1, c2 (one core, c1 flagged)
    //     +- content          +- content                       +- content (below c1)
    //  +- d (smart d.zmb, unchanged)
    const NodeRefPtr a = inScene(makeReferenceNode("/refs/a.zmb"));
    const NodeRefPtr b = inScene(makeReferenceNode("/refs/b.zmb"));
    const NodeRefPtr c1 = inScene(makeReferenceNode("/refs/c.zmb"));
    const NodeRefPtr c2 = inScene(Node::create());
    c2->setCore(c1->getCore());
    const NodeRefPtr d = inScene(makeReferenceNode("/refs/d.zmb"));
    std::vector<NodeRefPtr> content;
    for (const NodeRefPtr& node : {a, b, c1})
        content.push_back(addContent(node.get()));
    for (const NodeRefPtr& node : {b, c1})
        edit(node.get(), Node::FlagsFieldMask, [&] { node->setFlags(node->getFlags() | 0x1000); });
    pool.resetAllChanged();
    for (const NodeRefPtr& node : {a, b, c1, d})
        pool.resetChanged(coreOf(node));
    EXPECT_EQ(pool.getNumChangedReferences(), 0u);

    for (const NodeRefPtr& node : content)
        setTravMask(node.get(), 0);
    for (const NodeRefPtr& node : {a, b, c1})
        EXPECT_TRUE(pool.isChanged(coreOf(node)));
    EXPECT_EQ(pool.getNumChangedReferences(), 2u);

    pool.resetAllChanged();
    EXPECT_EQ(pool.getNumChangedReferences(), 0u);
    for (const NodeRefPtr& node : {a, b, c1, d})
        EXPECT_FALSE(pool.isChanged(coreOf(node)));
}

TEST_F(PoolTest, SubReferencesAreLookedForBelowTheNodeButNotAtIt)
{
    //  outer (smart outer.zmb)
    //  +- part
    //     +- inner (smart inner.zmb)
    //        +- innerPart
    const NodeRefPtr outer = makeReferenceNode("/refs/outer.zmb");
    const NodeRefPtr part = addContent(outer.get());
    const NodeRefPtr inner = makeReferenceNode("/refs/inner.zmb");
    addChild(part.get(), inner);
    const NodeRefPtr innerPart = addContent(inner.get());
    const ExtReferencePtr outerCore = coreOf(outer);
    const ExtReferencePtr innerCore = coreOf(inner);
    pool.resetChanged(outerCore);
    pool.resetChanged(innerCore);

    // Nested content belongs to the nested reference alone.
    setTravMask(innerPart.get(), 0);
    EXPECT_TRUE(pool.isChanged(innerCore));
    EXPECT_FALSE(pool.isChanged(outerCore));
    EXPECT_TRUE(pool.isSubReferenceChanged(outerCore));
    EXPECT_TRUE(pool.isSelfOrSubReferenceChanged(outerCore));
    EXPECT_FALSE(pool.isSubReferenceChanged(innerCore));
    EXPECT_TRUE(pool.isSelfOrSubReferenceChanged(innerCore));

    pool.resetChanged(innerCore);
    EXPECT_FALSE(pool.isSubReferenceChanged(outerCore));
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
    //  +- a (same.zmb)   +- d1 (same.zmb; d2 shares the core, detached)   +- e (other.zmb)
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
    EXPECT_EQ(asSet(listed), (std::set<ExtReferencePtr>{coreOf(a), coreOf(d1), coreOf(e), coreOf(nested)}));

    const std::set<ExtReferencePtr> same{coreOf(a), coreOf(d1)};
    EXPECT_EQ(pool.getReferencesWithSameSmartFile(coreOf(a)), same);
    // A core outside the scene finds the live ones, not itself.
    EXPECT_EQ(pool.getReferencesWithSameSmartFile(coreOf(b)), same);
    EXPECT_EQ(pool.getReferencesWithSameSmartFile(coreOf(e)), std::set<ExtReferencePtr>{coreOf(e)});
}

TEST_F(PoolTest, FileSuffixesAreThoseOfAllPooledPaths)
{
    const auto sorted = [](QStringList list) {
        list.sort();
        return list;
    };
    const NodeRefPtr a = makeReferenceNode("/refs/x.zmb", "/cad/x.stp");
    NodeRefPtr b = makeReferenceNode("/refs/y.osb", "/cad/y.stp");
    const NodeRefPtr c = makeReferenceNode("", "/cad/archive.tar.JT");
    const ExtReferenceRefPtr bare = ExtReferenceBase::create();
    EXPECT_EQ(sorted(pool.getFileSuffixes()), (QStringList{"JT", "osb", "stp", "zmb"}));

    b.reset();
    EXPECT_EQ(sorted(pool.getFileSuffixes()), (QStringList{"JT", "stp", "zmb"}));
    const FileReferencePtr source = coreOf(a)->getSourceFile();
    edit(source, FileReference::PathFieldMask, [&] { source->setPath("/cad/x.igs"); });
    EXPECT_EQ(sorted(pool.getFileSuffixes()), (QStringList{"JT", "igs", "zmb"}));
}

TEST_F(PoolTest, FileSuffixesFollowQtsNotionOfASuffix)
{
    const char* const paths[] = {"/a/.bashrc", "/a/b.",       "/a.d/b",  "/a.d/b.tar.gz", "/a/b/",
                                 "relative.x", "/a/..",       "/a/b..c", "/a/.hidden.txt", "/a/b.x/",
                                 "C:\\dir\\f.stp", "/a/b.Z\xc3\xa4", "/a/noSuffix"};
    std::vector<NodeRefPtr> nodes;
    QSet<QString> expected;
    for (const char* path : paths) {
        nodes.push_back(makeReferenceNode(path));
        expected.insert(QFileInfo(QString::fromUtf8(path)).suffix());
    }
    const QStringList suffixes = pool.getFileSuffixes();
    EXPECT_EQ(suffixes.size(), expected.size());
    EXPECT_EQ(QSet<QString>(suffixes.begin(), suffixes.end()), expected);
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

    // The pool lets go of it when the core goes.
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
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(path)));
    pool.setChanged(core);
    EXPECT_FALSE(pool.saveSmartReference(core));
    EXPECT_TRUE(pool.isChanged(core));
    EXPECT_FALSE(pool.saveSmartReferenceAs(core, QString::fromStdString(files.path("copy.xyz"))));
    EXPECT_TRUE(pool.isChanged(core));
    EXPECT_FALSE(pool.loadSmartReference(core));
    EXPECT_TRUE(pool.isChanged(core));

    pool.resetChanged(core);
    EXPECT_FALSE(pool.unloadSmartReference(core));
    EXPECT_FALSE(pool.isChanged(core));

    // An undecided core is always written.
    const NodeRefPtr undecided = makeReferenceNode(path, "", ksReferenceTypes::Undefined);
    EXPECT_FALSE(pool.saveSmartReference(coreOf(undecided)));

    EXPECT_EQ(pool.findLoadedClone(core), NullFC);
}
