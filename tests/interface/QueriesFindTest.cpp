// Licensed under the MIT licence; see LICENSE.
// Searching for reference nodes down and up a tree, and collecting the smart
// records of a subtree.
#include "QueriesTestSupport.h"

#include "references/ksReferenceFindFlags.h"

#include <gtest/gtest.h>

using namespace osg;
using namespace queries;
using Names = std::vector<std::string>;

namespace {

constexpr unsigned FirstOnly = ksReferenceFindFlags::FindFirstOnly;
constexpr unsigned SmartOnly = ksReferenceFindFlags::FindSmartOnly;
constexpr unsigned NonSmartOnly = ksReferenceFindFlags::FindNonSmartOnly;
constexpr unsigned ExcludeStart = ksReferenceFindFlags::FindExcludeStart;
constexpr unsigned SkipNoPath = ksReferenceFindFlags::FindSkipNoPathSmart;

// root (Group)
// └── T   smart
//     ├── A   smart
//     │   ├── g (Group)
//     │   │   └── B   source only
//     │   │       └── C   smart, of a type derived from ExtReference
//     │   └── D   smart record without path (NoPath)
//     └── E   source only
//         └── F   smart
class QueriesFindTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_NE(refs, nullptr);
        root = addGroup(NullFC, "root");
        T = addNode(root.get(), "T", makeReferenceCore("/p/t.zmb"));
        A = addNode(T.get(), "A", makeReferenceCore("/p/a.zmb"));
        g = addGroup(A.get(), "g");
        B = addNode(g.get(), "B", makeReferenceCore("", "/cad/b.step"));
        RefPtr<DerivedReference> derived = DerivedReference::create();
        derived->setSmartFile(makeRecord("/p/c.zmb"));
        C = addNode(B.get(), "C", derived);
        D = addNode(A.get(), "D", makeReferenceCore("", "", ksReferenceTypes::NoPath));
        E = addNode(T.get(), "E", makeReferenceCore("", "/cad/e.step"));
        F = addNode(E.get(), "F", makeReferenceCore("/p/f.zmb"));
    }

    Names down(const NodeRefPtr& start, unsigned flags) const { return namesOf(refs->findExtReferences(start.get(), flags)); }
    Names up(const NodeRefPtr& start, unsigned flags) const
    {
        return namesOf(refs->findParentExtReferences(start.get(), flags));
    }

    ksReferenceInterface* refs = referenceInterface();
    NodeRefPtr root, T, A, g, B, C, D, E, F;
};

TEST_F(QueriesFindTest, SearchDownwardsFiltersAndStopsAsTheFlagsSay)
{
    struct Case
    {
        const char* what;
        NodeRefPtr start;
        unsigned flags;
        Names expected;
    };
    const Case cases[] = {
        {"all, parents before children", root, 0, {"T", "A", "B", "C", "D", "E", "F"}},
        {"bit 1 means nothing", root, 1, {"T", "A", "B", "C", "D", "E", "F"}},
        {"outermost only", root, FirstOnly, {"T"}},
        {"smart only", root, SmartOnly, {"T", "A", "C", "D", "F"}},
        {"without smart record", root, NonSmartOnly, {"B", "E"}},
        {"outermost without smart record", T, NonSmartOnly | FirstOnly, {"B", "E"}},
        {"smart records with a path", root, SkipNoPath, {"T", "A", "B", "C", "E", "F"}},
        {"start included", T, 0, {"T", "A", "B", "C", "D", "E", "F"}},
        {"start excluded", T, ExcludeStart, {"A", "B", "C", "D", "E", "F"}},
        {"start alone", T, FirstOnly, {"T"}},
        {"nearest below the start", T, ExcludeStart | FirstOnly, {"A", "E"}},
        {"nearest smart below a reference", A, ExcludeStart | FirstOnly | SmartOnly, {"C", "D"}},
        {"nearest smart with a path", A, ExcludeStart | FirstOnly | SmartOnly | SkipNoPath, {"C"}},
    };
    for (const Case& test : cases)
        EXPECT_EQ(down(test.start, test.flags), test.expected) << test.what;
}

TEST_F(QueriesFindTest, SearchDownwardsFromANodeThatIsNoReference)
{
    // The start is only excluded when it would be a hit; a group is none.
    EXPECT_EQ(down(g, 0), (Names{"B", "C"}));
    EXPECT_EQ(down(g, ExcludeStart | FirstOnly), (Names{"B"}));
    // A non-smart hit ends the path, so the smart reference below it is
    // never reached with both flags.
    EXPECT_EQ(down(E, FirstOnly), (Names{"E"}));
    EXPECT_EQ(down(E, SmartOnly | FirstOnly), (Names{"F"}));
    EXPECT_EQ(down(root, SmartOnly | FirstOnly), (Names{"T"}));
    EXPECT_TRUE(refs->findExtReferences(NullFC, 0).empty());
}

TEST_F(QueriesFindTest, SearchUpwardsListsTheNearestFirst)
{
    EXPECT_EQ(up(C, 0), (Names{"C", "B", "A", "T"}));
    EXPECT_EQ(up(C, ExcludeStart), (Names{"B", "A", "T"}));
    EXPECT_EQ(up(C, FirstOnly), (Names{"C"}));
    EXPECT_EQ(up(C, NonSmartOnly), (Names{"B"}));
    EXPECT_EQ(up(g, SmartOnly), (Names{"A", "T"}));
    // The nearest reference above C has no smart record: it is passed over,
    // and the walk ends at the first smart one, not at T.
    EXPECT_EQ(up(C, ExcludeStart | SmartOnly | FirstOnly), (Names{"A"}));
    // Records without a path still count upwards.
    EXPECT_EQ(up(D, SmartOnly | FirstOnly | SkipNoPath), (Names{"D"}));
}

TEST_F(QueriesFindTest, SearchUpwardsFromTheTopOrFromNothingFindsNothing)
{
    EXPECT_TRUE(up(root, ExcludeStart).empty());
    EXPECT_TRUE(up(root, 0).empty());
    EXPECT_EQ(up(T, ExcludeStart), Names{});
    EXPECT_TRUE(refs->findParentExtReferences(NullFC, 0).empty());
}

TEST_F(QueriesFindTest, CollectsEachSmartRecordOnceAndCreatesNone)
{
    // A clone of A shares A's core, and so its smart record.
    const NodeRefPtr clone = addNode(root.get(), "A clone", NodeCoreRefPtr(A->getCore()));
    const ExtReferencePtr sourceOnly = ExtReferencePtr::dcast(B->getCore());

    std::set<FileReferencePtr> records;
    refs->collectSmartFiles(root.get(), records);

    std::set<FileReferencePtr> expected;
    for (const NodeRefPtr& node : {T, A, C, D, F})
        expected.insert(ExtReferencePtr::dcast(node->getCore())->getSmartFile());
    EXPECT_EQ(records, expected);
    EXPECT_EQ(sourceOnly->getSmartFile(), NullFC);

    // Records already in the set stay; only this subtree's are added.
    std::set<FileReferencePtr> fromE{ExtReferencePtr::dcast(T->getCore())->getSmartFile()};
    refs->collectSmartFiles(E.get(), fromE);
    EXPECT_EQ(fromE.size(), 2u);
    EXPECT_EQ(fromE.count(ExtReferencePtr::dcast(F->getCore())->getSmartFile()), 1u);

    std::set<FileReferencePtr> none;
    refs->collectSmartFiles(NullFC, none);
    refs->collectSmartFiles(g.get(), none);
    EXPECT_EQ(none.size(), 1u); // C below g
}

} // namespace
