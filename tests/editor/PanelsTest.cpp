// Licensed under the MIT licence; see LICENSE.
// The settings dialog shows the service's settings and hands changes back to it.
#include "EditorTestSupport.h"

#include "ksReferenceSettingsDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QSpinBox>

using namespace editortest;

class PanelsTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { freshScene(); }

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
