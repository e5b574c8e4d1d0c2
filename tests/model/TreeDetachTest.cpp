// Licensed under the MIT licence; see LICENSE.
// Moving the content of smart sub-references aside while their parent is
// saved, and putting it back.
#include "TreeTestSupport.h"

using namespace osg;
using namespace modeltest;
using namespace treetest;
using Names = std::vector<std::string>;

namespace {

// root          smart
// ├── a         (Group)
// │   └── R1    smart
// │       ├── r1a
// │       └── N     smart, nested in R1
// │           └── n1
// ├── S         source only
// │   └── s1
// └── R2        smart
//     ├── r2a
//     ├── r2b
//     └── r2c
class TreeDetachTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        root = addReference(NullFC, "root", "/p/root.zmb");
        addGroup(root.get(), "own");
        a = addGroup(root.get(), "a");
        R1 = addReference(a.get(), "R1", "/p/r1.zmb");
        addGroup(R1.get(), "r1a");
        N = addReference(R1.get(), "N", "/p/n.zmb");
        addGroup(N.get(), "n1");
        S = addReference(root.get(), "S", {}, "/cad/s.step");
        addGroup(S.get(), "s1");
        R2 = addReference(root.get(), "R2", "/p/r2.zmb");
        for (const char* name : {"r2a", "r2b", "r2c"})
            addGroup(R2.get(), name);
    }

    NodeRefPtr root, a, R1, N, S, R2;
};

TEST_F(TreeDetachTest, OnlyTheOutermostSmartReferencesBelowTheRootAreEmptied)
{
    const ksReferenceNode::DetachedList detached = ksReferenceNode::detachSubReferences(root.get());

    ASSERT_EQ(detached.size(), 2u);
    EXPECT_EQ(detached[0].first, R1);
    EXPECT_EQ(detached[1].first, R2);
    // The root keeps its own children, the source reference its content.
    EXPECT_EQ(childNames(root.get()), (Names{"own", "a", "S", "R2"}));
    EXPECT_EQ(childNames(S.get()), Names{"s1"});
    EXPECT_EQ(R1->getNChildren(), 0u);
    EXPECT_EQ(R2->getNChildren(), 0u);
    // The holders are group nodes in no scene, with the content in order;
    // the nested reference keeps its own content inside its parent's.
    for (const auto& pair : detached) {
        EXPECT_EQ(pair.second->getCore()->getType().getId(), Group::getClassTypeId());
        EXPECT_EQ(pair.second->getParent(), NullFC);
    }
    EXPECT_EQ(childNames(detached[0].second.get()), (Names{"r1a", "N"}));
    EXPECT_EQ(childNames(N.get()), Names{"n1"});
    EXPECT_EQ(childNames(detached[1].second.get()), (Names{"r2a", "r2b", "r2c"}));

    ksReferenceNode::attachSubReferences(detached);

    EXPECT_EQ(childNames(R1.get()), (Names{"r1a", "N"}));
    EXPECT_EQ(childNames(N.get()), Names{"n1"});
    EXPECT_EQ(childNames(R2.get()), (Names{"r2a", "r2b", "r2c"}));
    EXPECT_EQ(childNames(root.get()), (Names{"own", "a", "S", "R2"}));
    for (const auto& pair : detached)
        EXPECT_EQ(pair.second->getNChildren(), 0u);
}

TEST_F(TreeDetachTest, DetachingBelowAPlainNodeOrANestedReference)
{
    // From R1 itself: only N, nested directly below, is detached.
    ksReferenceNode::DetachedList fromR1 = ksReferenceNode::detachSubReferences(R1.get());
    ASSERT_EQ(fromR1.size(), 1u);
    EXPECT_EQ(fromR1[0].first, N);
    EXPECT_EQ(childNames(R1.get()), (Names{"r1a", "N"}));
    EXPECT_EQ(N->getNChildren(), 0u);
    ksReferenceNode::attachSubReferences(fromR1);
    EXPECT_EQ(childNames(N.get()), Names{"n1"});

    // Nothing smart below: nothing to do.
    EXPECT_TRUE(ksReferenceNode::detachSubReferences(S.get()).empty());
    EXPECT_TRUE(ksReferenceNode::detachSubReferences(NullFC).empty());
}

TEST_F(TreeDetachTest, TheListIsTheOnlyOwnerOfTheHolders)
{
    ksReferenceNode::DetachedList detached = ksReferenceNode::detachSubReferences(root.get());
    const UInt32 holder = detached[1].second.getFieldContainerId();
    // Content added while the reference is empty comes first afterwards.
    addGroup(R2.get(), "new");
    ksReferenceNode::attachSubReferences(detached);
    EXPECT_EQ(childNames(R2.get()), (Names{"new", "r2a", "r2b", "r2c"}));

    detached.clear();
    EXPECT_EQ(FieldContainerFactory::the()->getContainer(holder), NullFC);
}

TEST_F(TreeDetachTest, PuttingContentBackKeepsTheChangeMarks)
{
    TempFiles files;
    const std::string cleanPath = writeSmartFile(files, "clean.osb", {"c1", "c2"});
    const std::string editedPath = writeSmartFile(files, "edited.osb", {"e1"});
    const NodeRefPtr clean = addReference(root.get(), "clean", cleanPath, {}, ksReferenceTypes::NotLoaded);
    const NodeRefPtr edited = addReference(root.get(), "edited", editedPath, {}, ksReferenceTypes::NotLoaded);
    ASSERT_TRUE(ksReferenceNode(clean.get()).load());
    ASSERT_TRUE(ksReferenceNode(edited.get()).load());
    ASSERT_FALSE(pool().isChanged(coreOf(clean)));
    ksNodeUtils::setName(edited->getChild(0), "e1 renamed", true);
    ASSERT_TRUE(pool().isChanged(coreOf(edited)));

    const ksReferenceNode::DetachedList detached = ksReferenceNode::detachSubReferences(root.get());
    ASSERT_EQ(detached.size(), 4u);
    ksReferenceNode::attachSubReferences(detached);

    EXPECT_EQ(childNames(clean.get()), (Names{"c1", "c2"}));
    EXPECT_FALSE(pool().isChanged(coreOf(clean)));
    EXPECT_TRUE(pool().isChanged(coreOf(edited)));
    // The clean one is still watched: a real edit afterwards counts.
    ksNodeUtils::setName(clean->getChild(1), "c2 renamed", true);
    EXPECT_TRUE(pool().isChanged(coreOf(clean)));
}

} // namespace
