// Licensed under the MIT licence; see LICENSE.
#include "ServiceTestSupport.h"

#include "import/ksFileIOHelper.h"
#include "kernel/ksController.h"
#include "model/ksReferencePool.h"
#include "references/ksReferenceImportOptions.h"
#include "utils/ksLog.h"

#include <QStringList>

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
    static void import(const osg::NodeRefPtr& root, const ksReferenceImportOptions& options)
    {
        import(root.get(), options);
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

TEST_F(Importer, AfterASmartLoadNestedReferencesAreLoadedButNotTheRootAgain)
{
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
    import(root.get(), options);

    EXPECT_EQ(childNames(root.get()), (std::vector<std::string>{"OuterContent", "Inner", "Skipped"}));
    EXPECT_EQ(childNames(sub.get()).back(), "InnerContent");
    EXPECT_TRUE(childNames(skipped.get()).empty());
    EXPECT_EQ(childNames(nested.get()), std::vector<std::string>{"DeepContent"});
}

TEST_F(Importer, EmbedBehaviourDropsSmartRecordsOfLoadedReferencesOnly)
{
    ksFileIOHelper::setImportSettings("jt", ksdQorSettings(3));
    const std::string inner = m_files.writeScene("Inner.osb", {"InnerContent"});
    const osg::NodeRefPtr root = makeReference("Root", m_files.path("Root.osb"));
    const osg::NodeRefPtr loaded = makeReference("Inner", inner);
    const osg::NodeRefPtr skipped = makeReference("Skipped", inner, "", Types::NotLoaded);
    addChild(root.get(), loaded.get());
    addChild(root.get(), skipped.get());

    ksReferenceImportOptions options;
    options.loadSmartReferences = true;
    options.skipNotLoaded = true;
    options.skipRoot = true;
    options.fileName = m_files.path("assembly.jt");
    import(root.get(), options);

    EXPECT_FALSE(coreOf(root.get())->getSmartFile());
    EXPECT_FALSE(coreOf(loaded.get())->getSmartFile());
    EXPECT_EQ(childNames(loaded.get()), std::vector<std::string>{"InnerContent"});
    EXPECT_TRUE(coreOf(skipped.get())->getSmartFile());
}

TEST_F(Importer, NoNewMaterialsSendNoMessageButBothLogLines)
{
    int messages = 0;
    const ksSubscription handler = ksController::addHandler("updateMaterials", [&](ksMessage&, ksModuleBase*) { ++messages; });
    QStringList lines;
    const ksSubscription log = ksLog::subscribe([&](ksLog::Level, const std::string& text) {
        lines << QString::fromStdString(text);
    });
    import(makeGroup("Plain"), ksReferenceImportOptions());
    EXPECT_EQ(messages, 0);
    EXPECT_TRUE(lines.contains("[REFERENCE] Imported 0 new material(s)."));
    EXPECT_TRUE(lines.contains("[REFERENCE] Updated 0 environment material(s)."));
}

TEST_F(Importer, NullRootDoesNothing)
{
    QStringList lines;
    const ksSubscription log = ksLog::subscribe([&](ksLog::Level, const std::string& text) {
        lines << QString::fromStdString(text);
    });
    import(osg::NodePtr(), ksReferenceImportOptions());
    EXPECT_TRUE(lines.isEmpty());
}

} // namespace
