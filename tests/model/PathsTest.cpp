// Licensed under the MIT licence; see LICENSE.
#include "ModelTestSupport.h"

#include "model/ksReferenceNode.h"
#include "scene/ksSceneData.h"
#include "scene/ksSceneDataManager.h"
#include "service/ksReferenceSettings.h"
#include "undo/ksUndoStack.h"
#include "utils/ksLog.h"

#include <QDir>
#include <QFileInfo>

#include <unistd.h>

using namespace modeltest;

namespace {

// The settings read the search directories from the environment once, when
// they are made, so the two are set before any test runs.
const QString g_search = QDir::tempPath() + QStringLiteral("/talvik-search-%1/").arg(::getpid());
const bool g_searchSet = [] {
    qputenv(ksReferenceSettings::searchPathVariable(), (g_search + "1:" + g_search + "2").toUtf8());
    return true;
}();

// A project with one part, and what the host log receives:
//
//   <tmp>/Prüfstand Ø 2/Projekt.zmb
//   <tmp>/Prüfstand Ø 2/parts/Kühler Gehäuse.zmb
class PathsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(ksReferenceSettings::the().getSearchPaths(), QStringList({g_search + "1", g_search + "2"}));
        QDir().mkpath(g_search + "1");
        QDir().mkpath(g_search + "2");
        QDir().mkpath(project + "/parts");
        files.write("Prüfstand Ø 2/Projekt.zmb", "p");
        files.write("Prüfstand Ø 2/parts/Kühler Gehäuse.zmb", "k");
        ksSceneDataManager::getSceneData(0)->setCurrentFile(QString());
    }
    void TearDown() override
    {
        QDir(g_search).removeRecursively();
        ksUndoStack::get(0).clear();
        ksSceneDataManager::getSceneData(0)->setCurrentFile(QString());
    }
    static void touch(const QString& path)
    {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    }
    std::vector<std::string> logged(ksLog::Level level) const
    {
        std::vector<std::string> out;
        for (const auto& line : log)
            if (line.first == level)
                out.push_back(line.second);
        return out;
    }

    TempFiles files;
    const QString project = QString::fromStdString(files.path("Prüfstand Ø 2"));
    const QString master = project + "/Projekt.zmb";
    const QString part = project + "/parts/Kühler Gehäuse.zmb";
    const QString name = "Kühler Gehäuse.zmb";
    std::vector<std::pair<ksLog::Level, std::string>> log;
    ksSubscription listening = ksLog::subscribe([this](ksLog::Level level, const std::string& text) {
        log.emplace_back(level, text);
    });
};

TEST_F(PathsTest, MovedProjectFindsItsReferencesThroughRelativePaths)
{
    // Recorded in a folder of the project, but now beside the project file.
    files.write("Prüfstand Ø 2/Sitz.zmb", "s");
    osg::NodeRefPtr node = makeReferenceNode(part.toStdString());
    const osg::FileReferenceRefPtr seat = makeRecord((project + "/Sitz.zmb").toStdString());
    seat->setRelativePath("innen/Sitz.zmb");
    ksSceneDataManager::getSceneData(0)->setCurrentFile(master);
    ksReferenceNode::updateRelativePath(coreOf(node)->getSmartFile());
    ASSERT_EQ(coreOf(node)->getSmartFile()->getRelativePath(), "parts/Kühler Gehäuse.zmb");

    const QString moved = QString::fromStdString(files.path("Kopie"));
    ASSERT_TRUE(QDir().rename(project, moved));
    ksSceneDataManager::getSceneData(0)->setCurrentFile(moved + "/Projekt.zmb");
    // The resolution warning bypasses the reference log's level.
    ksReferenceSettings::the().setLogLevel(0);
    EXPECT_TRUE(ksReferenceNode(node.get()).resolveSmartPath(QString()));
    EXPECT_TRUE(ksReferenceNode::resolvePath(seat.get(), moved + "/Projekt.zmb"));
    EXPECT_TRUE(ksReferenceNode::resolvePath(seat.get(), moved + "/Projekt.zmb"));
    ksReferenceSettings::the().setLogLevel(4);

    EXPECT_EQ(coreOf(node)->getSmartFile()->getPath(), (moved + "/parts/" + name).toStdString());
    EXPECT_EQ(seat->getPath(), (moved + "/Sitz.zmb").toStdString());
    EXPECT_EQ(logged(ksLog::Level::Warning),
              std::vector<std::string>({"Resolved new reference path: " + (moved + "/parts/" + name).toStdString() +
                                            " (previously " + part.toStdString() + ")",
                                        "Resolved new reference path: " + seat->getPath() + " (previously " +
                                            (project + "/Sitz.zmb").toStdString() + ")"}));
    EXPECT_EQ(log.size(), 2u);
}

TEST_F(PathsTest, SearchDirectoriesComeAfterTheProjectFolderInListOrder)
{
    QFile::remove(part);
    QString out;
    // Each new copy is nearer to the project than the ones before.
    for (const QString& dir : {g_search + "2/", g_search + "1/", project + "/", project + "/parts/"}) {
        touch(dir + name);
        EXPECT_TRUE(ksReferenceNode::findFile("parts/" + name, master, out));
        EXPECT_EQ(out, dir + name);
    }
}

TEST_F(PathsTest, UnresolvedRecordIsLeftUntouched)
{
    const osg::FileReferenceRefPtr record = makeRecord("/nowhere/Rad.zmb");
    record->setRelativePath("parts/Rad.zmb");
    EXPECT_FALSE(ksReferenceNode::resolvePath(record.get(), master));
    EXPECT_EQ(record->getPath(), "/nowhere/Rad.zmb");
    EXPECT_EQ(logged(ksLog::Level::Warning), std::vector<std::string>{"[REFERENCE] Couldn't resolve relative path!"});

    // An empty relative path fails without a word; an absolute one is only checked.
    record->setRelativePath(std::string());
    EXPECT_FALSE(ksReferenceNode::resolvePath(record.get(), master));
    QString out = "x";
    EXPECT_FALSE(ksReferenceNode::findFile("/nowhere/Rad.zmb", master, out));
    EXPECT_EQ(out, "/nowhere/Rad.zmb");
    EXPECT_EQ(log.size(), 1u);
    EXPECT_FALSE(ksReferenceNode::findFile("Rad.zmb", master, out));
    EXPECT_TRUE(out.isEmpty());
}

TEST_F(PathsTest, WithoutMasterFileOnlyTheSearchDirectoriesAreTried)
{
    // Not even against the working directory, where the relative path exists.
    const QString previous = QDir::currentPath();
    QDir::setCurrent(project);
    QString out;
    EXPECT_FALSE(ksReferenceNode::findFile("parts/" + name, QString(), out));
    touch(g_search + "2/" + name);
    EXPECT_TRUE(ksReferenceNode::findFile("parts/" + name, QString(), out));
    EXPECT_EQ(out, g_search + "2/" + name);
    QDir::setCurrent(previous);

    EXPECT_EQ(ksReferenceNode::makeRelativePath(part, QString()), QString());
    EXPECT_EQ(ksReferenceNode::makeAbsolutePath("parts/a.zmb", QString()), QString());
    EXPECT_EQ(logged(ksLog::Level::Warning),
              std::vector<std::string>({"[REFERENCE] Couldn't resolve relative path!",
                                        "[REFERENCE] Can't construct absolute path. No master file found."}));
}

TEST_F(PathsTest, OnlyTheMasterDirectoryGetsForwardSlashes)
{
    EXPECT_EQ(ksReferenceNode::normalizeDirectory("C:\\Daten\\Prüf stand"), "C:/Daten/Prüf stand/");
    EXPECT_EQ(ksReferenceNode::makeAbsolutePath("Teile\\Rad 1.zmb", "/Daten\\Ö/P.zmb"), "/Daten/Ö/Teile\\Rad 1.zmb");
    EXPECT_EQ(ksReferenceNode::makeRelativePath("/Daten/Gemein same/Rad.zmb", "/Daten/Ö/P.zmb"),
              "../Gemein same/Rad.zmb");
    EXPECT_EQ(ksReferenceNode::makeRelativePath("Teile\\Rad.zmb", "/Daten/P.zmb"), "Teile\\Rad.zmb");

    // A master file spelled with backslashes still leads to the folder on disk.
    const QString spelled = QString(project).replace('/', '\\').replace(0, 1, '/') + "/Projekt.zmb";
    QString out;
    ASSERT_TRUE(ksReferenceNode::findFile("parts/" + name, spelled, out));
    EXPECT_EQ(out, part);
}

TEST_F(PathsTest, UnchangedRelativePathMakesNoEdit)
{
    osg::NodeRefPtr node = makeReferenceNode(part.toStdString());
    std::vector<osg::BitVector> edits;
    const osg::ChangeSubscription watch =
        osg::ChangeObservers::subscribe(node.get(), [&](const osg::ChangeEvent& event) { edits.push_back(event.mask); });
    const osg::FileReferencePtr smart = coreOf(node)->getSmartFile();

    ksSceneDataManager::getSceneData(0)->setCurrentFile(master);
    ksReferenceNode::updateRelativePath(smart);
    ksReferenceNode::updateRelativePath(smart);
    EXPECT_EQ(smart->getRelativePath(), "parts/Kühler Gehäuse.zmb");
    EXPECT_EQ(edits, std::vector<osg::BitVector>{osg::FileReference::RelativePathFieldMask});

    // A relative path is its own relative form.
    edit(smart, osg::FileReference::PathFieldMask, [&] { smart->setPath("Teile/Rad.zmb"); });
    ksReferenceNode::updateRelativePath(smart);
    EXPECT_EQ(smart->getRelativePath(), "Teile/Rad.zmb");
}

TEST_F(PathsTest, SaveRefusesOrMakesTheFolderFirst)
{
    osg::NodeRefPtr node = makeReferenceNode(std::string(), std::string(), ksReferenceTypes::Undefined);
    ksReferenceNode reference(node.get());
    EXPECT_FALSE(reference.save());
    const osg::FileReferencePtr smart = reference.getSmartFile(true);
    reference.setState(ksReferenceTypes::NotLoaded);
    EXPECT_FALSE(reference.save());
    reference.setState(ksReferenceTypes::Undefined);
    smart->setState(ksReferenceTypes::Missing);
    EXPECT_FALSE(reference.save());
    EXPECT_TRUE(log.empty());
    smart->setState(ksReferenceTypes::NoPath);
    EXPECT_FALSE(reference.save());

    // A folder cannot be made below a file.
    smart->setPath((part + "/Ordner/Neu ä.zmb").toStdString());
    EXPECT_FALSE(reference.save());
    EXPECT_EQ(logged(ksLog::Level::Error),
              std::vector<std::string>({"[REFERENCE] Save: Can't write file. Path is empty.",
                                        "[REFERENCE] Save: Can't write file Neu ä.zmb. Unable to create path."}));

    smart->setPath((project + "/neu/tiefer/Baugruppe.zmb").toStdString());
    reference.save();
    EXPECT_TRUE(QFileInfo(project + "/neu/tiefer").isDir());
}

} // namespace
