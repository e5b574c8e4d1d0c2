// Licensed under the MIT licence; see LICENSE.
// The details panel shows the selected reference's files; the settings
// dialog shows the service's settings and hands changes back to it.
#include "EditorTestSupport.h"

#include "ksEditorWindow.h"
#include "ksReferenceDetailsPanel.h"
#include "ksReferenceItemModel.h"
#include "ksReferenceSettingsDialog.h"

#include "kernel/ksInterfaceFactory.h"
#include "references/ksReferenceInterface.h"
#include "scenegraph/ExtReference.h"
#include "scenegraph/FileReference.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>

using namespace editortest;

class PanelsTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { freshScene(); }

    void detailsShowTheFilesAndMarkTheNewestRevision()
    {
        QTemporaryDir dir;
        const ksdReferenceNode door = importSource(writeMesh(dir.filePath("cad/door_v1.obj")));
        writeMesh(dir.filePath("cad/door_v2.obj"));
        writeMesh(dir.filePath("cad/door_v10.obj"));
        service()->setRevisionExpressions({"_v(\\d+)"});
        service()->setRevisionCheckEnabled(true);
        ksEditorWindow window;
        window.selectNodes({door.getObjectId()});
        QCOMPARE(window.details()->reference(), door);

        const QString text = window.details()->text();
        const osg::FileReferencePtr record = ksInterfaceFactory::the()
                                                 .get<ksReferenceInterface>()
                                                 ->getExtReference(ksTypeConverter::convertNode(door))
                                                 ->getSourceFile();
        QVERIFY2(text.contains(dir.filePath("cad/door_v1.obj")), qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("%1").arg(record->getChecksum(), 8, 16, QLatin1Char('0'))));
        QVERIFY(text.contains(QLocale().formattedDataSize(QFileInfo(dir.filePath("cad/door_v1.obj")).size())));
        // Numeric order: 10 is newer than 2.
        QVERIFY2(text.contains("1 (in use), 2, 10 (newest)"), qPrintable(text));
        QVERIFY(text.contains("Smart file\nnone"));

        window.selectNodes({});
        QVERIFY(window.details()->text().contains("Select a reference"));
    }

    void settingsRoundTripThroughTheService()
    {
        ksReferenceService* s = service();
        ksReferenceSettingsDialog dialog(s);
        QCOMPARE(dialog.monitoring()->isChecked(), s->isUpdateMonitoringEnabled());
        QCOMPARE(dialog.interval()->value(), s->getUpdateMonitoringInterval());

        QSignalSpy monitoring(s, &ksReferenceService::updateMonitoringChanged);
        dialog.apply();
        QCOMPARE(monitoring.count(), 0); // nothing changed, nothing restarted

        dialog.interval()->setValue(1500);
        dialog.notificationMode()->setCurrentIndex(1);
        dialog.revisionCheck()->setChecked(true);
        dialog.revisionExpressions()->setPlainText("_v(\\d+)\n\n  _rev(\\d+)  \n");
        dialog.exportLocation()->setCurrentIndex(1);
        dialog.customFolder()->setText("/tmp/smart");
        dialog.monitoring()->setChecked(false);
        dialog.accept();
        QCOMPARE(s->getUpdateMonitoringInterval(), 1500);
        QCOMPARE(s->getNotificationMode(), ksReferenceTypes::NotifyAfterUpdateCheck);
        QVERIFY(s->isRevisionCheckEnabled());
        QCOMPARE(s->getRevisionExpressions(), QStringList({"_v(\\d+)", "_rev(\\d+)"}));
        QCOMPARE(s->getExportLocation(), ksReferenceTypes::CustomDirectory);
        QCOMPARE(s->getCustomExportPath(), QString("/tmp/smart"));
        QVERIFY(!s->isUpdateMonitoringEnabled());
        QCOMPARE(monitoring.count(), 1);

        ksReferenceSettingsDialog reopened(s);
        QCOMPARE(reopened.revisionExpressions()->toPlainText(), QString("_v(\\d+)\n_rev(\\d+)"));
        QCOMPARE(reopened.exportLocation()->currentIndex(), 1);
        s->setUpdateMonitoringEnabled(true);
        s->setRevisionExpressions({});
        s->setExportLocation(ksReferenceTypes::NextToSource);
        s->setCustomExportPath(QString());
    }
};

QObject* makePanelsTest()
{
    return new PanelsTest;
}

#include "PanelsTest.moc"
