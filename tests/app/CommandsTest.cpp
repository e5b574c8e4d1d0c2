// Licensed under the MIT licence; see LICENSE.
#include "AppTestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <functional>

using namespace apptest;

namespace {

// The JSON status of a project: its exit code and each reference's row by name.
struct Status {
    int exitCode = -1;
    QMap<QString, QJsonObject> rows;
    QString of(const QString& name, const char* file, const char* key) const
    {
        return rows.value(name)[file].toObject()[key].toString();
    }
};

Status status(const QString& project, const QProcessEnvironment& extra = {})
{
    const Result run = talvik({"status", project, "--json"}, extra);
    QJsonParseError error;
    const QJsonObject json = QJsonDocument::fromJson(run.out.toUtf8(), &error).object();
    EXPECT_EQ(error.error, QJsonParseError::NoError) << run.out.toStdString() << run.err.toStdString();
    EXPECT_EQ(json["status"].toInt(), run.exitCode);
    Status result{run.exitCode, {}};
    for (const QJsonValue& value : json["references"].toArray())
        result.rows[value.toObject()["name"].toString()] = value.toObject();
    EXPECT_EQ(result.rows.size(), json["references"].toArray().size()) << "one row per reference";
    return result;
}

// car/ ─┬─ P.zmb: "frame" (source only), "seat" (smart, in seat.zmb)
//       ├─ seat.zmb
//       └─ cad/frame.obj, cad/seat.obj
class Commands : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_folder = m_dir.filePath("car");
        m_project = m_folder + "/P.zmb";
        m_frame = writeObj(m_folder + "/cad/frame.obj", 4);
        const QString seat = writeObj(m_folder + "/cad/seat.obj", 2);
        const Result plain = talvik({"import", m_frame, "--into", m_project});
        const Result smart = talvik({"import", seat, "--into", m_project, "--smart"});
        ASSERT_EQ(plain.exitCode, 0) << plain.err.toStdString();
        ASSERT_EQ(smart.exitCode, 0) << smart.err.toStdString();
        ASSERT_TRUE(QFileInfo::exists(m_folder + "/seat.zmb")) << smart.out.toStdString();
        m_imported = plain.out + smart.out;
    }

    QTemporaryDir m_dir;
    QString m_folder, m_project, m_frame, m_imported;
};

} // namespace

TEST_F(Commands, StatusExitCodeFollowsTheWorstFileState)
{
    // The counts the import printed; smart content is counted from its own file.
    const Status imported = status(m_project);
    for (const char* name : {"frame", "seat"}) {
        const int printed = QRegularExpression(QStringLiteral("as %1: (\\d+) vertices").arg(name))
                                .match(m_imported).captured(1).toInt();
        EXPECT_GT(printed, 0) << m_imported.toStdString();
        EXPECT_EQ(imported.rows.value(name)["vertices"].toInt(), printed);
    }

    const struct {
        const char* what;
        std::function<void()> apply;
        int exitCode;
        const char *frameSource, *seatSmart;
    } steps[] = {
        {"as imported", [] {}, 0, "up_to_date", "up_to_date"},
        {"source changed", [&] { changeFile(m_frame); }, 1, "outdated", "up_to_date"},
        {"smart file deleted", [&] { QFile::remove(m_folder + "/seat.zmb"); }, 2, "outdated", "missing"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        step.apply();
        const Status s = status(m_project);
        EXPECT_EQ(s.exitCode, step.exitCode);
        EXPECT_EQ(s.of("frame", "source", "state"), step.frameSource);
        EXPECT_TRUE(s.rows.value("frame")["smart"].isNull());
        EXPECT_EQ(s.of("seat", "smart", "state"), step.seatSmart);
    }
    const Result table = talvik({"status", m_project});
    EXPECT_EQ(table.exitCode, 2) << "the table gives the same verdict";
    EXPECT_TRUE(table.out.contains(QRegularExpression("seat +seat.zmb missing +seat.obj up to date")))
        << table.out.toStdString();
}

// The smart file lies beside neither the old nor the new project: only the
// search folders of the command line find it.
TEST_F(Commands, ResolveFindsTheFilesOfAMovedProjectFolderInItsSearchFolders)
{
    const QString moved = m_dir.filePath("moved");
    const QString library = m_dir.filePath("library");
    ASSERT_TRUE(QDir().rename(m_folder, moved));
    ASSERT_TRUE(QDir().mkpath(library));
    ASSERT_TRUE(QFile::rename(moved + "/seat.zmb", library + "/seat.zmb"));
    // No environment variable gives the module search directories.
    QProcessEnvironment variable;
    variable.insert("TALVIK_REFERENCE_SEARCH_PATH", library);
    EXPECT_EQ(status(moved + "/P.zmb", variable).of("seat", "smart", "state"), "missing");

    const Result resolve = talvik({"resolve", moved + "/P.zmb", "--search-path", moved + "/cad", library});
    EXPECT_EQ(resolve.exitCode, 0) << resolve.out.toStdString() << resolve.err.toStdString();
    EXPECT_TRUE(resolve.out.contains("found source file frame:")) << resolve.out.toStdString();
    EXPECT_TRUE(resolve.out.contains("found smart file " + library + "/seat.zmb")) << resolve.out.toStdString();

    const Status s = status(moved + "/P.zmb");
    EXPECT_EQ(s.exitCode, 0);
    EXPECT_EQ(s.of("frame", "source", "path"), moved + "/cad/frame.obj");
    EXPECT_EQ(s.of("seat", "smart", "path"), library + "/seat.zmb");
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

// Two parts of one name moved: each is relinked to the file with its own
// content, never to the other; when content does not decide, nothing is
// relinked and the candidates are named. A resolve that finds nothing writes
// nothing.
TEST(Resolve, SameNamedCandidatesAreToldApartByContent)
{
    QTemporaryDir dir;
    const QString project = dir.filePath("p.zmb");
    const QString left = writeObj(dir.filePath("left/bolt.obj"), 1);
    const QString right = writeObj(dir.filePath("right/bolt.obj"), 2);
    ASSERT_EQ(talvik({"import", left, right, "--into", project}).exitCode, 0);
    ASSERT_TRUE(QDir().mkpath(dir.filePath("new")));
    ASSERT_TRUE(QDir().rename(dir.filePath("left"), dir.filePath("new/left")));
    ASSERT_TRUE(QDir().rename(dir.filePath("right"), dir.filePath("new/right")));
    const QStringList searchBoth{"--search-path", dir.filePath("new/left"), dir.filePath("new/right")};

    const Result found = talvik(QStringList{"resolve", project} + searchBoth);
    EXPECT_EQ(found.exitCode, 0) << found.out.toStdString() << found.err.toStdString();
    QMap<int, QString> sourceByVertices;
    const QJsonObject json = QJsonDocument::fromJson(talvik({"status", project, "--json"}).out.toUtf8()).object();
    for (const QJsonValue& row : json["references"].toArray())
        sourceByVertices[row.toObject()["vertices"].toInt()] = row.toObject()["source"].toObject()["path"].toString();
    EXPECT_EQ(sourceByVertices.value(3), dir.filePath("new/left/bolt.obj"));
    EXPECT_EQ(sourceByVertices.value(6), dir.filePath("new/right/bolt.obj"));

    // Moved again, now with the same content in both places: for the left
    // part two files match, for the right part none.
    ASSERT_TRUE(QDir().rename(dir.filePath("new"), dir.filePath("again")));
    ASSERT_TRUE(QFile::remove(dir.filePath("again/right/bolt.obj")));
    ASSERT_TRUE(QFile::copy(dir.filePath("again/left/bolt.obj"), dir.filePath("again/right/bolt.obj")));
    const QMap<QString, QString> before = snapshot(dir.path());
    const Result ambiguous =
        talvik({"resolve", project, "--search-path", dir.filePath("again/left"), dir.filePath("again/right")});
    EXPECT_EQ(ambiguous.exitCode, 1);
    EXPECT_EQ(ambiguous.out.count("left as it was, candidates for bolt: " + dir.filePath("again/left/bolt.obj") + ", "
                                  + dir.filePath("again/right/bolt.obj")),
              2)
        << ambiguous.out.toStdString();
    EXPECT_TRUE(ambiguous.out.contains("several match the recorded content"));
    EXPECT_TRUE(ambiguous.out.contains("none matches the recorded content"));
    EXPECT_TRUE(ambiguous.out.contains("nothing found; p.zmb left as it was"));
    EXPECT_EQ(snapshot(dir.path()), before) << "nothing found, nothing written";
}
