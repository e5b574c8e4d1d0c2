// Licensed under the MIT licence; see LICENSE.
#include "SceneTestSupport.h"

#include "FileSizeLimit.h"

#include "fileio/ksFileIOService.h"
#include "kernel/ksKernelServiceFactory.h"
#include "scene/ksFileIO.h"
#include "scene/ksScenegraph.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace osg;

// A disk that fills up half way through the write: the previous file stays,
// the reason is logged once per save, and every failed write lets go of its
// file (no descriptor stays open, nothing leaks) and of its temporary file.
TEST(FileIO, AWriteThatFailsPartWayKeepsThePreviousFileAndLetsGoOfItsOwn)
{
    QTemporaryDir dir;
    AssemblyScene scene(20000);
    const QString path = dir.filePath("car.zmb");
    ASSERT_TRUE(writeFile(path, "previous version"));
    const int descriptors = FileSizeLimit::openDescriptors();
    {
        const FileSizeLimit limit(4096);
        LogRecorder log;
        for (int i = 0; i < 3; ++i)
            EXPECT_FALSE(ksFileIO::saveSmartReference(scene.root.get(), path.toStdString(), {}));
        ASSERT_EQ(log.problems().size(), 3u);
        EXPECT_EQ(log.problems()[0].find("Unable to save"), 0u);
    }
    EXPECT_EQ(FileSizeLimit::openDescriptors(), descriptors);
    EXPECT_EQ(fileBytes(path), QByteArray("previous version"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"car.zmb"}) << "no temporary file left";
    EXPECT_FALSE(ksFileIO::saveSmartReference(scene.root.get(), "/proc/self/car.zmb", {}));
}

TEST(FileIO, IncrementalSaveKeepsThePreviousFileAndABrokenWriteCanBeUndone)
{
    QTemporaryDir dir;
    AssemblyScene scene;
    const QString path = dir.filePath("car.zmb");
    QString increment;
    EXPECT_FALSE(ksFileIO::incrementalSave(path, increment)) << "nothing to keep yet";
    EXPECT_TRUE(increment.isEmpty());

    ASSERT_TRUE(writeFile(path, "version 1"));
    ASSERT_TRUE(ksFileIO::incrementalSave(path, increment));
    EXPECT_EQ(QFileInfo(increment).fileName(), "car.001.zmb");
    EXPECT_EQ(fileBytes(increment), QByteArray("version 1"));
    EXPECT_EQ(fileBytes(path), QByteArray("version 1")) << "the file stays in place during the save";
    ASSERT_TRUE(ksFileIO::saveSmartReference(scene.root.get(), path.toStdString(), {}));
    EXPECT_EQ(fileBytes(increment), QByteArray("version 1")) << "a new file, not a change of the kept one";

    const QByteArray saved = fileBytes(path);
    // A writer that replaced the file with a broken one is undone.
    ASSERT_TRUE(ksFileIO::incrementalSave(path, increment));
    EXPECT_EQ(QFileInfo(increment).fileName(), "car.002.zmb");
    QFile::remove(path);
    ASSERT_TRUE(writeFile(path, "half-written garbage"));
    EXPECT_TRUE(ksFileIO::renameLastIncrementToOriginal(path, increment));
    EXPECT_EQ(fileBytes(path), saved);
    EXPECT_FALSE(QFileInfo::exists(increment));
    EXPECT_FALSE(ksFileIO::renameLastIncrementToOriginal(path, increment)) << "nothing left to put back";
}

TEST(FileIO, ProjectFilesAreKnownBySuffixAndAFailedLoadKeepsTheScene)
{
    EXPECT_TRUE(ksFileIO::isProjectFile(std::string("C:\\x\\CAR.ZmB")));
    EXPECT_FALSE(ksFileIO::isProjectFile(QString("/a/zmb")));

    auto* service = new ksFileIOService();
    ksKernelServiceFactory::the().setEntry<ksFileIOService>(service);
    QSignalSpy finished(service, &ksFileIOService::projectLoadFinished);
    AssemblyScene scene;
    ksScenegraph::getRoot()->addChild(scene.wheelA);
    LogRecorder log;
    EXPECT_FALSE(ksFileIO::loadProject(QStringLiteral("/nonexistent/missing.zmb")));
    EXPECT_EQ(ksScenegraph::getRoot()->getChild(0), scene.wheelA);
    EXPECT_EQ(log.problems().size(), 1u);
    ASSERT_EQ(finished.count(), 1);
    EXPECT_FALSE(finished.at(0).at(1).toBool());

    ksFileIO::newScene();
    ksKernelServiceFactory::the().setEntry<ksFileIOService>(nullptr);
    delete service;
}
