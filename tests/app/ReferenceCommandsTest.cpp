// Licensed under the MIT licence; see LICENSE.
// The commands that change a project, run as a process on generated projects.
#include "AppTestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

using namespace apptest;

namespace {

QJsonObject json(const Result& run)
{
    QJsonParseError error;
    const QJsonObject object = QJsonDocument::fromJson(run.out.toUtf8(), &error).object();
    EXPECT_EQ(error.error, QJsonParseError::NoError) << run.out.toStdString() << run.err.toStdString();
    EXPECT_EQ(object["schema"].toInt(), 1);
    return object;
}

// Each reference's row of `ls --json` by its path in the tree.
QMap<QString, QJsonObject> rows(const QString& project)
{
    const Result run = talvik({"ls", project, "--json"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    QMap<QString, QJsonObject> result;
    for (const QJsonValue& value : json(run)["references"].toArray())
        result[value.toObject()["path"].toString()] = value.toObject();
    return result;
}

QString file(const QJsonObject& row, const char* kind, const char* key = "path")
{
    return row[kind].toObject()[key].toString();
}

void expectOk(const Result& run)
{
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString() << run.err.toStdString();
}

// shop/ ─┬─ P.zmb: "frame" (source), "door_v1" (source)
//        ├─ parts/wheel.zmb (a smart file made by another project)
//        └─ cad/frame.obj, cad/door_v1.obj, cad/door_v2.obj, cad/wheel.obj
class ReferenceCommands : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_folder = m_dir.filePath("shop");
        m_project = m_folder + "/P.zmb";
        m_frame = writeObj(m_folder + "/cad/frame.obj", 4);
        writeObj(m_folder + "/cad/door_v1.obj", 3);
        writeObj(m_folder + "/cad/wheel.obj", 6);
        QDir().mkpath(m_folder + "/parts");
        expectOk(talvik({"import", m_folder + "/cad/wheel.obj", "--into", m_folder + "/parts/W.zmb", "--smart"}));
        ASSERT_TRUE(QFileInfo::exists(m_folder + "/parts/wheel.zmb"));
        expectOk(talvik({"import", m_frame, m_folder + "/cad/door_v1.obj", "--into", m_project}));
    }

    QTemporaryDir m_dir;
    QString m_folder, m_project, m_frame;
};

} // namespace

TEST_F(ReferenceCommands, ImportGroupPackMoveAndTheMovedFolderIsWhole)
{
    // A native file comes in as a smart reference, not as a source.
    const Result imported = talvik({"import", m_folder + "/parts/wheel.zmb", "--into", m_project, "--json"});
    expectOk(imported);
    const QJsonObject wheel = json(imported)["imported"].toArray().first().toObject();
    EXPECT_EQ(wheel["kind"].toString(), "smart");
    EXPECT_EQ(wheel["vertices"].toInt(), 18);

    expectOk(talvik({"group", m_project, "frame", "wheel", "--as", "Chassis", "--smart"}));
    QMap<QString, QJsonObject> tree = rows(m_project);
    ASSERT_EQ(tree.keys(), QStringList({"Chassis", "Chassis/frame", "Chassis/wheel", "door_v1"}));
    EXPECT_EQ(file(tree["Chassis"], "smart"), m_folder + "/Chassis.zmb");
    EXPECT_EQ(tree["Chassis/wheel"]["parent"].toString(), "Chassis");
    EXPECT_EQ(file(tree["Chassis/wheel"], "smart", "folder"), m_folder + "/parts");
    EXPECT_EQ(tree["Chassis"]["vertices"].toInt(), 12 + 18);

    const QString packed = m_dir.filePath("packed"), moved = m_dir.filePath("elsewhere/moved");
    const Result pack = talvik({"pack", m_project, "--to", packed});
    expectOk(pack);
    EXPECT_TRUE(pack.out.contains("checked: every file found inside it")) << pack.out.toStdString();
    ASSERT_TRUE(QDir().mkpath(m_dir.filePath("elsewhere")) && QDir().rename(packed, moved));

    const Result status = talvik({"status", moved + "/P.zmb", "--json"});
    EXPECT_EQ(status.exitCode, 0) << status.out.toStdString() << status.err.toStdString();
    const QJsonArray references = json(status)["references"].toArray();
    EXPECT_EQ(references.size(), 4);
    int files = 0;
    for (const QJsonValue& row : references) {
        EXPECT_FALSE(row.toObject()["edited"].toBool()) << "files found again are no edit";
        for (const char* kind : {"smart", "source"}) {
            const QJsonObject f = row.toObject()[kind].toObject();
            if (f.isEmpty())
                continue;
            ++files;
            EXPECT_TRUE(f["path"].toString().startsWith(moved + "/")) << f["path"].toString().toStdString();
            EXPECT_EQ(f["state"].toString(), "up_to_date");
            EXPECT_FALSE(f["outside_project"].toBool());
        }
    }
    EXPECT_EQ(files, 5) << "Chassis.zmb, wheel.zmb with wheel.obj, frame.obj, door_v1.obj";
    EXPECT_EQ(rows(moved + "/P.zmb")["Chassis"]["vertices"].toInt(), 30);
}

TEST_F(ReferenceCommands, UpdateAndRelinkReadTheNewFiles)
{
    // A triangle more, so that the re-read shows in the vertex count.
    changeFile(m_frame, "v 7 7 7\nv 0 5 0\nf 1 2 7\n");
    EXPECT_EQ(talvik({"status", m_project}).exitCode, 1);
    const Result update = talvik({"update", m_project, "--all"});
    expectOk(update);
    EXPECT_TRUE(update.out.contains("updated frame: re-imported frame.obj (15 vertices)")) << update.out.toStdString();
    EXPECT_EQ(talvik({"status", m_project}).exitCode, 0);
    EXPECT_TRUE(talvik({"update", m_project, "frame"}).out.contains("frame is not outdated"));

    // A smart file rewritten by its own project, seen where it is used.
    const QMap<QString, QString> parts = snapshot(m_folder + "/parts");
    expectOk(talvik({"import", m_folder + "/parts/wheel.zmb", "--into", m_project}));
    EXPECT_EQ(snapshot(m_folder + "/parts"), parts) << "an imported smart file is used, not written";
    const Result inner = talvik({"relink", m_folder + "/parts/W.zmb", "wheel", "--to", writeObj(m_folder + "/cad/big.obj", 8)});
    EXPECT_TRUE(inner.out.contains("wrote smart reference wheel.zmb")) << inner.out.toStdString() << inner.err.toStdString();
    // A smart file loads afresh with every run, so the project using it has it as rewritten.
    EXPECT_EQ(rows(m_project)["wheel"]["vertices"].toInt(), 24);
    EXPECT_EQ(talvik({"status", m_project}).exitCode, 0);

    writeObj(m_folder + "/cad/door_v2.obj", 5);
    writeObj(m_folder + "/cad/door_v10.obj", 7);
    const Result revisions = talvik({"status", m_project, "--expression", "_v(\\d+)"});
    EXPECT_EQ(revisions.exitCode, 1) << "a newer revision counts as outdated";
    EXPECT_TRUE(revisions.out.contains("door_v1: newer revision cad/door_v10.obj")) << revisions.out.toStdString();

    const Result newest = talvik({"relink", m_project, "door_v1", "--newest"});
    expectOk(newest);
    EXPECT_TRUE(newest.out.contains("relinked door_v1: source door_v1.obj -> door_v10.obj (21 vertices)"))
        << newest.out.toStdString();
    const Result to = talvik({"relink", m_project, "door_v1", "--to", m_folder + "/cad/door_v2.obj", "--json"});
    expectOk(to);
    EXPECT_EQ(json(to)["vertices"].toInt(), 15);
    EXPECT_EQ(file(rows(m_project)["door_v1"], "source"), m_folder + "/cad/door_v2.obj");
}

TEST_F(ReferenceCommands, RemoveLoadAndUnloadByNameOrPath)
{
    expectOk(talvik({"import", m_folder + "/parts/wheel.zmb", "--into", m_project}));
    expectOk(talvik({"group", m_project, "frame", "--as", "Left", "--smart"}));
    expectOk(talvik({"import", m_frame, "--into", m_project}));
    expectOk(talvik({"group", m_project, "frame", "--as", "Right", "--smart"}));

    // An ambiguous name changes nothing and lists the candidates, as JSON too.
    const QMap<QString, QString> before = snapshot(m_folder);
    const Result ambiguous = talvik({"unload", m_project, "frame", "--json"});
    EXPECT_EQ(ambiguous.exitCode, 3);
    const QJsonObject error = QJsonDocument::fromJson(ambiguous.err.toUtf8()).object()["error"].toObject();
    EXPECT_EQ(error["message"].toString(), "frame names 2 references; name one of them:");
    EXPECT_EQ(error["details"].toArray().size(), 2);
    EXPECT_TRUE(error["details"].toArray()[1].toString().contains("frame#2: Right/frame")) << ambiguous.err.toStdString();
    EXPECT_EQ(talvik({"remove", m_project, "nothere"}).exitCode, 3);
    EXPECT_EQ(snapshot(m_folder), before);

    expectOk(talvik({"unload", m_project, "Left/frame", "wheel"}));
    QMap<QString, QJsonObject> tree = rows(m_project);
    EXPECT_FALSE(tree["Left/frame"]["loaded"].toBool());
    EXPECT_EQ(tree["Left"]["vertices"].toInt(), 0);
    EXPECT_FALSE(tree["wheel"]["loaded"].toBool());
    EXPECT_TRUE(tree["Right/frame"]["loaded"].toBool());

    expectOk(talvik({"load", m_project, "frame#1", "wheel"}));
    tree = rows(m_project);
    EXPECT_EQ(tree["Left"]["vertices"].toInt(), 12);
    EXPECT_EQ(tree["wheel"]["vertices"].toInt(), 18);

    expectOk(talvik({"remove", m_project, "wheel", "Right"}));
    tree = rows(m_project);
    EXPECT_EQ(tree.keys(), QStringList({"Left", "Left/frame", "door_v1", "frame"}))
        << "Right's frame moves up, no longer inside a reference";
    EXPECT_EQ(talvik({"ls", m_project, "--depth", "1"}).out.count(" up to date"), 3);
}

TEST_F(ReferenceCommands, StatusNamesFilesOfACopiedFolderThatPointOutsideIt)
{
    const QString copy = m_dir.filePath("copy");
    ASSERT_EQ(QProcess::execute("cp", {"-r", m_folder, copy}), 0);
    const Result status = talvik({"status", copy + "/P.zmb"});
    EXPECT_EQ(status.exitCode, 0) << "the originals are there";
    EXPECT_TRUE(status.out.contains("frame: " + m_frame + " points outside the project folder")) << status.out.toStdString();
    EXPECT_EQ(json(talvik({"status", copy + "/P.zmb", "--json"}))["outside_project"].toInt(), 2);
    EXPECT_FALSE(talvik({"status", m_project}).out.contains("outside"));
}

TEST_F(ReferenceCommands, WatchReportsNewRevisionsAndChangesOfTheProjectFileItself)
{
    QProcess watch;
    watch.start(TALVIK_PROGRAM, {"watch", m_project, "--interval", "300", "--json", "--expression", "_v(\\d+)"});
    QString out;
    const auto readUntil = [&](const QString& text) {
        for (int i = 0; i < 600 && !out.contains(text); ++i) {
            watch.waitForReadyRead(100);
            out += QString::fromUtf8(watch.readAllStandardOutput());
        }
        return out.contains(text);
    };
    ASSERT_TRUE(readUntil("\"event\":\"watching\"")) << out.toStdString();
    writeObj(m_folder + "/cad/door_v2.obj", 5);
    EXPECT_TRUE(readUntil("\"event\":\"changed\"")) << out.toStdString();
    EXPECT_TRUE(out.contains("\"path\":\"door_v1\"")) << out.toStdString();
    expectOk(talvik({"unload", m_project, "door_v1"}));
    EXPECT_TRUE(readUntil("\"event\":\"project_changed\"")) << out.toStdString();
    ASSERT_TRUE(QFile::remove(m_project));
    EXPECT_TRUE(readUntil("\"event\":\"project_deleted\"")) << out.toStdString();
    watch.terminate();
    ASSERT_TRUE(watch.waitForFinished(30000));
    EXPECT_EQ(watch.exitCode(), 0);
}

TEST_F(ReferenceCommands, ErrorsNameTheReasonAndLeaveTheProjectUntouched)
{
    expectOk(talvik({"import", m_folder + "/parts/wheel.zmb", "--into", m_project}));
    QFile whole(m_folder + "/parts/wheel.zmb"), broken(m_folder + "/broken.zmb");
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly) && broken.open(QIODevice::WriteOnly));
    broken.write(whole.readAll().left(100));
    broken.close();
    QFile taken(m_folder + "/Taken.zmb");
    ASSERT_TRUE(taken.open(QIODevice::WriteOnly) && taken.write("someone's file") > 0);
    taken.close();
    QDir().mkpath(m_dir.filePath("full"));
    writeObj(m_dir.filePath("full/x.obj"), 1);

    const struct {
        QStringList arguments;
        int exitCode;
        QString words;
    } cases[] = {
        {{"relink", m_project, "frame", "--to", m_folder + "/nothere.obj"}, 3, "no such file"},
        {{"relink", m_project, "frame", "--to", m_folder + "/parts/wheel.zmb"}, 3, "frame has no smart file"},
        {{"relink", m_project, "wheel", "--to", m_folder + "/broken.zmb"}, 4, "does not load; wheel left as it was"},
        {{"relink", m_project, "frame"}, 3, "--to FILE or --newest"},
        {{"group", m_project, "frame", "--as", "Taken", "--smart"}, 3, "Taken.zmb: already exists"},
        {{"group", m_project, "frame", "--as", "a/b"}, 3, "a name holds no '/'"},
        {{"pack", m_project, "--to", m_dir.filePath("full")}, 3, "not empty"},
        {{"pack", m_project, "--to", m_folder + "/inside"}, 3, "inside the project folder"},
        {{"update", m_project}, 3, "REF... or --all"},
        {{"load", m_project, "frame#3"}, 3, "no reference frame#3 (1 of that name)"},
        {{"ls", m_project, "--depth", "0"}, 3, "--depth needs a positive number"},
    };
    const QMap<QString, QString> before = snapshot(m_dir.path());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const Result run = talvik(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.out.toStdString();
        EXPECT_TRUE(run.err.contains(c.words)) << run.err.toStdString();
        EXPECT_EQ(snapshot(m_dir.path()), before);
    }

    const Result unreadable = talvik({"ls", m_project, "--unreadable", "--json"});
    EXPECT_EQ(json(unreadable)["references"].toArray().size(), 0);
    ASSERT_TRUE(QFile::remove(m_folder + "/parts/wheel.zmb") && QFile::rename(m_folder + "/broken.zmb", m_folder + "/parts/wheel.zmb"));
    const QJsonObject row = json(talvik({"ls", m_project, "--unreadable", "--json"}))["references"].toArray().first().toObject();
    EXPECT_EQ(file(row, "smart", "state"), "unreadable");
}
