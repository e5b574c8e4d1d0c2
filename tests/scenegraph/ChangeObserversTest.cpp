// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/SceneGraph.h"

#include <gtest/gtest.h>

using namespace osg;

namespace {

// root
// +- ref (ExtReference core `ext`, smart record `record`)
// |  +- part (Transform3D core `shared`)
// |  +- clone (same core `shared`)
// +- other
//    +- leaf
class ChangeObserversTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = Node::create();
        ref = Node::create();
        part = Node::create();
        clone = Node::create();
        other = Node::create();
        leaf = Node::create();
        ext = ExtReference::create();
        record = FileReference::create();
        shared = Transform3D::create();
        ext->setSmartFile(record);
        ref->setCore(ext);
        part->setCore(shared);
        clone->setCore(shared);
        root->addChild(ref);
        root->addChild(other);
        ref->addChild(part);
        ref->addChild(clone);
        other->addChild(leaf);
    }

    static void touch(const FieldContainerPtr& fc, BitVector mask = FieldBits::AllFields)
    {
        beginEditCP(fc, mask);
        endEditCP(fc, mask);
    }

    NodeRefPtr root, ref, part, clone, other, leaf;
    ExtReferenceRefPtr ext;
    FileReferenceRefPtr record;
    Transform3DRefPtr shared;
};

TEST_F(ChangeObserversTest, OnlyObserversAboveTheChangeAreCalled)
{
    std::vector<ChangeEvent> atRef, atOther, atRoot;
    ChangeSubscription s1 = ChangeObservers::subscribe(ref, [&](const ChangeEvent& e) { atRef.push_back(e); });
    ChangeSubscription s2 = ChangeObservers::subscribe(other, [&](const ChangeEvent& e) { atOther.push_back(e); });
    ChangeSubscription s3 = ChangeObservers::subscribe(root, [&](const ChangeEvent& e) { atRoot.push_back(e); });
    EXPECT_EQ(ChangeObservers::getNumObservers(), 3u);

    touch(leaf, Node::FlagsFieldMask);
    EXPECT_TRUE(atRef.empty());
    ASSERT_EQ(atOther.size(), 1u);
    EXPECT_EQ(atOther[0].container, leaf);
    EXPECT_EQ(atOther[0].mask, Node::FlagsFieldMask);
    EXPECT_EQ(atOther[0].path, (std::vector<NodePtr>{leaf, other}));
    ASSERT_EQ(atRoot.size(), 1u);
    EXPECT_EQ(atRoot[0].path, (std::vector<NodePtr>{leaf, other, root}));
    EXPECT_EQ(atRoot[0].getObservedNode(), root);

    // A record reaches the tree through the core holding it and that core's node.
    atRef.clear();
    atOther.clear();
    touch(record, FileReference::StateFieldMask);
    ASSERT_EQ(atRef.size(), 1u);
    EXPECT_EQ(atRef[0].container, record);
    EXPECT_EQ(atRef[0].path, std::vector<NodePtr>{ref}) << "a change of the observed node's own core or records";
    EXPECT_TRUE(atOther.empty());
}

TEST_F(ChangeObserversTest, OnlyEndedEditsAreReportedOncePerPath)
{
    std::vector<std::vector<NodePtr>> paths;
    ChangeSubscription s = ChangeObservers::subscribe(ref, [&](const ChangeEvent& e) { paths.push_back(e.path); });
    shared->setTranslation({1, 0, 0});
    record->setPath("/x.osb");
    ref->addChild(Node::create());
    beginEditCP(shared, Transform3D::TranslationFieldMask);
    EXPECT_TRUE(paths.empty()) << "setters and open edits report nothing";
    endEditCP(shared, Transform3D::TranslationFieldMask);
    EXPECT_EQ(paths, (std::vector<std::vector<NodePtr>>{{part, ref}, {clone, ref}})) << "once per node using the core";
}

TEST_F(ChangeObserversTest, MaterialChangesTravelThroughTheirUsers)
{
    UBRDFMaterialRefPtr brdf = UBRDFMaterial::create();
    UEnvironmentMaterialRefPtr env = UEnvironmentMaterial::create();
    brdf->setEnvironment(env);
    GeometryRefPtr geo = Geometry::create();
    geo->setMaterial(brdf);
    leaf->setCore(geo);
    std::vector<NodePtr> firstNodes;
    ChangeSubscription s = ChangeObservers::subscribe(root, [&](const ChangeEvent& e) {
        firstNodes.push_back(e.path.front());
    });
    touch(env);
    EXPECT_EQ(firstNodes, std::vector<NodePtr>{leaf});
}

TEST_F(ChangeObserversTest, RevokingDuringDispatchIsSafe)
{
    int firstCalls = 0, secondCalls = 0, selfCalls = 0;
    ChangeSubscription second;
    ChangeSubscription self;
    ChangeSubscription first = ChangeObservers::subscribe(root, [&](const ChangeEvent&) {
        ++firstCalls;
        second.revoke(); // already gathered for this change: must not be called
    });
    second = ChangeObservers::subscribe(root, [&](const ChangeEvent&) { ++secondCalls; });
    self = ChangeObservers::subscribe(ref, [&](const ChangeEvent&) {
        ++selfCalls;
        self.revoke();
    });
    touch(part);
    EXPECT_EQ(firstCalls, 1);
    EXPECT_EQ(secondCalls, 0);
    EXPECT_EQ(selfCalls, 1);
    EXPECT_FALSE(self.isActive());
    touch(part);
    EXPECT_EQ(firstCalls, 2);
    EXPECT_EQ(selfCalls, 1);
    EXPECT_EQ(ChangeObservers::getNumObservers(), 1u);
}

TEST_F(ChangeObserversTest, ObserversMayEditTheTreeWhileCalled)
{
    int calls = 0;
    ChangeSubscription s = ChangeObservers::subscribe(ref, [&](const ChangeEvent&) {
        // Takes the changed subtree away and edits again while dispatching.
        if (++calls == 1) {
            ref->subChild(part);
            part.reset();
            touch(clone);
        }
    });
    touch(shared);
    EXPECT_EQ(calls, 3) << "part, clone, then clone again from the nested edit";
    EXPECT_EQ(ref->getNChildren(), 1u);
}

TEST_F(ChangeObserversTest, TokensDieWithTheirNodeAndRevokeOnDestruction)
{
    int calls = 0;
    {
        ChangeSubscription s = ChangeObservers::subscribe(leaf, [&](const ChangeEvent&) { ++calls; });
        touch(leaf);
        EXPECT_EQ(calls, 1);
    }
    touch(leaf);
    EXPECT_EQ(calls, 1) << "the token revoked itself";
    EXPECT_EQ(ChangeObservers::getNumObservers(), 0u);

    ChangeSubscription s = ChangeObservers::subscribe(leaf, [&](const ChangeEvent&) { ++calls; });
    other->subChild(leaf);
    leaf.reset();
    EXPECT_FALSE(s.isActive());
    EXPECT_EQ(ChangeObservers::getNumObservers(), 0u);
    s.revoke();
    EXPECT_FALSE(ChangeObservers::subscribe(NullFC, [](const ChangeEvent&) {}).isActive());
}

} // namespace
