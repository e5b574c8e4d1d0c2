// Licensed under the MIT licence; see LICENSE.
// The interface's searches, updates and counts over a subtree.
#include "InterfaceTestSupport.h"

#include "references/ksReferenceFindFlags.h"
#include "references/ksReferenceUpdateFlags.h"
#include "undo/ksUndoStack.h"

using namespace osg;
using namespace interfacetest;
using Names = std::vector<std::string>;
using Find = ksReferenceFindFlags;
using Update = ksReferenceUpdateFlags;

namespace {

// A node named `name` below `parent`; a reference when `smart` or `source`
// is given ("-" for a smart record without path).
NodeRefPtr addNode(const NodePtr& parent, const std::string& name, const char* smart = nullptr,
                   const char* source = nullptr, UInt32 smartState = ksReferenceTypes::UpToDate)
{
    if (!smart && !source)
        return add(parent, name);
    ExtReferenceRefPtr core = ExtReference::create();
    if (smart)
        core->setSmartFile(*smart == '-' ? record("", ksReferenceTypes::NoPath) : record(smart, smartState));
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

using Queries = LiveSceneTest;

TEST_F(Queries, SearchesDownAndUpFilterAsTheFlagsSay)
{
    // root ── T smart ─┬─ A smart ─┬─ g ── B source ── C smart
    //                  │           └─ D smart, no path
    //                  └─ E source ── F smart
    const NodeRefPtr root = addNode(NullFC, "root");
    const NodeRefPtr T = addNode(root.get(), "T", "/p/t.zmb");
    const NodeRefPtr A = addNode(T.get(), "A", "/p/a.zmb");
    const NodeRefPtr g = addNode(A.get(), "g");
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
        {T, Find::FindExcludeStart, {"A", "B", "C", "D", "E", "F"}},
        {T, Find::FindExcludeStart | Find::FindFirstOnly, {"A", "E"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(names(refs().findExtReferences(c.start.get(), c.flags)), c.down) << c.flags;

    EXPECT_EQ(names(refs().findParentExtReferences(C.get(), 0)), (Names{"C", "B", "A", "T"}));
    EXPECT_EQ(names(refs().findParentExtReferences(C.get(), Find::FindNonSmartOnly)), Names{"B"});
    // The nearest reference above C has no smart record: the walk passes
    // it and ends at A.
    const unsigned firstSmartAbove = Find::FindExcludeStart | Find::FindSmartOnly | Find::FindFirstOnly;
    EXPECT_EQ(names(refs().findParentExtReferences(C.get(), firstSmartAbove)), Names{"A"});
    EXPECT_TRUE(refs().findParentExtReferences(root.get(), Find::FindExcludeStart).empty());
    EXPECT_TRUE(refs().findExtReferences(NullFC, 0).empty());

    // Smart records, once each (A's clone shares A's record); none made.
    addNode(root.get(), "A'")->setCore(NodeCoreRefPtr(A->getCore()));
    std::set<FileReferencePtr> records;
    refs().collectSmartFiles(root.get(), records);
    EXPECT_EQ(records.size(), 5u);
    EXPECT_EQ(records.count(coreOf(D)->getSmartFile()), 1u);
}

TEST_F(Queries, UpdatesRunTheSelectedStepsChildrenFirst)
{
    const TempFiles files;
    const std::string file = files.file("part.step", "content");
    // top (undecided, source file) ─┬─ empty (undecided)
    //                                ├─ full (undecided) ── content
    //                                └─ unloaded (NotLoaded)
    const NodeRefPtr top = addNode(NullFC, "top", "/p/top.zmb", file.c_str());
    const NodeRefPtr empty = addNode(top.get(), "empty", "/p/e.zmb", file.c_str());
    const NodeRefPtr full = addNode(top.get(), "full", "/p/f.zmb");
    const NodeRefPtr content = addNode(full.get(), "content");
    const NodeRefPtr unloaded = addNode(top.get(), "unloaded", "/p/u.zmb");
    coreOf(unloaded)->setState(ksReferenceTypes::NotLoaded);

    int published = 0;
    const ChangeSubscription watch = ChangeObservers::subscribe(top.get(), [&](const ChangeEvent&) { ++published; });
    refs().updateReferences(top.get(), 0, false);
    EXPECT_EQ(published, 0);

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
    EXPECT_TRUE(refs().isChanged(full.get()));
    // An edit inside a nested reference is that reference's own.
    EXPECT_FALSE(refs().isChanged(top.get()));
    ksNodeUtils::setName(empty.get(), "renamed", true);
    EXPECT_TRUE(refs().isChanged(top.get()));
    const int changed = refs().getChangedSmartReferencesCount();
    refs().resetChanged(content.get());
    EXPECT_TRUE(refs().isChanged(full.get()));
    refs().resetChanged(top.get());
    EXPECT_FALSE(refs().isChanged(top.get()) || refs().isChanged(full.get()));
    EXPECT_EQ(refs().getChangedSmartReferencesCount(), changed - 2);
    EXPECT_FALSE(refs().isChanged(content.get()));
}

TEST_F(Queries, RenewingTheSmartRecordIsUndoableAndComesBeforeItsRefresh)
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

TEST_F(Queries, MissingSmartRecordsCountOnlyWhileThePoolTracksReferences)
{
    ASSERT_TRUE(ksReferencePool::instance().isEmpty()) << "a test before this one left references alive";
    ExtReference::setAddToPoolCallback({});
    const NodeRefPtr top = addNode(NullFC, "top", "/p/top.zmb", nullptr, ksReferenceTypes::Missing);
    const NodeRefPtr a = addNode(top.get(), "a", "/p/a.zmb", nullptr, ksReferenceTypes::Missing);
    addNode(a.get(), "b", "/p/b.zmb", nullptr, ksReferenceTypes::Missing);
    addNode(top.get(), "c", "/p/c.zmb");
    ksReferencePool::instance().registerCallbacks();

    EXPECT_EQ(refs().getMissingSmartReferencesCount(top.get()), 0);
    const ExtReferenceRefPtr tracked = ExtReference::create();
    EXPECT_EQ(refs().getMissingSmartReferencesCount(top.get()), 3);
    EXPECT_EQ(refs().getMissingSmartReferencesCount(a.get()), 2);
    EXPECT_EQ(refs().getMissingSmartReferencesCount(NullFC), 0);
}

} // namespace
