// Licensed under the MIT licence; see LICENSE.
// What saves killed before their renames leave behind: the next writer
// removes it, and nothing that may still be in use.
#include "AppTestSupport.h"

#include <QCoreApplication>
#include <QTemporaryDir>

using namespace apptest;

TEST(StaleTemporaries, TheNextWriterRemovesThoseOfGoneProcessesBesideItsFiles)
{
    QTemporaryDir dir;
    const QString project = dir.filePath("p.zmb");
    ASSERT_EQ(talvik({"import", writeObj(dir.filePath("cad/base.obj"), 1), "--into", project}).exitCode, 0);

    QProcess finished;
    finished.start("true", QStringList());
    ASSERT_TRUE(finished.waitForStarted());
    const QString gone = QString::number(finished.processId());
    ASSERT_TRUE(finished.waitForFinished());
    const QString alive = QString::number(QCoreApplication::applicationPid());

    const struct {
        QString name;
        bool old;
        bool stays;
    } planted[] = {
        {".p.zmb.tmp" + gone + "-0", false, false},
        {".part.zmb.tmp" + gone + "-12", false, false},
        {".p.zmb.tmp" + alive + "-0", false, true},
        {".p.zmb.tmp" + alive + "-1", true, false}, // its pid was reused since
        {".p.zmb.tmp" + gone + "-x", false, true},  // not a name a save makes
        {"p.zmb.tmp" + gone + "-0", false, true},
        {".p.zmb.tmp" + gone + "-0.keep", false, true},
        {"cad/.base.obj.tmp" + gone + "-0", false, true}, // no file written there
    };
    for (const auto& file : planted) {
        QFile out(dir.filePath(file.name));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly) && out.write("half a save") > 0);
        out.close();
        if (file.old)
            ASSERT_TRUE(out.open(QIODevice::ReadWrite)
                        && out.setFileTime(QDateTime::currentDateTime().addDays(-2), QFileDevice::FileModificationTime));
    }

    const Result import = talvik({"import", writeObj(dir.filePath("cad/more.obj"), 1), "--into", project, "--smart"});
    ASSERT_EQ(import.exitCode, 0) << import.err.toStdString();
    for (const auto& file : planted)
        EXPECT_EQ(QFileInfo::exists(dir.filePath(file.name)), file.stays) << file.name.toStdString();
    EXPECT_TRUE(QDir(dir.path()).entryList({".*.tmp*"}, QDir::Files | QDir::Hidden).size() == 3)
        << "the save left no temporary of its own";
}
