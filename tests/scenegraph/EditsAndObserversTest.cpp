// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/SceneGraph.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace osg;

namespace {

// root
// +- ref (ExtReference core `ext`, smart record `record`)
// |  +- part (Transform3D core `shared`)
// |  +- clone (same core `shared`)
// +- other
//    +- leaf
class Edits : public ::testing::Test {
protected:
    void SetUp() override
    {
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
    void TearDown() override
    {
        UBRDFMaterial::setIgnoreDefaultEnvironment(false);
        UBRDFMaterial::setDefaultEnvironment(NullFC);
    }

    static void touch(const FieldContainerPtr& fc, BitVector mask = FieldBits::AllFields)
    {
        beginEditCP(fc, mask);
        endEditCP(fc, mask);
    }

    NodeRefPtr root = Node::create(), ref = Node::create(), part = Node::create(), clone = Node::create(),
               other = Node::create(), leaf = Node::create();
    ExtReferenceRefPtr ext = ExtReference::create();
    FileReferenceRefPtr record = FileReference::create();
    Transform3DRefPtr shared = Transform3D::create();
};

TEST_F(Edits, OnlyEndedEditsReachTheObserversAboveTheChangeWithTheirPath)
{
    std::vector<ChangeEvent> atRef, atRoot;
    ChangeSubscription s1 = ChangeObservers::subscribe(ref, [&](const ChangeEvent& e) { atRef.push_back(e); });
    ChangeSubscription s2 = ChangeObservers::subscribe(root, [&](const ChangeEvent& e) { atRoot.push_back(e); });
    leaf->setFlags(1);
    beginEditCP(leaf, Node::FlagsFieldMask);
    EXPECT_TRUE(atRoot.empty()) << "setters and open edits report nothing";
    endEditCP(leaf, Node::FlagsFieldMask);
    EXPECT_TRUE(atRef.empty());
    ASSERT_EQ(atRoot.size(), 1u);
    EXPECT_EQ(atRoot[0].container, leaf);
    EXPECT_EQ(atRoot[0].mask, Node::FlagsFieldMask);
    EXPECT_EQ(atRoot[0].path, (std::vector<NodePtr>{leaf, other, root}));

    // A record reaches the tree through the core holding it and that core's node.
    touch(record, FileReference::StateFieldMask);
    ASSERT_EQ(atRef.size(), 1u);
    EXPECT_EQ(atRef[0].container, record);
    EXPECT_EQ(atRef[0].path, std::vector<NodePtr>{ref}) << "a change of the observed node's own core or records";

    // A shared core: once per node using it.
    touch(shared);
    ASSERT_EQ(atRef.size(), 3u);
    EXPECT_EQ(atRef[1].path, (std::vector<NodePtr>{part, ref}));
    EXPECT_EQ(atRef[2].path, (std::vector<NodePtr>{clone, ref}));
}

TEST_F(Edits, SubscriptionsEndSafelyDuringDispatchAndWithTheirTokenOrNode)
{
    int firstCalls = 0, secondCalls = 0, selfCalls = 0;
    ChangeSubscription second, self;
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
    touch(part);
    EXPECT_EQ(std::make_tuple(firstCalls, secondCalls, selfCalls), std::make_tuple(2, 0, 1));
    first = ChangeSubscription();
    touch(part);
    EXPECT_EQ(firstCalls, 2) << "a replaced token revoked itself";

    ChangeSubscription atLeaf = ChangeObservers::subscribe(leaf, [&](const ChangeEvent&) { ++firstCalls; });
    other->subChild(leaf);
    leaf.reset();
    EXPECT_FALSE(atLeaf.isActive());
    EXPECT_EQ(ChangeObservers::getNumObservers(), 0u);
    EXPECT_FALSE(ChangeObservers::subscribe(NullFC, [](const ChangeEvent&) {}).isActive());
}

TEST_F(Edits, ObserversMayEditTheTreeWhileCalled)
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
}

TEST_F(Edits, MaterialEditsReachNodesThroughUsersAndRestoreTheDefaultEnvironment)
{
    UEnvironmentMaterialRefPtr defaultEnv = UEnvironmentMaterial::create(), ownEnv = UEnvironmentMaterial::create();
    UBRDFMaterial::setDefaultEnvironment(defaultEnv);
    UBRDFMaterialRefPtr brdf = UBRDFMaterial::create();
    brdf->setEnvironment(ownEnv);
    GeometryRefPtr geo = Geometry::create();
    geo->setMaterial(brdf);
    leaf->setCore(geo);
    std::vector<NodePtr> changed;
    MaterialPtr seenByObserver;
    ChangeSubscription sub = ChangeObservers::subscribe(root, [&](const ChangeEvent& e) {
        changed.push_back(e.path.front());
        seenByObserver = brdf->getEnvironment();
    });
    touch(ownEnv);
    EXPECT_EQ(changed, std::vector<NodePtr>{leaf}) << "environment -> material -> geometry -> node";
    // The rule runs before observers, which see its result.
    auto clearEnvironment = [&] {
        beginEditCP(brdf, UBRDFMaterial::EnvironmentFieldMask);
        brdf->setEnvironment(NullFC);
        endEditCP(brdf, UBRDFMaterial::EnvironmentFieldMask);
    };
    clearEnvironment();
    EXPECT_EQ(seenByObserver, defaultEnv);
    UBRDFMaterial::setIgnoreDefaultEnvironment(true);
    clearEnvironment();
    EXPECT_EQ(brdf->getEnvironment(), NullFC) << "while ignoring, null stays";
    UBRDFMaterial::setIgnoreDefaultEnvironment(false);
    touch(brdf, UBRDFMaterial::DiffuseColorFieldMask);
    EXPECT_EQ(brdf->getEnvironment(), NullFC) << "an edit of other fields leaves the environment alone";
    defaultEnv.reset();
    touch(brdf);
    EXPECT_EQ(brdf->getEnvironment(), NullFC) << "a default that is gone counts as none";
}

} // namespace
