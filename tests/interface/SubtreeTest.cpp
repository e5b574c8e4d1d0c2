// Licensed under the MIT licence; see LICENSE.
// The interface's searches and updates of the references in a subtree, and
// the live scene's smart records stashed and restored unseen.
#include "InterfaceTestSupport.h"

#include "references/ksReferenceFindFlags.h"
#include "references/ksReferenceUpdateFlags.h"
#include "undo/ksUndoStack.h"

#include <map>

using namespace osg;
using namespace interfacetest;
using Update = ksReferenceUpdateFlags;
using Find = ksReferenceFindFlags;
using Names = std::vector<std::string>;

namespace {

// A node named `name` below `parent`, a reference when it has a smart or
// source file ("-": a smart record without a path).
NodeRefPtr addNode(const NodePtr& parent, const std::string& name, const char* smart, const char* source = nullptr)
{
    if (!smart && !source)
        return add(parent, name);
    ExtReferenceRefPtr core = ExtReference::create();
    if (smart)
        core->setSmartFile(*smart == '-' ? record("", ksReferenceTypes::NoPath) : record(smart));
    if (source)
        core->setSourceFile(record(source));
    return add(parent, name, core);
}

Names names(const std::vector<NodePtr>& nodes)
{
    Names result;
    for (const NodePtr& node : nodes)
        result.push_back(ksNodeUtils::getName(node));
    return result;
}

using Subtree = LiveSceneTest;

TEST_F(Subtree, SearchesDownAndUpFilterAsTheFlagsSay)
{
    // root ── T smart ─┬─ A smart ─┬─ g ── B source ── C smart
    //                  │           └─ D smart, no path
    //                  └─ E source ── F smart
    const NodeRefPtr root = addNode(NullFC, "root", nullptr);
    const NodeRefPtr T = addNode(root.get(), "T", "/p/t.zmb");
    const NodeRefPtr A = addNode(T.get(), "A", "/p/a.zmb");
    const NodeRefPtr g = addNode(A.get(), "g", nullptr);
    const NodeRefPtr B = addNode(g.get(), "B", nullptr, "/cad/b.step");
    const NodeRefPtr C = addNode(B.get(), "C", "/p/c.zmb");
    const NodeRefPtr D = addNode(A.get(), "D", "-");
    const NodeRefPtr E = addNode(T.get(), "E", nullptr, "/cad/e.step");
    addNode(E.get(), "F", "/p/f.zmb");

    const struct
    {
        NodeRefPtr start;
        unsigned flags;
        Names down;
    } cases[] = {
        {root, 0, {"T", "A", "B", "C", "D", "E", "F"}},
        {root, Find::FindFirstOnly, {"T"}},
        {root, Find::FindSmartOnly | Find::FindSkipNoPathSmart, {"T", "A", "C", "F"}},
        {T, Find::FindNonSmartOnly | Find::FindFirstOnly, {"B", "E"}},
        {T, Find::FindExcludeStart | Find::FindFirstOnly, {"A", "E"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(names(refs().findExtReferences(c.start.get(), c.flags)), c.down) << c.flags;

    EXPECT_EQ(names(refs().findParentExtReferences(C.get(), 0)), (Names{"C", "B", "A", "T"}));
    // The nearest reference above C has no smart record: the walk passes
    // it and ends at A.
    const unsigned firstSmartAbove = Find::FindExcludeStart | Find::FindSmartOnly | Find::FindFirstOnly;
    EXPECT_EQ(names(refs().findParentExtReferences(C.get(), firstSmartAbove)), Names{"A"});
    EXPECT_TRUE(refs().findParentExtReferences(root.get(), Find::FindExcludeStart).empty());

    // Smart records, once each (A's clone shares A's record); none made.
    addNode(root.get(), "A'", nullptr)->setCore(NodeCoreRefPtr(A->getCore()));
    std::set<FileReferencePtr> records;
    refs().collectSmartFiles(root.get(), records);
    EXPECT_EQ(records.size(), 5u);
    EXPECT_EQ(records.count(coreOf(D)->getSmartFile()), 1u);
}

TEST_F(Subtree, UpdatesRunTheSelectedStepsChildrenFirst)
{
    const std::string source = file("part.step", "content");
    // top (undecided, source file) ─┬─ empty (undecided, source file)
    //                                ├─ full (undecided) ── content
    //                                └─ unloaded (NotLoaded)
    const NodeRefPtr top = addNode(NullFC, "top", "/p/top.zmb", source.c_str());
    const NodeRefPtr empty = addNode(top.get(), "empty", "/p/e.zmb", source.c_str());
    const NodeRefPtr full = addNode(top.get(), "full", "/p/f.zmb");
    const NodeRefPtr content = addNode(full.get(), "content", nullptr);
    const NodeRefPtr unloaded = addNode(top.get(), "unloaded", "/p/u.zmb");
    coreOf(unloaded)->setState(ksReferenceTypes::NotLoaded);

    // No bit, no step: nothing in the subtree is edited.
    int edits = 0;
    {
        const ChangeSubscription watch = ChangeObservers::subscribe(top.get(), [&](const ChangeEvent&) { ++edits; });
        refs().updateReferences(top.get(), 0, false);
    }
    EXPECT_EQ(edits, 0);
    EXPECT_EQ(coreOf(top)->getState(), UInt32(ksReferenceTypes::Undefined));

    // Only the start node.
    refs().updateReferences(top.get(), Update::UpdateSourceFileInfo | Update::DecideLoadState, true);
    EXPECT_NE(coreOf(top)->getSourceFile()->getChecksum(), 0u);
    EXPECT_EQ(coreOf(empty)->getSourceFile()->getChecksum(), 0u);
    EXPECT_EQ(coreOf(top)->getState(), UInt32(ksReferenceTypes::Loaded));
    EXPECT_EQ(coreOf(empty)->getState(), UInt32(ksReferenceTypes::Undefined));

    // The state is decided before the change mark is reset, which only
    // starts watching loaded references.
    refs().updateReferences(top.get(), Update::DecideLoadState | Update::ResetChanged, false);
    EXPECT_EQ(coreOf(empty)->getState(), UInt32(ksReferenceTypes::NotLoaded));
    EXPECT_EQ(coreOf(full)->getState(), UInt32(ksReferenceTypes::Loaded));
    EXPECT_EQ(coreOf(unloaded)->getState(), UInt32(ksReferenceTypes::NotLoaded));
    ksNodeUtils::setName(content.get(), "edited", true);
    ksNodeUtils::setName(empty.get(), "renamed", true);
    ASSERT_TRUE(refs().isChanged(full.get()) && refs().isChanged(top.get()));
    const int changed = refs().getChangedSmartReferencesCount();
    // A reset reaches the references below the node, not those above it.
    refs().resetChanged(content.get());
    EXPECT_TRUE(refs().isChanged(full.get()));
    refs().resetChanged(top.get());
    EXPECT_FALSE(refs().isChanged(top.get()) || refs().isChanged(full.get()));
    EXPECT_EQ(refs().getChangedSmartReferencesCount(), changed - 2);
}

TEST_F(Subtree, RenewingTheSmartRecordIsUndoableAndComesBeforeItsRefresh)
{
    const NodeRefPtr smart = addNode(NullFC, "smart", "/p/old.zmb");
    const NodeRefPtr plain = addNode(smart.get(), "plain", nullptr, "/cad/p.step");
    const FileReferencePtr old = coreOf(smart)->getSmartFile();
    ksUndoStack& undo = ksUndoStack::get(0);
    const int steps = undo.stack().index();

    refs().updateReferences(smart.get(), Update::UpdateSmartFileInfo | Update::RenewSmartFile, false);
    for (const NodeRefPtr& node : {smart, plain}) {
        const FileReferencePtr renewed = coreOf(node)->getSmartFile();
        ASSERT_TRUE(renewed);
        EXPECT_NE(renewed, old);
        EXPECT_EQ(renewed->getPath(), "");
        // Refreshed after the renewal: the new record has no path.
        EXPECT_EQ(renewed->getState(), UInt32(ksReferenceTypes::NoPath));
    }
    EXPECT_EQ(undo.stack().index(), steps + 3);
    while (undo.stack().index() > steps)
        undo.undo();
    EXPECT_EQ(coreOf(smart)->getSmartFile(), old);
    EXPECT_EQ(coreOf(plain)->getSmartFile(), NullFC);
}

// The pool's status records by core: replaced whenever the pool hears of an
// edited core or record.
std::map<quint32, const void*> poolStatuses()
{
    std::map<quint32, const void*> statuses;
    const auto snapshot = ksReferencePool::instance().getStatusSnapshot();
    for (auto it = snapshot.begin(); it != snapshot.end(); ++it)
        statuses[it.key()] = it.value()->smart().get();
    return statuses;
}

TEST_F(Subtree, SmartRecordsLeaveTheLiveSceneAndComeBackUnseen)
{
    // live root ─┬─ A smart ── B smart
    //            └─ A' (A's core)
    // O smart, outside the live scene
    const NodePtr live = ksScenegraph::getRoot();
    const NodeRefPtr A = addNode(live, "A", "/p/a.zmb");
    NodeRefPtr B = addNode(A.get(), "B", "/p/b.zmb");
    add(live, "A'", NodeCoreRefPtr(A->getCore()));
    const NodeRefPtr outsideRoot = add(NullFC, "outside");
    const NodeRefPtr O = addNode(outsideRoot.get(), "O", "/p/o.zmb");
    const auto smartOf = [](const NodeRefPtr& node) { return coreOf(node)->getSmartFile(); };
    const std::vector<FileReferencePtr> before{smartOf(A), smartOf(B), smartOf(O)};
    const auto statuses = poolStatuses();
    const int undoSteps = ksUndoStack::get(0).count();
    int published = 0;
    const ChangeSubscription watch = ChangeObservers::subscribe(live, [&](const ChangeEvent&) { ++published; });

    refs().detachSmartFiles();
    EXPECT_EQ(smartOf(A), NullFC);
    EXPECT_EQ(smartOf(B), NullFC);
    EXPECT_EQ(smartOf(O), before[2]);
    // A second detach before the restore keeps what the first one took.
    refs().detachSmartFiles();
    EXPECT_EQ(poolStatuses(), statuses);

    refs().restoreSmartFiles();
    EXPECT_EQ(smartOf(A), before[0]);
    EXPECT_EQ(smartOf(B), before[1]);
    EXPECT_EQ(before[1]->getPath(), "/p/b.zmb");
    EXPECT_EQ(published, 0);
    EXPECT_EQ(poolStatuses(), statuses);
    EXPECT_EQ(ksUndoStack::get(0).count(), undoSteps);

    // A core that goes while its record is held is left out.
    refs().detachSmartFiles();
    A->subChild(B.get());
    B = NodeRefPtr();
    refs().restoreSmartFiles();
    EXPECT_EQ(smartOf(A), before[0]);
}

} // namespace
