// Licensed under the MIT licence; see LICENSE.
#include "AppTestSupport.h"

#include <QRegularExpression>
#include <QTemporaryDir>

using namespace apptest;

TEST(Demo, RunsEveryStepInOrderAndLeavesALoadableProject)
{
    QTemporaryDir dir;
    const Result demo = talvik({"demo", dir.path()});
    ASSERT_EQ(demo.exitCode, 0) << demo.out.toStdString() << demo.err.toStdString();

    for (int step = 1, at = 0; step <= 9; ++step) {
        const int found = demo.out.indexOf(QStringLiteral("[%1/9] ").arg(step), at);
        EXPECT_GE(found, 0) << "step " << step << " missing or out of order";
        at = std::max(at, found + 1);
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
    EXPECT_TRUE(section(7).contains("revision check switched off"))
        << "later tables show door_v1 up to date beside door_v2";
    EXPECT_TRUE(section(8).contains("found source file body:"));
    EXPECT_TRUE(section(8).contains("left as it was, candidates for engine:"))
        << "changed before the move, so its name alone does not relink it";
    EXPECT_TRUE(section(9).contains(QRegularExpression("Chassis +Chassis.zmb up to date")));

    // The files stay in the moved folder: the project loads, and engine.obj is left for the user.
    EXPECT_TRUE(demo.out.contains("Project folder: " + dir.filePath("car-moved")));
    EXPECT_EQ(talvik({"status", dir.filePath("car-moved/assembly.zmb")}).exitCode, 2);

    const Result again = talvik({"demo", dir.path()});
    EXPECT_EQ(again.exitCode, 3) << "a second run into the same folder says why before it starts";
    EXPECT_TRUE(again.err.contains("car-moved: already exists")) << again.err.toStdString();
}
