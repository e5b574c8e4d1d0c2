// Licensed under the MIT licence; see LICENSE.
#include "AppTestSupport.h"

#include <QRegularExpression>
#include <QTemporaryDir>

using namespace apptest;

namespace {

// Columns on a terminal, as the table counts them: the CJK names of these
// tests take two each.
int columns(const QString& text)
{
    int width = 0;
    for (const uint c : text.toUcs4())
        width += (c >= 0x4E00 && c <= 0x9FFF) ? 2 : 1;
    return width;
}

} // namespace

TEST(Conventions, HelpVersionAndOptionRulesBehaveAsUsersExpect)
{
    QTemporaryDir dir;
    const QString project = dir.filePath("p.zmb");
    ASSERT_EQ(talvik({"import", writeObj(dir.filePath("a.obj"), 1), "--into", project}).exitCode, 0);
    ASSERT_TRUE(QFile::copy(project, dir.filePath("--odd.zmb")));
    const auto inDir = [&](QProcess& process) { process.setWorkingDirectory(dir.path()); };

    const struct {
        QStringList arguments;
        int exitCode;
        QString outStart, errStart;
    } cases[] = {
        {{"--version"}, 0, "talvik 0.", {}},
        {{"help"}, 0, "usage: talvik COMMAND", {}},
        {{"help", "status"}, 0, "usage: talvik status PROJECT", {}},
        {{"status", "--help"}, 0, "usage: talvik status PROJECT", {}},
        {{"import", "x.obj", "--help", "--into"}, 0, "usage: talvik import FILE...", {}},
        {{"help", "fly"}, 3, {}, "talvik: unknown command 'fly'"},
        {{"import", "a.obj", "--into", project, "--into", project}, 3, {}, "talvik: option --into given twice"},
        {{"status", "--", "--odd.zmb"}, 0, "--odd.zmb: 1 reference(s), all references up to date", {}},
        {{"status", "--odd.zmb"}, 3, {}, "talvik: unknown option --odd.zmb for 'status'"},
        {{"status", dir.path()}, 3, {}, "talvik: " + dir.path() + ": a folder, not a project file"},
        {{"resolve", project, "--search-path", dir.filePath("nowhere")}, 3, {},
         "talvik: " + dir.filePath("nowhere") + ": no such folder"},
        {{"resolve", project, "--search-path", project}, 3, {}, "talvik: " + project + ": not a folder"},
        {{"formats"}, 0, "talvik import reads files with these suffixes", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const Result run = talvik(c.arguments, inDir);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err.toStdString();
        EXPECT_TRUE(run.out.startsWith(c.outStart)) << run.out.toStdString();
        EXPECT_TRUE(run.err.startsWith(c.errStart)) << run.err.toStdString();
    }
    const Result formats = talvik({"formats"});
    for (const char* suffix : {" obj", " stl", " gltf"})
        EXPECT_TRUE(formats.out.contains(suffix)) << formats.out.toStdString();
    EXPECT_TRUE(talvik({"help"}).out.contains("talvik formats")) << "the help says where to find the file types";
}

TEST(Conventions, OutputThatCannotBeWrittenFailsTheRun)
{
    QTemporaryDir dir;
    const QString project = dir.filePath("p.zmb");
    ASSERT_EQ(talvik({"import", writeObj(dir.filePath("a.obj"), 1), "--into", project}).exitCode, 0);
    const Result full = talvik({"status", project}, [](QProcess& p) { p.setStandardOutputFile("/dev/full"); });
    EXPECT_EQ(full.exitCode, 4);
    EXPECT_TRUE(full.err.contains("standard output: No space left on device")) << full.err.toStdString();
}

TEST(Conventions, TableColumnsAlignByDisplayWidth)
{
    QTemporaryDir dir;
    const QString project = dir.filePath("p.zmb");
    ASSERT_EQ(talvik({"import", writeObj(dir.filePath("齿轮箱.obj"), 1), writeObj(dir.filePath("a.obj"), 1), "--into",
                      project})
                  .exitCode,
              0);
    const QStringList lines = talvik({"status", project}).out.split('\n');
    ASSERT_GE(lines.size(), 4);
    // The "Source" column starts at one terminal column on every line.
    const int header = columns(lines.at(1).left(lines.at(1).indexOf("Source")));
    for (const QString& line : lines.mid(2, 2)) {
        const int at = line.indexOf(QRegularExpression("\\S+\\.obj"));
        EXPECT_EQ(columns(line.left(at)), header) << line.toStdString();
    }
}
