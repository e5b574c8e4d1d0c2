// Licensed under the MIT licence; see LICENSE.
// Bringing the records of a subtree up to date, and the questions about
// changed and missing references.
#include "QueriesTestSupport.h"

#include "model/ksReferencePool.h"
#include "references/ksReferenceUpdateFlags.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace osg;
using namespace queries;

namespace {

constexpr unsigned SmartInfo = ksReferenceUpdateFlags::UpdateSmartFileInfo;
constexpr unsigned SourceInfo = ksReferenceUpdateFlags::UpdateSourceFileInfo;
constexpr unsigned DecideLoadState = ksReferenceUpdateFlags::DecideLoadState;
constexpr unsigned ResetChanged = ksReferenceUpdateFlags::ResetChanged;
constexpr unsigned FileStates = ksReferenceUpdateFlags::UpdateFileStates;

ExtReferencePtr coreOf(const NodeRefPtr& node)
{
    return ExtReferencePtr::dcast(node->getCore());
}

UInt32 stateOf(const NodeRefPtr& node)
{
    return coreOf(node)->getState();
}

class QueriesUpdateTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_NE(refs, nullptr);
        ksReferencePool::instance().registerCallbacks();
        ASSERT_TRUE(dir.isValid());
    }

    std::string writeFile(const QString& name, const QByteArray& content = "content")
    {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return dir.filePath(name).toStdString();
    }

    // A loaded reference node with a smart record whose file is taken as
    // present, and some content, watched for edits by the pool.
    NodeRefPtr addLoaded(const NodePtr& parent, const std::string& name)
    {
        ExtReferenceRefPtr core = makeReferenceCore("/p/" + name + ".zmb");
        core->setState(ksReferenceTypes::Loaded);
        const NodeRefPtr node = addNode(parent, name, core);
        addGroup(node.get(), name + " content");
        refs->resetChanged(node.get());
        return node;
    }

    ksReferenceInterface* refs = referenceInterface();
    QTemporaryDir dir;
};

TEST_F(QueriesUpdateTest, DecidesTheLoadStateOnlyOfUndecidedReferences)
{
    // top (undecided)
    // ├── empty (undecided)
    // ├── full (undecided) ── content
    // ├── unloaded (NotLoaded) ── content
    // └── loaded (Loaded)
    const NodeRefPtr top = addNode(NullFC, "top", makeReferenceCore("/p/top.zmb"));
    const NodeRefPtr empty = addNode(top.get(), "empty", makeReferenceCore("/p/empty.zmb"));
    const NodeRefPtr full = addNode(top.get(), "full", makeReferenceCore("", "/cad/full.step"));
    addGroup(full.get(), "content");
    const NodeRefPtr unloaded = addNode(top.get(), "unloaded", makeReferenceCore("/p/u.zmb"));
    coreOf(unloaded)->setState(ksReferenceTypes::NotLoaded);
    addGroup(unloaded.get(), "content");
    const NodeRefPtr loaded = addNode(top.get(), "loaded", makeReferenceCore("/p/l.zmb"));
    coreOf(loaded)->setState(ksReferenceTypes::Loaded);

    refs->updateReferences(top.get(), DecideLoadState, false);

    EXPECT_EQ(stateOf(top), UInt32(ksReferenceTypes::Loaded));
    EXPECT_EQ(stateOf(empty), UInt32(ksReferenceTypes::NotLoaded));
    EXPECT_EQ(stateOf(full), UInt32(ksReferenceTypes::Loaded));
    EXPECT_EQ(stateOf(unloaded), UInt32(ksReferenceTypes::NotLoaded));
    EXPECT_EQ(stateOf(loaded), UInt32(ksReferenceTypes::Loaded));
}

TEST_F(QueriesUpdateTest, OnlyThisNodeLeavesTheReferencesBelowAlone)
{
    const std::string topFile = writeFile("top.step");
    const std::string innerFile = writeFile("inner.step");
    const NodeRefPtr top = addNode(NullFC, "top", makeReferenceCore("", topFile));
    const NodeRefPtr inner = addNode(top.get(), "inner", makeReferenceCore("", innerFile));

    refs->updateReferences(top.get(), SourceInfo | DecideLoadState, true);

    EXPECT_NE(coreOf(top)->getSourceFile()->getChecksum(), 0u);
    EXPECT_NE(coreOf(top)->getSourceFile()->getLastModified(), 0u);
    EXPECT_EQ(stateOf(top), UInt32(ksReferenceTypes::Loaded));
    EXPECT_EQ(coreOf(inner)->getSourceFile()->getChecksum(), 0u);
    EXPECT_EQ(stateOf(inner), UInt32(ksReferenceTypes::Undefined));

    // A plain node alone has nothing to update, not even below it.
    const NodeRefPtr group = addGroup(NullFC, "group");
    group->addChild(inner);
    refs->updateReferences(group.get(), SourceInfo | DecideLoadState, true);
    EXPECT_EQ(stateOf(inner), UInt32(ksReferenceTypes::Undefined));

    // The whole subtree otherwise.
    refs->updateReferences(group.get(), SourceInfo | DecideLoadState, false);
    EXPECT_NE(coreOf(inner)->getSourceFile()->getChecksum(), 0u);
    EXPECT_EQ(stateOf(inner), UInt32(ksReferenceTypes::NotLoaded));
}

TEST_F(QueriesUpdateTest, RefreshesRecordsFromTheDisk)
{
    const std::string smartFile = writeFile("part.zmb");
    const std::string sourceFile = writeFile("part.step");
    const NodeRefPtr node = addNode(NullFC, "node", makeReferenceCore(smartFile, sourceFile));
    const NodeRefPtr missing = addNode(node.get(), "missing", makeReferenceCore(dir.filePath("gone.zmb").toStdString()));
    const FileReferencePtr smart = coreOf(node)->getSmartFile();
    const FileReferencePtr source = coreOf(node)->getSourceFile();

    refs->updateReferences(node.get(), SmartInfo, false);
    EXPECT_NE(smart->getChecksum(), 0u);
    EXPECT_EQ(source->getChecksum(), 0u);
    EXPECT_EQ(coreOf(missing)->getSmartFile()->getState(), UInt32(ksReferenceTypes::Missing));

    refs->updateReferences(node.get(), SourceInfo, false);
    EXPECT_NE(source->getChecksum(), 0u);

    // The states alone: a changed file is outdated until its info is taken.
    {
        QFile file(QString::fromStdString(sourceFile));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("changed content");
    }
    source->setLastModified(1);
    refs->updateReferences(node.get(), FileStates, false);
    EXPECT_EQ(source->getState(), UInt32(ksReferenceTypes::Outdated));
    EXPECT_EQ(smart->getState(), UInt32(ksReferenceTypes::UpToDate));
}

TEST_F(QueriesUpdateTest, NoFlagsChangeNothing)
{
    const std::string sourceFile = writeFile("part.step");
    const NodeRefPtr node = addNode(NullFC, "node", makeReferenceCore("/p/gone.zmb", sourceFile));
    addNode(node.get(), "inner", makeReferenceCore("/p/inner.zmb"));
    int published = 0;
    const ChangeSubscription watch = ChangeObservers::subscribe(node.get(), [&](const ChangeEvent&) { ++published; });

    refs->updateReferences(node.get(), 0, false);
    refs->updateReferences(NullFC, ~0u, false);

    EXPECT_EQ(published, 0);
    EXPECT_EQ(stateOf(node), UInt32(ksReferenceTypes::Undefined));
    EXPECT_EQ(coreOf(node)->getSourceFile()->getChecksum(), 0u);
    EXPECT_EQ(coreOf(node)->getSmartFile()->getState(), UInt32(ksReferenceTypes::UpToDate));
}

TEST_F(QueriesUpdateTest, TheLoadStateIsDecidedBeforeTheChangeMarkIsReset)
{
    // Reset only starts watching a loaded reference, so with both steps in
    // one call a fresh reference with content is watched afterwards.
    const NodeRefPtr node = addNode(NullFC, "node", makeReferenceCore("/p/node.zmb"));
    const NodeRefPtr content = addGroup(node.get(), "content");

    refs->updateReferences(node.get(), ResetChanged | DecideLoadState, false);
    ASSERT_FALSE(refs->isChanged(node.get()));
    ksNodeUtils::setName(content.get(), "renamed", true);
    EXPECT_TRUE(refs->isChanged(node.get()));

    refs->updateReferences(node.get(), ResetChanged, false);
    EXPECT_FALSE(refs->isChanged(node.get()));
}

TEST_F(QueriesUpdateTest, ChangeMarksAreResetForTheWholeSubtree)
{
    // top ── inner
    // other (not below top)
    const NodeRefPtr top = addLoaded(NullFC, "top");
    const NodeRefPtr inner = addLoaded(top.get(), "inner");
    const NodeRefPtr other = addLoaded(NullFC, "other");
    const int before = refs->getChangedSmartReferencesCount();
    for (const NodeRefPtr& node : {top, inner, other})
        ksNodeUtils::setName(node->getChild(0), "edited", true);
    EXPECT_TRUE(refs->isChanged(top.get()));
    EXPECT_TRUE(refs->isChanged(inner.get()));
    EXPECT_EQ(refs->getChangedSmartReferencesCount(), before + 3);

    refs->resetChanged(top.get());

    EXPECT_FALSE(refs->isChanged(top.get()));
    EXPECT_FALSE(refs->isChanged(inner.get()));
    EXPECT_TRUE(refs->isChanged(other.get()));
    EXPECT_EQ(refs->getChangedSmartReferencesCount(), before + 1);

    EXPECT_FALSE(refs->isChanged(top->getChild(0)));
    EXPECT_FALSE(refs->isChanged(NullFC));
    refs->resetChanged(NullFC);
}

TEST_F(QueriesUpdateTest, CountsMissingSmartRecordsAlsoBelowMissingOnes)
{
    // top      missing
    // ├── a    missing
    // │   └── b    missing
    // ├── c    up to date
    // └── d    source only, missing
    const NodeRefPtr top = addNode(NullFC, "top", makeReferenceCore("/p/top.zmb", {}, ksReferenceTypes::Missing));
    const NodeRefPtr a = addNode(top.get(), "a", makeReferenceCore("/p/a.zmb", {}, ksReferenceTypes::Missing));
    addNode(a.get(), "b", makeReferenceCore("/p/b.zmb", {}, ksReferenceTypes::Missing));
    addNode(top.get(), "c", makeReferenceCore("/p/c.zmb"));
    const NodeRefPtr d = addNode(top.get(), "d", makeReferenceCore("", "/cad/d.step"));
    coreOf(d)->getSourceFile()->setState(ksReferenceTypes::Missing);

    EXPECT_EQ(refs->getMissingSmartReferencesCount(top.get()), 3);
    EXPECT_EQ(refs->getMissingSmartReferencesCount(a.get()), 2);
    EXPECT_EQ(refs->getMissingSmartReferencesCount(d.get()), 0);
    EXPECT_EQ(refs->getMissingSmartReferencesCount(NullFC), 0);
}

TEST_F(QueriesUpdateTest, NothingIsMissingWhileThePoolTracksNoReference)
{
    ASSERT_TRUE(ksReferencePool::instance().isEmpty()) << "a test before this one left references alive";
    // Built while the pool does not hear of new cores.
    ExtReference::setAddToPoolCallback({});
    const NodeRefPtr top = addNode(NullFC, "top", makeReferenceCore("/p/top.zmb", {}, ksReferenceTypes::Missing));
    addNode(top.get(), "a", makeReferenceCore("/p/a.zmb", {}, ksReferenceTypes::Missing));
    ksReferencePool::instance().registerCallbacks();
    ASSERT_TRUE(ksReferencePool::instance().isEmpty());

    EXPECT_EQ(refs->getMissingSmartReferencesCount(top.get()), 0);

    // As soon as one reference is tracked, the same records count.
    const ExtReferenceRefPtr tracked = ExtReference::create();
    EXPECT_EQ(refs->getMissingSmartReferencesCount(top.get()), 2);
}

} // namespace
