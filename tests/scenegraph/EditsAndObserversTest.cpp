// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/SceneGraph.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

using namespace osg;

namespace {

// root
// +- ref (ExtReference core `ext`, smart record `record`)
// |  +- part (Transform3D core `shared`)
// |  +- clone (same core `shared`)
// +- other
//    +- leaf
// The pool hooks log their calls as "<hook>:<container id>".
class Edits : public ::testing::Test {
protected:
    void SetUp() override
    {
        ExtReference::setAddToPoolCallback([this](const ExtReferencePtr& e) { log("add", e); });
        ExtReference::setRemoveFromPoolCallback([this](const ExtReferencePtr& e) {
            // The core is still whole while the pool forgets it.
            removedSmartFile = e->getSmartFile();
            log("remove", e);
        });
        ExtReference::setUpdateInPoolCallback([this](const ExtReferencePtr& e) { log("update", e); });
        FileReference::setUpdateInPoolCallback([this](const FileReferencePtr& r) { log("record", r); });
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
        ExtReference::setAddToPoolCallback(nullptr);
        ExtReference::setRemoveFromPoolCallback(nullptr);
        ExtReference::setUpdateInPoolCallback(nullptr);
        FileReference::setUpdateInPoolCallback(nullptr);
        UBRDFMaterial::setIgnoreDefaultEnvironment(false);
        UBRDFMaterial::setDefaultEnvironment(NullFC);
    }

    static void touch(const FieldContainerPtr& fc, BitVector mask = FieldBits::AllFields)
    {
        beginEditCP(fc, mask);
        endEditCP(fc, mask);
    }
    void log(const char* what, const FieldContainerPtr& fc) { calls.push_back(entry(what, fc)); }
    static std::string entry(const char* what, const FieldContainerPtr& fc)
    {
        return std::string(what) + ":" + std::to_string(fc->getId());
    }

    NodeRefPtr root = Node::create(), ref = Node::create(), part = Node::create(), clone = Node::create(),
               other = Node::create(), leaf = Node::create();
    ExtReferenceRefPtr ext = ExtReference::create();
    FileReferenceRefPtr record = FileReference::create();
    Transform3DRefPtr shared = Transform3D::create();
    std::vector<std::string> calls;
    FileReferencePtr removedSmartFile;
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

TEST_F(Edits, HooksFollowTheLifeOfAReferenceCoreAndRunBeforeObservers)
{
    ExtReferenceRefPtr core = ExtReference::create();
    FileReferenceRefPtr smart = FileReference::create();
    EXPECT_EQ(calls, std::vector<std::string>{entry("add", core)}) << "announced at creation, records are not";
    core->setSmartFile(smart);
    EXPECT_EQ(calls.size(), 1u) << "setters outside an edit publish nothing";

    NodeRefPtr node = Node::create();
    node->setCore(core);
    ChangeSubscription sub =
        ChangeObservers::subscribe(node, [&](const ChangeEvent& e) { log("observer", e.container); });
    {
        CPEditor edit(core, ExtReference::StateFieldMask);
        core->setState(2);
        EXPECT_EQ(calls.size(), 1u) << "an edit publishes when it ends";
    }
    touch(smart, FileReference::PathFieldMask);
    EXPECT_EQ(calls, (std::vector<std::string>{entry("add", core), entry("update", core), entry("observer", core),
                                               entry("record", smart), entry("observer", smart)}));

    calls.clear();
    const std::string removeEntry = entry("remove", core);
    const UInt32 smartId = smart->getId();
    smart.reset();
    node.reset();
    core.reset();
    EXPECT_EQ(calls, std::vector<std::string>{removeEntry}) << "one remove, no other hook";
    EXPECT_EQ(removedSmartFile.getFieldContainerId(), smartId);
    EXPECT_EQ(FieldContainerFactory::the()->getContainer(smartId), NullFC) << "the record went with its core";
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
