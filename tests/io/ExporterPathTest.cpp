// Licensed under the MIT licence; see LICENSE.
// Paths handed out to smart references that have none yet.
#include "ExporterTestSupport.h"

using namespace osg;
using namespace exportertest;

namespace {

using ExporterPaths = ExporterTest;

void addSource(const NodePtr& node, const std::string& sourcePath)
{
    FileReferenceRefPtr source = FileReference::create();
    source->setPath(sourcePath);
    ExtReferencePtr::dcast(node->getCore())->setSourceFile(source);
}

TEST_F(ExporterPaths, NewReferencesOfOneNameAreNumberedInTheCustomDirectory)
{
    std::vector<NodeRefPtr> doors;
    for (int i = 0; i < 3; ++i)
        doors.push_back(addSmartReference(live(), "Door", ""));
    const NodeRefPtr nameless = addSmartReference(live(), "", "");
    ksReferenceExporter::Options custom = options(file("project.zmb"));
    custom.exportLocation = ksReferenceTypes::CustomDirectory;
    // Written as a user on another system may have typed it.
    custom.customExportPath = QString(path("out")).replace('/', '\\').toUtf8().toStdString();

    ksReferenceExporter(live(), custom).run();
    const QString out = path("out/");
    EXPECT_EQ(smartPathOf(doors[0].get()), (out + "Door.zmb").toStdString());
    EXPECT_EQ(smartPathOf(doors[1].get()), (out + "Door_2.zmb").toStdString());
    EXPECT_EQ(smartPathOf(doors[2].get()), (out + "Door_3.zmb").toStdString());
    EXPECT_EQ(smartPathOf(nameless.get()), (out + "SmartReference.zmb").toStdString());
    EXPECT_EQ(filesIn(out), (QStringList{"Door.zmb", "Door_2.zmb", "Door_3.zmb", "SmartReference.zmb"}));
}

TEST_F(ExporterPaths, WithoutCustomDirectoryANewReferenceGoesNextToTheProject)
{
    const NodeRefPtr door = addSmartReference(live(), "Door", "");
    // The project's own name is never handed out.
    const NodeRefPtr project = addSmartReference(live(), "project", "");
    ksReferenceExporter(live(), options(file("project.zmb"))).run();
    EXPECT_EQ(smartPathOf(door.get()), file("Door.zmb"));
    EXPECT_EQ(smartPathOf(project.get()), file("project_2.zmb"));
    EXPECT_TRUE(QFileInfo::exists(path("Door.zmb")));
    EXPECT_FALSE(QFileInfo::exists(path("project.zmb")));
}

TEST_F(ExporterPaths, WithoutProjectTheScenesFileIsTheMaster)
{
    const NodeRefPtr door = addSmartReference(live(), "Door", "");
    ksSceneDataManager::getSceneData(0)->setCurrentFile(path("scene/current.zmb"));
    ksReferenceExporter(live(), options()).run();
    EXPECT_EQ(smartPathOf(door.get()), file("scene/Door.zmb"));
    EXPECT_EQ(ExtReferencePtr::dcast(door->getCore())->getSmartFile()->getRelativePath(), "Door.zmb");
}

TEST_F(ExporterPaths, WithNoMasterFileThePathStaysEmptyAndNothingIsWritten)
{
    const NodeRefPtr a = addSmartReference(live(), "Door", "");
    const NodeRefPtr b = addSmartReference(live(), "Door", "");
    ksReferenceSettings::the().setLogLevel(4);
    LogLines log;
    ksReferenceExporter(live(), options()).run();
    EXPECT_EQ(smartPathOf(a.get()), "");
    EXPECT_EQ(smartPathOf(b.get()), "");
    EXPECT_TRUE(filesIn(path("")).isEmpty());
    const auto lines = log.lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "[REFERENCE] Can't construct absolute path. No master file found."),
              lines.end());
}

TEST_F(ExporterPaths, ASourceFileLendsItsDirectoryOrItsNameOnly)
{
    const NodeRefPtr nextTo = addSmartReference(live(), "Any", "");
    addSource(nextTo.get(), file("cad/engine.v2.stp"));
    const NodeRefPtr second = addSmartReference(live(), "Other", "");
    addSource(second.get(), file("cad/engine.v2.stp"));
    ksReferenceExporter(live(), options(file("project.zmb"))).run();
    EXPECT_EQ(smartPathOf(nextTo.get()), file("cad/engine.v2.zmb"));
    EXPECT_EQ(smartPathOf(second.get()), file("cad/engine.v2_2.zmb"));

    const NodeRefPtr custom = addSmartReference(live(), "Any", "");
    addSource(custom.get(), "\\\\server\\cad\\wheel.jt");
    ksReferenceExporter::Options options = this->options(file("project.zmb"));
    options.exportLocation = ksReferenceTypes::CustomDirectory;
    options.customExportPath = file("lib");
    ksReferenceExporter(custom.get(), options).run();
    EXPECT_EQ(smartPathOf(custom.get()), file("lib/wheel.zmb"));
}

TEST_F(ExporterPaths, AnExistingPathIsKeptAndOnlyItsRelativePathRefreshed)
{
    const NodeRefPtr door = addSmartReference(live(), "Door", file("parts/kept.zmb"));
    FileReferencePtr smart = ExtReferencePtr::dcast(door->getCore())->getSmartFile();
    smart->setRelativePath("stale.zmb");
    ksSceneDataManager::getSceneData(0)->setCurrentFile(path("project.zmb"));
    ksReferenceExporter(live(), options(file("elsewhere/project.zmb"))).run();
    EXPECT_EQ(smart->getPath(), file("parts/kept.zmb"));
    EXPECT_EQ(smart->getRelativePath(), "parts/kept.zmb");
}

} // namespace
