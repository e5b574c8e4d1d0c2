// Licensed under the MIT licence; see LICENSE.
// The reference pool as the scene graph's hooks feed it.
#include "ModelTestSupport.h"

#include "kernel/ksKernelServiceFactory.h"
#include "model/ksReferenceNode.h"
#include "model/ksReferencePool.h"
#include "references/ksReferenceService.h"

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
//     +- part
TEST_F(PoolTest, EditsOfLoadedContentMarkAQualifyingReferenceChangedBookkeepingDoesNot)
{
    const NodeRefPtr ref = inScene(reference("", "/refs/ref.zmb", "/cad/ref.stp"));
    const ExtReferencePtr core = coreOf(ref);
    const NodeRefPtr part = add(ref.get(), "");
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
}

TEST_F(PoolTest, ListsTheCoresOfTheLiveSceneOnly)
{
    //  root
    //  +- a (same.zmb)   +- d1 (same.zmb; its clone d2 is detached)   +- e (other.zmb)
    //                                                                    +- nested
    //  detached: b (same.zmb); a core c without node
    const NodeRefPtr a = inScene(reference("", "/refs/same.zmb"));
    const NodeRefPtr b = reference("", "/refs/same.zmb");
    const ExtReferenceRefPtr c = ExtReferenceBase::create();
    const NodeRefPtr d2 = reference("", "/refs/same.zmb");
    const NodeRefPtr d1 = inScene(Node::create());
    d1->setCore(d2->getCore());
    const NodeRefPtr e = inScene(reference("", "/refs/other.zmb"));
    const NodeRefPtr nested = reference("", "/refs/nested.zmb");
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
