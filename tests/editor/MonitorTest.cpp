// Licensed under the MIT licence; see LICENSE.
// A smart file deleted on disk: its row turns to the missing colour and the
// window shows the module's notification, which selects the row when
// clicked and goes away with the notification.
#include "EditorTestSupport.h"

#include "ksEditorWindow.h"
#include "ksNotificationBanner.h"
#include "ksReferenceItemModel.h"

#include "notification/ksStyle.h"

#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeView>

using namespace editortest;
using Model = ksReferenceItemModel;

class MonitorTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { freshScene(); }

    void aDeletedSmartFileTurnsMissingAndIsAnnounced()
    {
        QTemporaryDir dir;
        ksdReferenceNode wheel = importSource(writeMesh(dir.filePath("wheel.obj")));
        wheel.saveSmartReferenceAs(dir.filePath("wheel.zmb"), false);
        importSource(writeMesh(dir.filePath("body.obj")));
        const int interval = 1000;
        service()->setUpdateMonitoringInterval(interval);
        service()->setNotificationMode(ksReferenceTypes::NotifyAfterUpdateCheck);
        ksEditorWindow window;
        const Model* model = window.model();
        QTRY_COMPARE(cell(model, "wheel", Model::SmartState), QString("up to date"));
        QVERIFY(window.banner()->isHidden());

        QVERIFY(QFile::remove(dir.filePath("wheel.zmb")));
        // The next pass sees it, at most one interval and one pass away.
        QTRY_COMPARE_WITH_TIMEOUT(cell(model, "wheel", Model::SmartState), QString("missing"), 2 * interval);
        const QModelIndex wheelRow = rowOf(model, "wheel");
        QCOMPARE(wheelRow.sibling(wheelRow.row(), Model::SmartFile).data(Qt::ForegroundRole).value<QColor>(),
                 ksStyle::getReferenceMissingColor());
        QCOMPARE(cell(model, "body", Model::SourceState), QString("up to date"));
        QTRY_COMPARE(window.banner()->texts(), QStringList({"Reference(s) missing, see Reference Editor."}));
        QVERIFY(!window.banner()->isHidden());

        window.banner()->findChild<QPushButton*>()->click();
        const QModelIndexList selected = window.tree()->selectionModel()->selectedRows();
        QCOMPARE(selected.size(), 1);
        QCOMPARE(selected.first().data().toString(), QString("wheel"));

        // The module removes its notification after 3000 ms; the banner goes with it.
        QTRY_VERIFY_WITH_TIMEOUT(window.banner()->isHidden(), 4000);
        QVERIFY(window.banner()->texts().isEmpty());
    }
};

QObject* makeMonitorTest()
{
    return new MonitorTest;
}

#include "MonitorTest.moc"
