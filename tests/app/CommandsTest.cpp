// Licensed under the MIT licence; see LICENSE.
#include "AppTestSupport.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <functional>

using namespace apptest;

namespace {

// A project with a source reference kept in the project ("frame") and a
// smart reference in a file of its own beside it ("seat").
class Commands : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        makeProject(m_dir.filePath("car"));
    }

    void makeProject(const QString& folder)
    {
        m_folder = folder;
        m_project = folder + "/P.zmb";
        m_frame = writeObj(folder + "/cad/frame.obj", 4);
        m_seat = writeObj(folder + "/cad/seat.obj", 2);
        const Result plain = talvik({"import", m_frame, "--into", m_project});
        const Result smart = talvik({"import", m_seat, "--into", m_project, "--smart"});
        ASSERT_EQ(plain.exitCode, 0) << plain.err.toStdString();
        ASSERT_EQ(smart.exitCode, 0) << smart.err.toStdString();
        ASSERT_TRUE(QFileInfo::exists(folder + "/seat.zmb")) << smart.out.toStdString();
    }

    QTemporaryDir m_dir;
    QString m_folder, m_project, m_frame, m_seat;
};

} // namespace

TEST_F(Commands, StatusExitCodeFollowsTheWorstFileState)
{
    struct Step {
        const char* what;
        std::function<void()> apply;
        int exitCode;
        const char* frameSource;
        const char* seatSmart;
    };
    const Step steps[] = {
        {"as imported", [] {}, 0, "up to date", "up to date"},
        {"source changed", [&] { changeFile(m_frame); }, 1, "outdated", "up to date"},
        {"smart file deleted", [&] { QFile::remove(m_folder + "/seat.zmb"); }, 2, "outdated", "missing"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.apply();
        int exitCode = -1;
        const QJsonObject status = statusJson(m_project, &exitCode);
        EXPECT_EQ(exitCode, step.exitCode);
        EXPECT_EQ(status["status"].toInt(), step.exitCode);
        EXPECT_EQ(status["references"].toArray().size(), 2);
        EXPECT_EQ(row(status, "frame")["source"].toObject()["state"].toString(), step.frameSource);
        EXPECT_TRUE(row(status, "frame")["smart"].isNull());
        EXPECT_EQ(row(status, "seat")["smart"].toObject()["state"].toString(), step.seatSmart);
        EXPECT_EQ(talvik({"status", m_project}).exitCode, step.exitCode) << "the table gives the same verdict";
    }
    const Result table = talvik({"status", m_project});
    EXPECT_TRUE(table.out.contains(QRegularExpression("seat +seat.zmb missing +seat.obj up to date")))
        << table.out.toStdString();
}

TEST_F(Commands, StatusCountsTheVerticesTheImportReported)
{
    const QString triangle = writeObj(m_dir.filePath("triangle.obj"), 1);
    const Result import = talvik({"import", triangle, "--into", m_project});
    ASSERT_EQ(import.exitCode, 0);
    const QRegularExpressionMatch reported = QRegularExpression("as triangle: (\\d+) vertices").match(import.out);
    ASSERT_TRUE(reported.hasMatch()) << import.out.toStdString();
    const QJsonObject status = statusJson(m_project);
    EXPECT_EQ(row(status, "triangle")["vertices"].toInt(), reported.captured(1).toInt());
    EXPECT_GT(row(status, "seat")["vertices"].toInt(), 0) << "smart content is loaded from its file";
}

TEST_F(Commands, ResolveFindsTheFilesOfAMovedProjectFolder)
{
    const QString moved = m_dir.filePath("moved");
    ASSERT_TRUE(QDir().rename(m_folder, moved));
    const QString project = moved + "/P.zmb";
    EXPECT_EQ(talvik({"status", project}).exitCode, 2);

    const Result resolve = talvik({"resolve", project, "--search-path", moved + "/cad"});
    EXPECT_EQ(resolve.exitCode, 0) << resolve.out.toStdString() << resolve.err.toStdString();
    EXPECT_TRUE(resolve.out.contains("found source file frame:")) << resolve.out.toStdString();

    int exitCode = -1;
    const QJsonObject status = statusJson(project, &exitCode);
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(row(status, "frame")["source"].toObject()["path"].toString(), moved + "/cad/frame.obj");
    EXPECT_EQ(row(status, "seat")["smart"].toObject()["path"].toString(), moved + "/seat.zmb");
}

TEST_F(Commands, WatchPrintsAChangeWithinTwoIntervalsAndStopsCleanly)
{
    // Long enough that two intervals stay a fair bound on a busy machine
    // (and under the sanitizers), short enough to keep the test quick.
    const int interval = 1000;
    QProcess watch;
    watch.start(TALVIK_PROGRAM, {"watch", m_project, "--interval", QString::number(interval)});
    QString out;
    const auto readUntil = [&](const QString& text, int timeout) {
        QElapsedTimer clock;
        clock.start();
        while (!out.contains(text) && clock.elapsed() < timeout) {
            watch.waitForReadyRead(int(std::max<qint64>(1, timeout - clock.elapsed())));
            out += QString::fromUtf8(watch.readAllStandardOutput());
        }
        return out.contains(text);
    };
    ASSERT_TRUE(readUntil("watching P.zmb", 60000)) << out.toStdString();

    changeFile(m_frame);
    EXPECT_TRUE(readUntil("changed frame: source frame.obj outdated", 2 * interval)) << out.toStdString();
    EXPECT_TRUE(readUntil("notification: Reference update(s) available", 2 * interval)) << out.toStdString();

    watch.terminate();
    ASSERT_TRUE(watch.waitForFinished(30000));
    EXPECT_EQ(watch.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(watch.exitCode(), 0);
    EXPECT_TRUE(QString::fromUtf8(watch.readAllStandardOutput()).contains("stopped"));
}

TEST_F(Commands, RevisionsNameTheNewestBesideTheFile)
{
    for (const char* name : {"door_v1.obj", "door_v2.obj", "door_v10.obj"})
        writeObj(m_dir.filePath(name), 1);
    const Result older = talvik({"revisions", m_dir.filePath("door_v2.obj"), "--expression", "_v(\\d+)"});
    EXPECT_EQ(older.exitCode, 1) << "a newer revision exists";
    EXPECT_TRUE(older.out.contains(QRegularExpression("1 +door_v1.obj\\s+2 +door_v2.obj  \\(this file\\)\\s+10 +door_v10.obj")))
        << older.out.toStdString();
    EXPECT_TRUE(older.out.contains("newest: 10\n"));
    const Result newest = talvik({"revisions", m_dir.filePath("door_v10.obj"), "--expression", "_x(\\d+)", "_v(\\d+)"});
    EXPECT_EQ(newest.exitCode, 0);
    EXPECT_TRUE(newest.out.contains("newest: 10 (this file)")) << newest.out.toStdString();
}
