// Licensed under the MIT licence; see LICENSE.
#include "LogRecorder.h"
#include "ReferenceNodes.h"
#include "TempFiles.h"

#include "import/ksFileIOHelper.h"
#include "kernel/ksController.h"
#include "kernel/ksInterfaceFactory.h"
#include "model/ksReferenceSettings.h"
#include "references/ksReferenceInterface.h"
#include "references/ksReferenceImportOptions.h"

using namespace referencenodes;
using Types = ksReferenceTypes;
using Names = std::vector<std::string>;

namespace {

ksReferenceInterface* refs() { return ksInterfaceFactory::the().get<ksReferenceInterface>(); }

// With the embed behaviour for the file's type, loaded references also lose
// their smart records; unloaded ones keep them.
TEST(Importer, AfterASmartLoadNestedReferencesAreLoadedButNotTheRootAgain)
{
    TempFiles files;
    ksFileIOHelper::setImportSettings("jt", ksdQorSettings(3));
    const std::string inner = files.writeScene("Inner.osb", {"InnerContent"});
    const osg::NodeRefPtr root = reference("Outer", files.path("Outer.osb"));
    add(root.get(), "OuterContent");
    const osg::NodeRefPtr sub = reference("Inner", inner, "", Types::Loaded);
    const osg::NodeRefPtr skipped = reference("Skipped", inner, "", Types::NotLoaded);
    addChild(root.get(), sub);
    addChild(root.get(), skipped);
    const osg::NodeRefPtr nested = reference("Deep", files.writeScene("Deep.osb", {"DeepContent"}));
    addChild(sub.get(), nested);

    ksReferenceImportOptions options;
    options.skipNotLoaded = true;
    options.skipRoot = true;
    options.loadSmartReferences = true;
    options.fileName = files.path("assembly.jt");
    refs()->importReferences(root.get(), options);
    ksFileIOHelper::resetImportSettings();

    EXPECT_EQ(childNames(root.get()), (Names{"OuterContent", "Inner", "Skipped"}));
    EXPECT_EQ(childNames(sub.get()).back(), "InnerContent");
    EXPECT_TRUE(childNames(skipped.get()).empty());
    EXPECT_EQ(childNames(nested.get()), Names{"DeepContent"});
    EXPECT_FALSE(coreOf(root.get())->getSmartFile() || coreOf(sub.get())->getSmartFile());
    EXPECT_TRUE(coreOf(skipped.get())->getSmartFile());
}

// Without loading, references without content become NotLoaded; with no
// new materials no message is sent, but both log lines are written.
TEST(Importer, APlainImportMarksEmptyReferencesNotLoadedAndSendsNoMaterialMessage)
{
    int messages = 0;
    const ksSubscription handler = ksController::addHandler("updateMaterials", [&](ksMessage&, ksModuleBase*) { ++messages; });
    ksReferenceSettings::the().setLogLevel(4);
    LogRecorder log;
    refs()->importReferences(osg::NodePtr(), ksReferenceImportOptions());
    EXPECT_TRUE(log.lines().empty());

    TempFiles files;
    const std::string file = files.writeScene("Part.osb", {"Inner"});
    const osg::NodeRefPtr root = add(osg::NullFC, "Import");
    const osg::NodeRefPtr empty = reference("Empty", file);
    const osg::NodeRefPtr full = reference("Full", file);
    addChild(root.get(), empty);
    addChild(root.get(), full);
    add(full.get(), "Kept");
    refs()->importReferences(root.get(), ksReferenceImportOptions());
    EXPECT_EQ(dump(root.get()), "Import(Empty['" + file + "'|-], Full['" + file + "'|-](Kept))");
    EXPECT_EQ(std::make_pair(coreOf(empty.get())->getState(), coreOf(full.get())->getState()),
              std::make_pair(osg::UInt32(Types::NotLoaded), osg::UInt32(Types::Loaded)));
    EXPECT_EQ(messages, 0);
    EXPECT_EQ(log.texts("[REFERENCE]"), (Names{"[REFERENCE] Imported 0 new material(s).",
                                               "[REFERENCE] Updated 0 environment material(s)."}));
}

} // namespace
