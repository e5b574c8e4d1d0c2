// Licensed under the MIT licence; see LICENSE.
#include "SceneTestSupport.h"

#include "kernel/ksFileIOService.h"
#include "kernel/ksKernelServiceFactory.h"
#include "nodeutils/ksMaterials.h"
#include "scene/ksFileIO.h"
#include "scene/ksSceneData.h"
#include "scene/ksSceneDataManager.h"
#include "scene/ksScenegraph.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace osg;

TEST(FileIO, ProjectFilesAreRecognisedBySuffixInAnyCase)
{
    EXPECT_TRUE(ksFileIO::isProjectFile(QString("/a/b.zmb")));
    EXPECT_TRUE(ksFileIO::isProjectFile(std::string("C:\\x\\CAR.ZmB")));
    EXPECT_FALSE(ksFileIO::isProjectFile(QString("/a/b.osb")));
    EXPECT_FALSE(ksFileIO::isProjectFile(QString("/a/zmb")));
}

TEST(FileIO, FailedSavesLeaveThePreviousFileIntactAndSayWhy)
{
    QTemporaryDir dir;
    AssemblyScene scene(20000);
    const QString path = dir.filePath("car.zmb");
    ASSERT_TRUE(writeFile(path, "previous version"));

    // A disk that fills up half way through the write.
    const int code = runInChild([&] {
        limitFileSize(4096);
        LogRecorder log;
        const bool ok = ksFileIO::saveSmartReference(scene.root.get(), path.toStdString(), {});
        return ok ? 1 : (log.problems().size() == 1 && log.problems()[0].find("Unable to save") == 0 ? 0 : 2);
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(fileBytes(path), QByteArray("previous version"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"car.zmb"}) << "no temporary file left";

    LogRecorder log;
    const QString blocker = dir.filePath("plain-file");
    ASSERT_TRUE(writeFile(blocker, "x"));
    EXPECT_FALSE(ksFileIO::saveSmartReference(scene.root.get(), (blocker + "/sub/car.zmb").toStdString(), {}));
    EXPECT_FALSE(ksFileIO::saveSmartReference(scene.root.get(), "/proc/self/car.zmb", {}));
    ASSERT_EQ(log.problems().size(), 2u);
    EXPECT_NE(log.problems()[0].find("plain-file/sub/car.zmb"), std::string::npos);

    if (geteuid() != 0) { // permissions do not stop the superuser
        const QString locked = dir.filePath("locked");
        QDir().mkdir(locked);
        ASSERT_TRUE(writeFile(locked + "/car.zmb", "old"));
        QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        EXPECT_FALSE(ksFileIO::saveSmartReference(scene.root.get(), (locked + "/car.zmb").toStdString(), {}));
        EXPECT_EQ(fileBytes(locked + "/car.zmb"), QByteArray("old"));
        QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
}

TEST(FileIO, IncrementalSaveKeepsThePreviousFileAndAFailedWriteRestoresIt)
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

    ASSERT_TRUE(writeFile(dir.filePath("car.041.zmb"), "old increment"));
    EXPECT_EQ(QFileInfo(ksFileIO::nextIncrementPath(path)).fileName(), "car.042.zmb");
    QFile::remove(dir.filePath("car.041.zmb"));

    // A save that fails on a full disk after the increment was made: the
    // kept version stands at the path again and no extra file is left.
    const QByteArray saved = fileBytes(path);
    const int code = runInChild([&] {
        QString childIncrement;
        if (!ksFileIO::incrementalSave(path, childIncrement) || QFileInfo(childIncrement).fileName() != "car.002.zmb")
            return 1;
        limitFileSize(100);
        AssemblyScene bigger(50000);
        if (ksFileIO::saveSmartReference(bigger.root.get(), path.toStdString(), {}))
            return 2;
        return ksFileIO::renameLastIncrementToOriginal(path, childIncrement) ? 0 : 3;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(fileBytes(path), saved);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("car.002.zmb")));

    // A writer that replaced the file with a broken one is undone too.
    ASSERT_TRUE(ksFileIO::incrementalSave(path, increment));
    QFile::remove(path);
    ASSERT_TRUE(writeFile(path, "half-written garbage"));
    EXPECT_TRUE(ksFileIO::renameLastIncrementToOriginal(path, increment));
    EXPECT_EQ(fileBytes(path), saved);
    EXPECT_FALSE(QFileInfo::exists(increment));
    EXPECT_FALSE(ksFileIO::renameLastIncrementToOriginal(path, increment)) << "nothing left to put back";
}

TEST(FileIO, ProjectSaveAndLoadReplaceTheSceneAndAnnounceIt)
{
    QTemporaryDir dir;
    auto* service = new ksFileIOService();
    ksKernelServiceFactory::the().setEntry<ksFileIOService>(service);
    QSignalSpy saving(service, &ksFileIOService::projectSave);
    QSignalSpy saved(service, &ksFileIOService::projectSaved);
    QSignalSpy loaded(service, &ksFileIOService::projectLoaded);
    QSignalSpy finished(service, &ksFileIOService::projectLoadFinished);
    QSignalSpy cleared(service, &ksFileIOService::newScene);

    ksFileIO::newScene();
    EXPECT_EQ(cleared.count(), 1);
    {
        AssemblyScene scene;
        const NodePtr root = ksScenegraph::getRoot();
        beginEditCP(root, Node::ChildrenFieldMask);
        root->addChild(scene.wheelA);
        root->addChild(scene.wheelB);
        endEditCP(root, Node::ChildrenFieldMask);
    }
    ksSmartReferenceStash stash;
    stash.setEntry("camera", "front");
    ksFileIO::setProjectStash(stash);
    const QString path = dir.filePath("project.zmb");
    ASSERT_TRUE(ksFileIO::saveProject(path));
    EXPECT_EQ(saving.count(), 1);
    EXPECT_EQ(saved.count(), 1);
    EXPECT_EQ(ksFileIO::getFilename(), path);
    EXPECT_EQ(ksSceneDataManager::getSceneData(0)->getCurrentFile(), path);

    ksFileIO::newScene();
    EXPECT_EQ(ksScenegraph::getRoot()->getNChildren(), 0u);
    EXPECT_TRUE(ksFileIO::getFilename().isEmpty());
    EXPECT_TRUE(ksFileIO::getProjectStash().isEmpty());

    ASSERT_TRUE(ksFileIO::loadProject(path));
    const NodePtr root = ksScenegraph::getRoot();
    EXPECT_EQ(getName(root), "Root");
    ASSERT_EQ(root->getNChildren(), 2u);
    EXPECT_EQ(root->getChild(0)->getCore(), root->getChild(1)->getCore());
    EXPECT_TRUE(NodeUtils::isScenegraphNode(root->getChild(1)->getChild(0)));
    EXPECT_EQ(ksFileIO::getProjectStash(), stash);
    EXPECT_EQ(ksMaterials::getMaterialPoolMaterials().size(), 2u) << "paint and its environment";
    EXPECT_EQ(loaded.count(), 1);
    ASSERT_EQ(finished.count(), 1);
    EXPECT_TRUE(finished.at(0).at(1).toBool());

    LogRecorder log;
    EXPECT_FALSE(ksFileIO::loadProject(dir.filePath("missing.zmb")));
    EXPECT_EQ(ksScenegraph::getRoot(), root) << "a failed load keeps the scene";
    EXPECT_EQ(log.problems().size(), 1u);
    EXPECT_FALSE(finished.at(1).at(1).toBool());

    ksFileIO::newScene();
    ksKernelServiceFactory::the().setEntry<ksFileIOService>(nullptr);
    delete service;
}

TEST(FileIO, AdvancedProgressNestsAndReportsItsDepth)
{
    ksFileIO* io = ksFileIO::instance();
    QSignalSpy started(io, &ksFileIO::advancedProgressStarted);
    QSignalSpy changed(io, &ksFileIO::advancedProgressChanged);
    QSignalSpy done(io, &ksFileIO::advancedProgressFinished);
    ksFileIO::addAdvancedProgress("Saving", 2);
    ksFileIO::addAdvancedProgress("References", 3);
    ksFileIO::increaseAdvancedProgress(5);
    ksFileIO::removeAdvancedProgress();
    ksFileIO::increaseAdvancedProgress();
    ksFileIO::removeAdvancedProgress();
    ksFileIO::removeAdvancedProgress(); // one too many does nothing
    EXPECT_EQ(started.count(), 2);
    EXPECT_EQ(started.at(1).at(2).toInt(), 2);
    ASSERT_EQ(changed.count(), 2);
    EXPECT_EQ(changed.at(0), (QList<QVariant>{3, 3, 2})) << "capped at the step count";
    EXPECT_EQ(changed.at(1), (QList<QVariant>{1, 2, 1}));
    EXPECT_EQ(done.count(), 2);
    EXPECT_EQ(ksFileIO::getAdvancedProgressDepth(), 0);
}
