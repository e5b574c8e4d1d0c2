// Licensed under the MIT licence; see LICENSE.
#include "AppTestSupport.h"

#include <QTemporaryDir>

#include <unistd.h>

using namespace apptest;

// Bad input names the file and the reason, exits with 3 and leaves every
// file as it was.
TEST(BadInput, NamesTheFileExitsWithThreeAndChangesNothing)
{
    QTemporaryDir dir;
    const QString good = writeObj(dir.filePath("good.obj"), 2);
    const QString project = dir.filePath("good.zmb");
    ASSERT_EQ(talvik({"import", good, "--into", project}).exitCode, 0);
    {
        QFile corrupt(dir.filePath("corrupt.zmb"));
        ASSERT_TRUE(corrupt.open(QIODevice::WriteOnly));
        corrupt.write("not a project at all");
        QFile whole(project), truncated(dir.filePath("truncated.zmb"));
        ASSERT_TRUE(whole.open(QIODevice::ReadOnly) && truncated.open(QIODevice::WriteOnly));
        truncated.write(whole.readAll().left(int(whole.size() / 2)));
        QFile unknown(dir.filePath("mesh.xyz"));
        ASSERT_TRUE(unknown.open(QIODevice::WriteOnly));
        unknown.write("1 2 3\n");
        QFile unreadable(dir.filePath("locked.zmb"));
        ASSERT_TRUE(unreadable.open(QIODevice::WriteOnly));
        unreadable.setPermissions(QFileDevice::WriteOwner);
    }
    const auto in = [&](const char* name) { return dir.filePath(name); };

    struct Case {
        QStringList arguments;
        const char* named;
        const char* reason;
    };
    const Case cases[] = {
        {{"status", in("missing.zmb")}, "missing.zmb", "no such file"},
        {{"status", in("corrupt.zmb"), "--json"}, "corrupt.zmb", "corrupt"},
        {{"status", in("truncated.zmb")}, "truncated.zmb", "corrupt"},
        {{"status", good}, "good.obj", "unknown project type"},
        {{"status", in("locked.zmb")}, "locked.zmb", "not readable"},
        {{"watch", in("corrupt.zmb"), "--interval", "200"}, "corrupt.zmb", "corrupt"},
        {{"watch", project, "--interval", "soon"}, "--interval", "milliseconds"},
        {{"import", in("nothere.obj"), "--into", in("new.zmb")}, "nothere.obj", "no such file"},
        {{"import", in("mesh.xyz"), "--into", in("new.zmb")}, "mesh.xyz", "unsupported"},
        {{"import", good, in("mesh.xyz"), "--into", project}, "mesh.xyz", "unsupported"},
        {{"import", good, "--into", in("corrupt.zmb")}, "corrupt.zmb", "corrupt"},
        {{"import", good, "--into", in("no/such/folder/new.zmb")}, "new.zmb", "does not exist"},
        {{"resolve", in("truncated.zmb"), "--search-path", dir.path()}, "truncated.zmb", "corrupt"},
        {{"resolve", project, "--search-path", in("nowhere")}, "nowhere", "not a folder"},
        {{"revisions", in("nothere.obj"), "--expression", "_v(\\d+)"}, "nothere.obj", "no such file"},
        {{"revisions", good, "--expression", "_v(\\d+"}, "_v(\\d+", "invalid expression"},
        {{"status"}, "status needs one project file", "usage"},
        {{"status", project, "--colour"}, "--colour", "unknown option"},
        {{"fly", project}, "fly", "unknown command"},
    };
    const QMap<QString, QString> before = snapshot(dir.path());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        if (QString(c.named) == "locked.zmb" && ::geteuid() == 0)
            continue; // the superuser reads every file
        const Result run = talvik(c.arguments);
        EXPECT_EQ(run.exitCode, 3);
        EXPECT_TRUE(run.err.contains(c.named)) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(c.reason)) << run.err.toStdString();
        EXPECT_EQ(snapshot(dir.path()), before);
    }
}
