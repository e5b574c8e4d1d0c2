// Licensed under the MIT licence; see LICENSE.
#include "AppTestSupport.h"

#include <QRegularExpression>
#include <QTemporaryDir>

using namespace apptest;

TEST(Demo, RunsEveryStepAndLeavesTheFilesItWrote)
{
    QTemporaryDir dir;
    const Result demo = talvik({"demo", dir.path()});
    ASSERT_EQ(demo.exitCode, 0) << demo.out.toStdString() << demo.err.toStdString();

    const char* const steps[] = {
        "[1/9] Writing the source meshes",
        "[2/9] Importing them as source references",
        "[3/9] Turning the sub-assemblies into nested smart references",
        "[4/9] Saving the project (smart files innermost first)",
        "[5/9] A source file changed on disk: cad/engine.obj",
        "[6/9] A smart file was deleted: Chassis.zmb",
        "[7/9] A newer revision appeared: cad/door_v2.obj",
        "[8/9] The project folder moved: car -> car-moved; its references resolved again",
        "[9/9] The project loaded into a fresh scene",
    };
    int at = 0;
    for (const char* step : steps) {
        const int found = demo.out.indexOf(step, at);
        EXPECT_GE(found, 0) << "missing or out of order: " << step;
        at = std::max(at, found);
    }

    // What each step shows of the table.
    const auto section = [&](int step) {
        const int from = demo.out.indexOf(QStringLiteral("[%1/9]").arg(step));
        const int to = demo.out.indexOf(QStringLiteral("[%1/9]").arg(step + 1));
        return demo.out.mid(from, to < 0 ? -1 : to - from);
    };
    EXPECT_TRUE(section(4).contains(QRegularExpression("wrote Chassis.zmb\\s+wrote Car.zmb\\s+wrote assembly.zmb")))
        << "innermost first, the project last";
    EXPECT_TRUE(section(5).contains(QRegularExpression("engine +- +engine.obj outdated")));
    EXPECT_TRUE(section(6).contains(QRegularExpression("Chassis +Chassis.zmb missing")));
    EXPECT_TRUE(section(7).contains("door revisions: 1, 2, in use 1, newest 2"));
    EXPECT_TRUE(section(7).contains(QRegularExpression("door_v1 +- +door_v1.obj outdated")));
    EXPECT_TRUE(section(8).contains("found source file body:"));
    EXPECT_TRUE(section(9).contains(QRegularExpression("Chassis +Chassis.zmb up to date")));

    const QString folder = dir.filePath("car-moved");
    EXPECT_TRUE(demo.out.contains("Project folder: " + folder));
    const QRegularExpression wrote("^  wrote (\\S+)", QRegularExpression::MultilineOption);
    int files = 0;
    for (auto it = wrote.globalMatch(demo.out); it.hasNext(); ++files) {
        const QString file = it.next().captured(1);
        EXPECT_TRUE(QFileInfo(folder + "/" + file).isFile()) << file.toStdString();
    }
    EXPECT_EQ(files, 4 + 3 + 3) << "meshes, the first save, the save after the move";
    EXPECT_TRUE(QFileInfo(folder + "/cad/door_v2.obj").isFile());
    EXPECT_EQ(talvik({"status", folder + "/assembly.zmb"}).exitCode, 1) << "engine.obj stays changed";
}
