// Licensed under the MIT licence; see LICENSE.
#include "ModelTestSupport.h"

#include "LogRecorder.h"

#include "model/ksReferenceNode.h"
#include "scene/ksSceneData.h"
#include "scene/ksSceneDataManager.h"
#include "model/ksReferenceSettings.h"
#include "undo/ksUndoStack.h"

#include <QDir>
#include <QFileInfo>

using namespace modeltest;
using Texts = std::vector<std::string>;

namespace {

// A project with one part:
//
//   <tmp>/Prüfstand Ø 2/Projekt.zmb
//   <tmp>/Prüfstand Ø 2/parts/Kühler Gehäuse.zmb
class PathsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QDir().mkpath(project + "/parts");
        files.write("Prüfstand Ø 2/Projekt.zmb", "p");
        files.write("Prüfstand Ø 2/parts/Kühler Gehäuse.zmb", "k");
        setMaster(QString());
        ksReferenceSettings::the().setLogLevel(4);
    }
    void TearDown() override
    {
        ksUndoStack::get(0).clear();
        setMaster(QString());
        ksReferenceSettings::the().setLogLevel(0);
    }
    static void setMaster(const QString& path) { ksSceneDataManager::getSceneData(0)->setCurrentFile(path); }
    static void touch(const QString& path) { EXPECT_TRUE(QFile(path).open(QIODevice::WriteOnly)); }

    TempFiles files;
    const QString project = QString::fromStdString(files.path("Prüfstand Ø 2"));
    const QString master = project + "/Projekt.zmb";
    const QString part = project + "/parts/Kühler Gehäuse.zmb";
    const QString name = "Kühler Gehäuse.zmb";
    LogRecorder log;
};

TEST_F(PathsTest, MovedProjectFindsItsReferencesThroughRelativePaths)
{
    // The resolution warning bypasses the reference log's level.
    ksReferenceSettings::the().setLogLevel(0);
    // Recorded in a folder of the project, but now beside the project file.
    files.write("Prüfstand Ø 2/Sitz.zmb", "s");
    osg::NodeRefPtr node = reference("", part.toStdString());
    const osg::FileReferenceRefPtr seat = record((project + "/Sitz.zmb").toStdString());
    seat->setRelativePath("innen/Sitz.zmb");
    setMaster(master);
    // An unchanged relative path makes no second edit.
    std::vector<osg::BitVector> edits;
    const osg::ChangeSubscription watch =
        osg::ChangeObservers::subscribe(node.get(), [&](const osg::ChangeEvent& event) { edits.push_back(event.mask); });
    ksReferenceNode::updateRelativePath(coreOf(node)->getSmartFile());
    ksReferenceNode::updateRelativePath(coreOf(node)->getSmartFile());
    ASSERT_EQ(coreOf(node)->getSmartFile()->getRelativePath(), "parts/Kühler Gehäuse.zmb");
    EXPECT_EQ(edits, std::vector<osg::BitVector>{osg::FileReference::RelativePathFieldMask});

    const QString moved = QString::fromStdString(files.path("Kopie"));
    ASSERT_TRUE(QDir().rename(project, moved));
    setMaster(moved + "/Projekt.zmb");
    EXPECT_TRUE(ksReferenceNode(node.get()).resolveSmartPath(QString()));
    EXPECT_TRUE(ksReferenceNode::resolvePath(seat.get(), moved + "/Projekt.zmb"));
    EXPECT_TRUE(ksReferenceNode::resolvePath(seat.get(), moved + "/Projekt.zmb"));

    EXPECT_EQ(coreOf(node)->getSmartFile()->getPath(), (moved + "/parts/" + name).toStdString());
    EXPECT_EQ(seat->getPath(), (moved + "/Sitz.zmb").toStdString());
    EXPECT_EQ(log.texts(), Texts({"Resolved new reference path: " + (moved + "/parts/" + name).toStdString() +
                                      " (previously " + part.toStdString() + ")",
                                  "Resolved new reference path: " + seat->getPath() + " (previously " +
                                      (project + "/Sitz.zmb").toStdString() + ")"}));
}

TEST_F(PathsTest, RelativePathsResolveNearestFirstAndOnlyAgainstAMasterFile)
{
    // Without a master file not even the working directory counts, where
    // the relative path exists.
    const QString previous = QDir::currentPath();
    QDir::setCurrent(project);
    QString out;
    EXPECT_FALSE(ksReferenceNode::findFile("parts/" + name, QString(), out));
    EXPECT_TRUE(out.isEmpty());
    QDir::setCurrent(previous);
    QFile::remove(part);
    // Beside the project, then, nearer, in the project's own layout.
    for (const QString& dir : {project + "/", project + "/parts/"}) {
        touch(dir + name);
        EXPECT_TRUE(ksReferenceNode::findFile("parts/" + name, master, out));
        EXPECT_EQ(out, dir + name);
    }
    EXPECT_TRUE(ksReferenceSettings::the().getSearchPaths().isEmpty()) << "nothing of the module fills them";
    EXPECT_EQ(ksReferenceNode::makeAbsolutePath("parts/a.zmb", QString()), QString());
    EXPECT_EQ(log.problems(), Texts({"[REFERENCE] Couldn't resolve relative path!",
                                     "[REFERENCE] Can't construct absolute path. No master file found."}));
}

TEST_F(PathsTest, SaveRefusesOrMakesTheFolderFirst)
{
    osg::NodeRefPtr node = reference("", std::string(), std::string(), ksReferenceTypes::Undefined);
    ksReferenceNode object(node.get());
    EXPECT_FALSE(object.save());
    const osg::FileReferencePtr smart = object.getSmartFile(true);
    object.setState(ksReferenceTypes::NotLoaded);
    EXPECT_FALSE(object.save());
    object.setState(ksReferenceTypes::Undefined);
    smart->setState(ksReferenceTypes::Missing);
    EXPECT_FALSE(object.save());
    EXPECT_TRUE(log.lines().empty());
    smart->setState(ksReferenceTypes::NoPath);
    EXPECT_FALSE(object.save());
    // A folder cannot be made below a file.
    smart->setPath((part + "/Ordner/Neu ä.zmb").toStdString());
    EXPECT_FALSE(object.save());
    EXPECT_EQ(log.problems(), Texts({"[REFERENCE] Save: Can't write file. Path is empty.",
                                     "[REFERENCE] Save: Can't write file Neu ä.zmb. Unable to create path."}));

    smart->setPath((project + "/neu/tiefer/Baugruppe.zmb").toStdString());
    object.save();
    EXPECT_TRUE(QFileInfo(project + "/neu/tiefer").isDir());
}

} // namespace
