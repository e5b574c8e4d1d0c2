// Licensed under the MIT licence; see LICENSE.
#include "AppTestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace apptest;

// A smart file that is there but cannot be loaded is "unreadable" with the
// reader's reason, counts like a missing file, and is not shown as loaded.
TEST(FileStates, DamagedSmartFilesAreUnreadableWithTheirReason)
{
    QTemporaryDir dir;
    const QString project = dir.filePath("p.zmb");
    const Result import = talvik({"import", writeObj(dir.filePath("bolt.obj"), 3), writeObj(dir.filePath("nut.obj"), 2),
                                  "--into", project, "--smart"});
    ASSERT_EQ(import.exitCode, 0) << import.err.toStdString();
    const QString bolt = dir.filePath("bolt.zmb");
    QFile file(bolt);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray whole = file.readAll();
    file.close();

    const struct {
        const char* what;
        QByteArray content;
        const char* reason;
    } damages[] = {
        {"truncated", whole.left(whole.size() / 2), "truncated"},
        {"emptied", QByteArray(), "truncated"},
        {"garbage", QByteArray(4096, 'x'), "not a Talvik project file"},
    };
    for (const auto& damage : damages) {
        SCOPED_TRACE(damage.what);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(damage.content);
        file.close();

        const Result json = talvik({"status", project, "--json"});
        EXPECT_EQ(json.exitCode, 2);
        const QJsonObject status = QJsonDocument::fromJson(json.out.toUtf8()).object();
        EXPECT_EQ(status["unreadable"].toInt(), 1);
        EXPECT_EQ(status["status"].toInt(), 2);
        for (const QJsonValue& value : status["references"].toArray()) {
            const QJsonObject row = value.toObject();
            const bool isBolt = row["name"].toString() == "bolt";
            EXPECT_EQ(row["smart"].toObject()["state"].toString(), isBolt ? "unreadable" : "up_to_date");
            EXPECT_EQ(row["loaded"].toBool(), !isBolt);
            if (isBolt) {
                EXPECT_TRUE(row["smart"].toObject()["reason"].toString().contains(damage.reason)) << json.out.toStdString();
            }
        }

        const Result table = talvik({"status", project});
        EXPECT_EQ(table.exitCode, 2);
        EXPECT_TRUE(table.out.startsWith("p.zmb: 2 reference(s), some references missing or unreadable\n"))
            << table.out.toStdString();
        EXPECT_TRUE(table.out.contains(QRegularExpression("bolt +bolt.zmb unreadable +bolt.obj up to date +no ")))
            << table.out.toStdString();
        EXPECT_TRUE(table.out.contains("bolt: bolt.zmb is unreadable: "))
            << "the reason without --verbose";
    }

    // Writing into such a project would save it without the part it cannot
    // read: import refuses and leaves every file as it was.
    const QString washer = writeObj(dir.filePath("washer.obj"), 1);
    const QMap<QString, QString> before = snapshot(dir.path());
    const Result into = talvik({"import", washer, "--into", project});
    EXPECT_EQ(into.exitCode, 2);
    EXPECT_TRUE(into.err.contains("bolt.zmb")) << into.err.toStdString();
    EXPECT_EQ(snapshot(dir.path()), before);
}
