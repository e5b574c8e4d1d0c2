// Licensed under the MIT licence; see LICENSE.
#include "AppTestSupport.h"

#include <QTemporaryDir>

using namespace apptest;

// Bad input names the file and the reason, exits with 3 and leaves every
// file as it was.
TEST(BadInput, NamesTheFileExitsWithThreeAndChangesNothing)
{
    QTemporaryDir dir;
    const auto in = [&](const char* name) { return dir.filePath(name); };
    const QString good = writeObj(in("good.obj"), 2), project = in("good.zmb");
    ASSERT_EQ(talvik({"import", good, "--into", project}).exitCode, 0);
    QFile whole(project), truncated(in("truncated.zmb")), unknown(in("mesh.xyz"));
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly) && truncated.open(QIODevice::WriteOnly));
    truncated.write(whole.readAll().left(int(whole.size() / 2)));
    truncated.close();
    ASSERT_TRUE(unknown.open(QIODevice::WriteOnly) && unknown.write("1 2 3\n") == 6);
    unknown.close();

    // The exact first line of the error output, or words it must hold.
    const struct {
        QStringList arguments;
        QString firstLine;
        QStringList words;
    } cases[] = {
        {{"status", in("missing.zmb")}, "talvik: " + in("missing.zmb") + ": no such file", {}},
        {{"status", in("truncated.zmb"), "--json"}, {}, {"truncated.zmb", "corrupt"}},
        {{"status", good}, "talvik: " + good + ": unknown project type 'obj' (a project is a .zmb file)", {}},
        {{"status"}, "talvik: status needs one project file", {}},
        {{"status", project, "--colour"}, "talvik: unknown option --colour for 'status'", {}},
        {{"fly", project}, "talvik: unknown command 'fly'", {}},
        {{"watch", project, "--interval", "soon"}, "talvik: --interval needs a positive number of milliseconds", {}},
        {{"import", in("nothere.obj"), "--into", in("new.zmb")}, {}, {"nothere.obj", "no such file"}},
        // One bad file among good ones, and a project that cannot be read: neither is written.
        {{"import", good, in("mesh.xyz"), "--into", project}, {}, {"mesh.xyz", "unsupported"}},
        {{"import", good, "--into", in("truncated.zmb")}, {}, {"truncated.zmb", "corrupt"}},
        {{"import", good, "--into", in("no/such/folder/new.zmb")}, {}, {"new.zmb", "does not exist"}},
        {{"resolve", project, "--search-path", in("nowhere")}, "talvik: " + in("nowhere") + ": no such folder", {}},
        {{"revisions", good, "--expression", "_v(\\d+"}, {}, {"_v(\\d+", "invalid expression"}},
    };
    const QMap<QString, QString> before = snapshot(dir.path());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const Result run = talvik(c.arguments);
        EXPECT_EQ(run.exitCode, 3);
        if (!c.firstLine.isEmpty())
            EXPECT_EQ(run.err.section('\n', 0, 0), c.firstLine);
        for (const QString& word : c.words)
            EXPECT_TRUE(run.err.contains(word)) << run.err.toStdString();
        EXPECT_EQ(snapshot(dir.path()), before);
    }
}
