// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/SceneGraph.h"

#include <gtest/gtest.h>

#include <string>

using namespace osg;

namespace {

// Records every hook call as "<hook>:<container id>".
class EditProtocol : public ::testing::Test {
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

    void log(const char* what, const FieldContainerPtr& fc) { calls.push_back(entry(what, fc)); }
    static std::string entry(const char* what, const FieldContainerPtr& fc)
    {
        return std::string(what) + ":" + std::to_string(fc->getId());
    }

    std::vector<std::string> calls;
    FileReferencePtr removedSmartFile;
};

TEST_F(EditProtocol, HooksFollowTheLifeOfAReferenceCore)
{
    ExtReferenceRefPtr ext = ExtReferenceBase::create();
    FileReferenceRefPtr smart = FileReferenceBase::create();
    EXPECT_EQ(calls, std::vector<std::string>{entry("add", ext)}) << "announced at creation, records are not";

    // Setters outside an edit publish nothing.
    ext->setSmartFile(smart);
    smart->setPath("/data/a.osb");
    EXPECT_EQ(calls.size(), 1u);

    beginEditCP(ext, ExtReference::SmartFileFieldMask, 1);
    ext->setState(2);
    endEditCP(ext, ExtReference::SmartFileFieldMask, 1);
    beginEditCP(smart, FileReference::PathFieldMask);
    endEditCP(smart, FileReference::PathFieldMask);
    EXPECT_EQ(calls, (std::vector<std::string>{entry("add", ext), entry("update", ext), entry("record", smart)}));

    calls.clear();
    const std::string removeEntry = entry("remove", ext);
    const UInt32 smartId = smart->getId();
    smart.reset();
    ext.reset();
    EXPECT_EQ(calls, std::vector<std::string>{removeEntry}) << "one remove, no other hook";
    EXPECT_EQ(removedSmartFile.getFieldContainerId(), smartId);
    EXPECT_EQ(FieldContainerFactory::the()->getContainer(smartId), NullFC) << "the record went with its core";
}

TEST_F(EditProtocol, EndEditRunsHooksThenObservers)
{
    NodeRefPtr root = Node::create();
    ExtReferenceRefPtr ext = ExtReference::create();
    root->setCore(ext);
    calls.clear();
    ChangeSubscription sub = ChangeObservers::subscribe(root, [&](const ChangeEvent& e) { log("observer", e.container); });

    beginEditCP(ext, ExtReference::StateFieldMask);
    endEditCP(ext, ExtReference::StateFieldMask);
    EXPECT_EQ(calls, (std::vector<std::string>{entry("update", ext), entry("observer", ext)}));

    // An RAII edit publishes when it ends, not before.
    calls.clear();
    {
        CPEditor edit(ext, ExtReference::StateFieldMask);
        ext->setState(1);
        EXPECT_TRUE(calls.empty());
    }
    EXPECT_EQ(calls, (std::vector<std::string>{entry("update", ext), entry("observer", ext)}));
}

TEST_F(EditProtocol, DefaultEnvironmentComesBackUnlessIgnored)
{
    UEnvironmentMaterialRefPtr defaultEnv = UEnvironmentMaterial::create();
    UEnvironmentMaterialRefPtr ownEnv = UEnvironmentMaterial::create();
    UBRDFMaterial::setDefaultEnvironment(defaultEnv);
    UBRDFMaterialRefPtr brdf = UBRDFMaterial::create();
    brdf->setEnvironment(ownEnv);
    GeometryRefPtr geo = Geometry::create();
    geo->setMaterial(brdf);
    NodeRefPtr node = Node::create();
    node->setCore(geo);
    auto clearEnvironment = [&] {
        beginEditCP(brdf, UBRDFMaterial::EnvironmentFieldMask);
        brdf->setEnvironment(NullFC);
        endEditCP(brdf, UBRDFMaterial::EnvironmentFieldMask);
    };

    // The rule runs before observers, which see its result.
    MaterialPtr seenByObserver;
    ChangeSubscription sub = ChangeObservers::subscribe(node, [&](const ChangeEvent&) {
        seenByObserver = brdf->getEnvironment();
    });
    clearEnvironment();
    EXPECT_EQ(brdf->getEnvironment(), defaultEnv);
    EXPECT_EQ(seenByObserver, defaultEnv);

    UBRDFMaterial::setIgnoreDefaultEnvironment(true);
    clearEnvironment();
    EXPECT_EQ(brdf->getEnvironment(), NullFC) << "while ignoring, null stays";
    UBRDFMaterial::setIgnoreDefaultEnvironment(false);

    // An edit of other fields leaves the environment alone.
    beginEditCP(brdf, UBRDFMaterial::DiffuseColorFieldMask);
    endEditCP(brdf, UBRDFMaterial::DiffuseColorFieldMask);
    EXPECT_EQ(brdf->getEnvironment(), NullFC);

    // A default that is gone counts as none.
    defaultEnv.reset();
    endEditCP(brdf);
    EXPECT_EQ(brdf->getEnvironment(), NullFC);
}

TEST_F(EditProtocol, HooksMayBeEmptyReplaceThemselvesOrDropTheEditedContainer)
{
    ExtReference::setAddToPoolCallback(nullptr);
    ExtReference::setUpdateInPoolCallback({});
    ExtReferenceRefPtr ext = ExtReference::create();
    endEditCP(ext);
    EXPECT_TRUE(calls.empty()) << "empty hooks are off";

    int first = 0, second = 0;
    ExtReference::setUpdateInPoolCallback([&](const ExtReferencePtr&) {
        ++first;
        ExtReference::setUpdateInPoolCallback([&](const ExtReferencePtr&) { ++second; });
    });
    endEditCP(ext);
    endEditCP(ext);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 1);

    ExtReferencePtr weak = ext;
    ExtReference::setUpdateInPoolCallback([&](const ExtReferencePtr&) { ext.reset(); });
    endEditCP(weak);
    EXPECT_EQ(FieldContainerFactory::the()->getContainer(weak.getFieldContainerId()), NullFC);
}

} // namespace
