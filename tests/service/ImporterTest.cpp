// Licensed under the MIT licence; see LICENSE.
#include "ServiceTestSupport.h"

#include "LogRecorder.h"

#include "import/ksFileIOHelper.h"
#include "kernel/ksController.h"
#include "model/ksReferencePool.h"
#include "references/ksReferenceImportOptions.h"

using namespace servicetest;
using Types = ksReferenceTypes;

namespace {

class Importer : public ::testing::Test
{
protected:
    void TearDown() override { ksFileIOHelper::resetImportSettings(); }

    static void import(const osg::NodePtr& root, const ksReferenceImportOptions& options)
    {
        referenceInterface()->importReferences(root, options);
    }

    TempFiles m_files;
};

TEST_F(Importer, WithoutLoadingEmptyReferencesBecomeNotLoaded)
{
    const std::string file = m_files.writeScene("Part.osb", {"Inner"});
    const osg::NodeRefPtr root = makeGroup("Import");
    const osg::NodeRefPtr empty = makeReference("Empty", file);
    const osg::NodeRefPtr full = makeReference("Full", file);
    addChild(root.get(), empty.get());
    addChild(root.get(), full.get());
    addChild(full.get(), makeGroup("Kept"));

    import(root.get(), ksReferenceImportOptions());

    EXPECT_EQ(coreOf(empty.get())->getState(), Types::NotLoaded);
    EXPECT_EQ(coreOf(full.get())->getState(), Types::Loaded);
    EXPECT_TRUE(childNames(empty.get()).empty());
    EXPECT_EQ(childNames(full.get()), std::vector<std::string>{"Kept"});
}

// With the embed behaviour for the file's type, loaded references also lose
// their smart records; unloaded ones keep them.
TEST_F(Importer, AfterASmartLoadNestedReferencesAreLoadedButNotTheRootAgain)
{
    ksFileIOHelper::setImportSettings("jt", ksdQorSettings(3));
    const std::string deep = m_files.writeScene("Deep.osb", {"DeepContent"});
    const std::string inner = m_files.writeScene("Inner.osb", {"InnerContent"});
    const osg::NodeRefPtr root = makeReference("Outer", m_files.path("Outer.osb"));
    addChild(root.get(), makeGroup("OuterContent"));
    const osg::NodeRefPtr sub = makeReference("Inner", inner, "", Types::Loaded);
    const osg::NodeRefPtr skipped = makeReference("Skipped", inner, "", Types::NotLoaded);
    addChild(root.get(), sub.get());
    addChild(root.get(), skipped.get());
    const osg::NodeRefPtr nested = makeReference("Deep", deep, "", Types::Loaded);
    addChild(sub.get(), nested.get());

    ksReferenceImportOptions options;
    options.skipNotLoaded = true;
    options.skipRoot = true;
    options.loadSmartReferences = true;
    options.fileName = m_files.path("assembly.jt");
    import(root.get(), options);

    EXPECT_EQ(childNames(root.get()), (std::vector<std::string>{"OuterContent", "Inner", "Skipped"}));
    EXPECT_EQ(childNames(sub.get()).back(), "InnerContent");
    EXPECT_TRUE(childNames(skipped.get()).empty());
    EXPECT_EQ(childNames(nested.get()), std::vector<std::string>{"DeepContent"});
    EXPECT_FALSE(coreOf(root.get())->getSmartFile());
    EXPECT_FALSE(coreOf(sub.get())->getSmartFile());
    EXPECT_TRUE(coreOf(skipped.get())->getSmartFile());
}

TEST_F(Importer, NoNewMaterialsSendNoMessageButBothLogLinesAndANullRootNothing)
{
    int messages = 0;
    const ksSubscription handler = ksController::addHandler("updateMaterials", [&](ksMessage&, ksModuleBase*) { ++messages; });
    LogRecorder log;
    import(osg::NodePtr(), ksReferenceImportOptions());
    EXPECT_TRUE(log.lines().empty());
    const osg::NodeRefPtr plain = makeGroup("Plain");
    import(plain.get(), ksReferenceImportOptions());
    EXPECT_EQ(messages, 0);
    EXPECT_EQ(log.texts("[REFERENCE]"), (std::vector<std::string>{"[REFERENCE] Imported 0 new material(s).",
                                                                  "[REFERENCE] Updated 0 environment material(s)."}));
}

} // namespace
