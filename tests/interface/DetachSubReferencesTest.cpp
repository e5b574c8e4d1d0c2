// Licensed under the MIT licence; see LICENSE.
// The interface keeps the content of smart sub-references aside per node
// between a detach and the matching attach.
#include "QueriesTestSupport.h"

#include <gtest/gtest.h>

using namespace osg;
using namespace queries;
using Names = std::vector<std::string>;

namespace {

// top        smart
// ├── own
// └── R      smart
//     ├── r1
//     └── N  smart (nested)
//         └── n1
// other      (Group)
// └── Q      smart
//     └── q1
class DetachSubReferencesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_NE(refs, nullptr);
        top = addNode(NullFC, "top", makeReferenceCore("/p/top.zmb"));
        addGroup(top.get(), "own");
        R = addNode(top.get(), "R", makeReferenceCore("/p/r.zmb"));
        r1 = addGroup(R.get(), "r1");
        N = addNode(R.get(), "N", makeReferenceCore("/p/n.zmb"));
        addGroup(N.get(), "n1");
        other = addGroup(NullFC, "other");
        Q = addNode(other.get(), "Q", makeReferenceCore("/p/q.zmb"));
        addGroup(Q.get(), "q1");
    }
    void TearDown() override
    {
        refs->attachSubReferences(top.get());
        refs->attachSubReferences(other.get());
    }

    ksReferenceInterface* refs = referenceInterface();
    NodeRefPtr top, R, r1, N, other, Q;
};

TEST_F(DetachSubReferencesTest, KeepsTheContentPerNodeUntilItsAttach)
{
    refs->detachSubReferences(top.get());
    refs->detachSubReferences(other.get());
    EXPECT_EQ(childNames(top.get()), (Names{"own", "R"}));
    EXPECT_EQ(R->getNChildren(), 0u);
    EXPECT_EQ(Q->getNChildren(), 0u);
    // The content lives on although no scene holds it.
    EXPECT_EQ(r1->getParent()->getParent(), NullFC);

    refs->attachSubReferences(top.get());
    EXPECT_EQ(childNames(R.get()), (Names{"r1", "N"}));
    EXPECT_EQ(childNames(N.get()), Names{"n1"});
    EXPECT_EQ(Q->getNChildren(), 0u);

    // Attached once: a second attach has nothing left to do.
    refs->attachSubReferences(top.get());
    EXPECT_EQ(childNames(R.get()), (Names{"r1", "N"}));

    refs->attachSubReferences(other.get());
    EXPECT_EQ(childNames(Q.get()), Names{"q1"});
}

TEST_F(DetachSubReferencesTest, TheHolderGoesWithTheAttach)
{
    refs->detachSubReferences(top.get());
    const NodePtr holder = r1->getParent();
    const UInt32 holderId = holder.getFieldContainerId();
    ASSERT_NE(holder, R);

    refs->attachSubReferences(top.get());
    EXPECT_EQ(FieldContainerFactory::the()->getContainer(holderId), NullFC);
}

TEST_F(DetachSubReferencesTest, ASecondDetachBeforeTheAttachLosesNothing)
{
    refs->detachSubReferences(top.get());
    // Content that arrives in between is taken aside by the second detach.
    addGroup(R.get(), "late");
    refs->detachSubReferences(top.get());
    EXPECT_EQ(R->getNChildren(), 0u);

    refs->attachSubReferences(top.get());
    // The first content came back before the second detach, after "late".
    EXPECT_EQ(childNames(R.get()), (Names{"late", "r1", "N"}));
    EXPECT_EQ(childNames(N.get()), Names{"n1"});
}

TEST_F(DetachSubReferencesTest, WithoutADetachAttachDoesNothing)
{
    refs->attachSubReferences(top.get());
    refs->attachSubReferences(NullFC);
    EXPECT_EQ(childNames(R.get()), (Names{"r1", "N"}));

    // A null node has nothing below it to detach.
    refs->detachSubReferences(NullFC);
    refs->attachSubReferences(NullFC);
    EXPECT_EQ(childNames(R.get()), (Names{"r1", "N"}));
}

} // namespace
