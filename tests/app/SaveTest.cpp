// Licensed under the MIT licence; see LICENSE.
// Saves that fail, are killed, or meet another writer leave every project
// whole: its files are all old or all new, and nothing else is left behind.
#include "AppTestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>

#include <sys/statvfs.h>
#include <unistd.h>

using namespace apptest;

namespace {

// The references of a project by name, from `status --json`; the exit code
// goes to `exitCode`.
QStringList referenceNames(const QString& project, int* exitCode = nullptr)
{
    const Result run = talvik({"status", project, "--json"});
    if (exitCode)
        *exitCode = run.exitCode;
    QStringList names;
    for (const QJsonValue& row : QJsonDocument::fromJson(run.out.toUtf8()).object()["references"].toArray())
        names << row.toObject()["name"].toString();
    return names;
}

// The files of a folder without those a test put there on purpose.
QMap<QString, QString> projectFiles(const QString& dir)
{
    QMap<QString, QString> files = snapshot(dir);
    files.remove(QDir(dir).filePath("filler"));
    return files;
}

bool succeeds(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// A 1 MiB tmpfs of its own, so that a full disk is real and quick to reach.
// Mounting needs root; elsewhere the tests say why they skip.
class SmallDisk : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "a full disk needs a small tmpfs, and mounting one needs root";
        ASSERT_TRUE(m_mountPoint.isValid());
        if (!succeeds("mount", {"-t", "tmpfs", "-o", "size=1m", "tmpfs", m_mountPoint.path()}))
            GTEST_SKIP() << "could not mount a tmpfs at " << m_mountPoint.path().toStdString();
        m_mounted = true;
        m_dir = m_mountPoint.path();
    }
    void TearDown() override
    {
        if (m_mounted)
            succeeds("umount", {m_mountPoint.path()});
    }

    // Fills the disk until `free` bytes are left.
    void leave(qint64 free)
    {
        const QString path = QDir(m_dir).filePath("filler");
        QFile::remove(path);
        struct statvfs disk = {};
        ASSERT_EQ(::statvfs(QFile::encodeName(m_dir).constData(), &disk), 0);
        const qint64 size = qint64(disk.f_bavail) * qint64(disk.f_frsize) - free;
        // tmpfs allocates on write: the filler must really take the pages.
        QFile filler(path);
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
        ASSERT_EQ(filler.write(QByteArray(int(std::max<qint64>(0, size)), 'f')), std::max<qint64>(0, size));
        filler.close();
        ASSERT_EQ(::statvfs(QFile::encodeName(m_dir).constData(), &disk), 0);
        ASSERT_EQ(qint64(disk.f_bavail) * qint64(disk.f_frsize), free);
    }

    QTemporaryDir m_mountPoint;
    bool m_mounted = false;
    QString m_dir;
};

} // namespace

TEST_F(SmallDisk, AFullOrReadOnlyDiskChangesNoFileAndSaysWhy)
{
    const QString project = QDir(m_dir).filePath("p.zmb");
    const QString bolt = writeObj(QDir(m_dir).filePath("bolt.obj"), 3000);
    const QString nut = writeObj(QDir(m_dir).filePath("nut.obj"), 3000);
    ASSERT_EQ(talvik({"import", bolt, "--into", project, "--smart"}).exitCode, 0);
    const qint64 smartSize = QFileInfo(QDir(m_dir).filePath("bolt.zmb")).size();
    const qint64 page = 4096;

    // From room for nothing up to room for everything, one page more at each
    // step around the new smart file's size: on the way the disk fills up
    // during the smart file, and then during the project. Every run saves
    // all or nothing.
    QSet<QString> failedFiles;
    QList<qint64> steps{page};
    for (qint64 pages = smartSize / page - 1; pages < smartSize / page + 8; ++pages)
        steps << pages * page;
    for (const qint64 free : steps) {
        SCOPED_TRACE(free);
        ASSERT_NE(free, steps.last()) << "the save never got through";
        leave(free);
        const QMap<QString, QString> before = projectFiles(m_dir);
        const Result import = talvik({"import", nut, "--into", project, "--smart"});
        if (import.exitCode == 0) {
            EXPECT_EQ(referenceNames(project), (QStringList{"bolt", "nut"}));
            break;
        }
        EXPECT_EQ(import.exitCode, 4) << import.out.toStdString();
        EXPECT_TRUE(import.err.contains("No space left on device")) << import.err.toStdString();
        const QRegularExpressionMatch named =
            QRegularExpression("Unable to save (project )?\\S*/(nut|p)\\.zmb: ").match(import.err);
        EXPECT_TRUE(named.hasMatch()) << "names the file: " << import.err.toStdString();
        failedFiles << named.captured(2);
        EXPECT_FALSE(import.out.contains("imported")) << "nothing is reported done that was not saved";
        EXPECT_EQ(projectFiles(m_dir), before) << "no file changed, no file left behind";
        EXPECT_EQ(referenceNames(project), QStringList{"bolt"});
    }
    EXPECT_EQ(failedFiles, (QSet<QString>{"nut", "p"})) << "the disk filled up during each file";

    QFile::remove(QDir(m_dir).filePath("filler"));
    // The project as it is, and resolve's search finds nothing to change.
    ASSERT_TRUE(succeeds("mount", {"-o", "remount,ro", m_dir}));
    const QMap<QString, QString> before = projectFiles(m_dir);
    for (const QStringList& arguments :
         {QStringList{"import", nut, "--into", project, "--smart"}, QStringList{"resolve", project, "--search-path", m_dir}}) {
        const Result write = talvik(arguments);
        EXPECT_EQ(write.exitCode, 3) << write.out.toStdString();
        EXPECT_TRUE(write.err.contains("Read-only file system")) << write.err.toStdString();
    }
    EXPECT_EQ(projectFiles(m_dir), before);
    EXPECT_TRUE(succeeds("mount", {"-o", "remount,rw", m_dir}));
}

// A save killed at any moment leaves a project that loads, each of its files
// old or new; smart files are only ever there with the project that names them.
TEST(Saves, KilledAtAnyMomentLeaveAWholeProject)
{
    QTemporaryDir dir;
    const QString project = dir.filePath("p.zmb");
    QStringList parts;
    for (int i = 0; i < 12; ++i)
        parts << writeObj(dir.filePath(QStringLiteral("part%1.obj").arg(i)), 2000);
    ASSERT_EQ(talvik({"import", writeObj(dir.filePath("base.obj"), 10), "--into", project}).exitCode, 0);

    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(QDir().mkpath(dir.filePath("timing")));
    ASSERT_EQ(talvik({"import", parts.first(), "--into", dir.filePath("timing/p.zmb"), "--smart"}).exitCode, 0);
    const qint64 one = std::max<qint64>(clock.elapsed(), 50);

    QRandomGenerator random(16);
    for (int attempt = 0; attempt < 6; ++attempt) {
        SCOPED_TRACE(attempt);
        QProcess import;
        import.start(TALVIK_PROGRAM, QStringList{"import"} + parts + QStringList{"--into", project, "--smart"});
        ASSERT_TRUE(import.waitForStarted());
        QThread::msleep(ulong(random.bounded(int(one * 3))));
        ::kill(pid_t(import.processId()), SIGKILL);
        import.waitForFinished();
        const bool finished = import.exitStatus() == QProcess::NormalExit;

        int exitCode = -1;
        const QStringList names = referenceNames(project, &exitCode);
        EXPECT_EQ(exitCode, 0) << "the project loads, and every file it names is whole";
        EXPECT_TRUE(names.size() == 1 || names.size() == 1 + parts.size()) << names.join(' ').toStdString();
        const QStringList smartFiles = QDir(dir.path()).entryList({"part*.zmb"}, QDir::Files);
        EXPECT_EQ(smartFiles.size(), names.size() - 1) << "no smart file without the project that names it";
        if (finished || names.size() > 1) {
            // Back to the first state for the next try.
            for (const QString& file : smartFiles)
                QFile::remove(dir.filePath(file));
            QFile::remove(project);
            ASSERT_EQ(talvik({"import", dir.filePath("base.obj"), "--into", project}).exitCode, 0);
        }
    }
}

TEST(Saves, ASecondWriterWaitsThenNamesTheHolder)
{
    QTemporaryDir dir;
    const QString project = dir.filePath("p.zmb");
    ASSERT_EQ(talvik({"import", writeObj(dir.filePath("base.obj"), 1), "--into", project}).exitCode, 0);
    {
        QLockFile held(dir.filePath("p.zmb.lock"));
        ASSERT_TRUE(held.tryLock(0));
        const QMap<QString, QString> before = snapshot(dir.path());
        const Result blocked = talvik({"import", writeObj(dir.filePath("late.obj"), 1), "--into", project});
        EXPECT_EQ(blocked.exitCode, 3);
        EXPECT_TRUE(blocked.err.contains(QStringLiteral("another program is writing it (process %1").arg(QCoreApplication::applicationPid())))
            << blocked.err.toStdString();
        QFile::remove(dir.filePath("late.obj"));
        EXPECT_EQ(snapshot(dir.path()), before);
        EXPECT_EQ(talvik({"status", project}).exitCode, 0) << "readers take no lock";
    }

    // Two writers at once: each import is in the result or was refused.
    QStringList first, second;
    for (int i = 0; i < 15; ++i) {
        first << writeObj(dir.filePath(QStringLiteral("a%1.obj").arg(i)), 1);
        second << writeObj(dir.filePath(QStringLiteral("b%1.obj").arg(i)), 1);
    }
    QProcess a, b;
    a.start(TALVIK_PROGRAM, QStringList{"import"} + first + QStringList{"--into", project});
    b.start(TALVIK_PROGRAM, QStringList{"import"} + second + QStringList{"--into", project});
    ASSERT_TRUE(a.waitForFinished(120000) && b.waitForFinished(120000));
    int expected = 1;
    for (QProcess* writer : {&a, &b}) {
        EXPECT_TRUE(writer->exitCode() == 0 || writer->exitCode() == 3) << writer->readAllStandardError().toStdString();
        expected += writer->exitCode() == 0 ? 15 : 0;
    }
    EXPECT_GE(expected, 16) << "at least one writer got through";
    EXPECT_EQ(referenceNames(project).size(), expected);
}
