// Licensed under the MIT licence; see LICENSE.
// talvik editor PROJECT --screenshot: the program draws its window offscreen
// after the project loaded, with the rows in the module's colours.
#include "EditorTestSupport.h"

#include "notification/ksStyle.h"

#include <QImage>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

using namespace editortest;

namespace {

int run(const QStringList& arguments)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("QT_QPA_PLATFORM"); // the command itself asks for offscreen
    process.setProcessEnvironment(environment);
    process.start(TALVIK_PROGRAM, arguments);
    if (!process.waitForFinished(60000))
        process.kill();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// Pixels of exactly this colour: the inner pixels of coloured text.
int count(const QImage& image, const QColor& colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += image.pixelColor(x, y).rgb() == colour.rgb();
    return n;
}

} // namespace

class ScreenshotTest : public QObject
{
    Q_OBJECT

private slots:
    // Root
    // ├── wheel   smart wheel.zmb (deleted before the picture)
    // └── body    source body.obj (changed before the picture)
    void showsMissingAndOutdatedRows()
    {
        freshScene();
        QTemporaryDir dir;
        ksdReferenceNode wheel = importSource(writeMesh(dir.filePath("wheel.obj")));
        wheel.saveSmartReferenceAs(dir.filePath("wheel.zmb"), false);
        importSource(writeMesh(dir.filePath("body.obj")));
        QVERIFY(ksFileIO::saveProject(dir.filePath("car.zmb")));
        QVERIFY(QFile::remove(dir.filePath("wheel.zmb")));
        changeFile(dir.filePath("body.obj"));

        const QString picture = dir.filePath("editor.png");
        QCOMPARE(run({"editor", dir.filePath("car.zmb"), "--screenshot", picture}), 0);
        const QImage image(picture);
        QVERIFY(!image.isNull());
        QVERIFY(image.width() >= 800 && image.height() >= 400);
        QSet<QRgb> colours;
        for (int y = 0; y < image.height(); y += 3)
            for (int x = 0; x < image.width(); x += 3)
                colours.insert(image.pixel(x, y));
        QVERIFY2(colours.size() > 20, "the picture is blank");
        QVERIFY(count(image, ksStyle::getReferenceMissingColor()) > 20);
        QVERIFY(count(image, ksStyle::getReferenceOutOfDateColor()) > 20);

        QCOMPARE(run({"editor", dir.filePath("car.zmb"), "--screenshot", dir.filePath("editor.jpg")}), 3);
        QCOMPARE(run({"editor", dir.filePath("nothing.zmb"), "--screenshot", picture}), 3);
    }
};

QObject* makeScreenshotTest()
{
    return new ScreenshotTest;
}

#include "ScreenshotTest.moc"
