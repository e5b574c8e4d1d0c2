// Licensed under the MIT licence; see LICENSE.
// The reference tree's model: its shape follows every change of the scene,
// under Qt's model tester, and a monitor report touches only its rows and
// reaches the window's banner.
#include "EditorTestSupport.h"

#include "ksEditorWindow.h"
#include "ksNotificationBanner.h"
#include "ksReferenceItemModel.h"
#include "ksReferenceOperations.h"

#include "notification/ksStyle.h"

#include <QAbstractItemModelTester>
#include <QPushButton>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTreeView>

using namespace editortest;
using Model = ksReferenceItemModel;

class ReferenceModelTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { freshScene(); }

    // Root
    // ├── wheel            (source)
    // ├── Assembly         (smart, empty)
    // │   └── bolt         (source)
    // └── door             (source)
    void followsTheSceneThroughEveryChange()
    {
        QTemporaryDir dir;
        Model model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        importSource(writeMesh(dir.filePath("wheel.obj")));
        const ksdReferenceNode assembly = ksReferenceOperations::createSmartReference(ksdNode());
        importSource(writeMesh(dir.filePath("bolt.obj")), assembly);
        importSource(writeMesh(dir.filePath("door.obj")));
        QTRY_COMPARE(tree(&model), QStringList({"wheel", "SmartReference", "  bolt", "door"}));
        QCOMPARE(model.referenceCount(), 4);

        // Removing a reference keeps its node and content: what was nested
        // in it moves up a level, and the rows around keep their identity.
        const QPersistentModelIndex door = rowOf(&model, "door");
        ksReferenceOperations::remove({model.handle(rowOf(&model, "SmartReference"))});
        QTRY_COMPARE(tree(&model), QStringList({"wheel", "bolt", "door"}));
        QVERIFY(door.isValid());
        QCOMPARE(door.row(), 2);
        QCOMPARE(model.referenceCount(), 3);

        // Undo and redo of a created reference insert and remove its row.
        ksReferenceOperations::createSmartReference(ksdNode());
        QTRY_COMPARE(tree(&model), QStringList({"wheel", "bolt", "door", "SmartReference_1"}));
        ksUndoStack::get(0).undo();
        QTRY_COMPARE(tree(&model), QStringList({"wheel", "bolt", "door"}));
        ksUndoStack::get(0).redo();
        QTRY_COMPARE(tree(&model), QStringList({"wheel", "bolt", "door", "SmartReference_1"}));

        ksFileIO::newScene();
        QTRY_COMPARE(model.rowCount(), 0);
        QCOMPARE(model.referenceCount(), 0);
    }

    // A deleted smart file and a changed source: their rows alone refresh,
    // in the colours of their states, and the window shows the module's
    // notification, which selects the row when clicked and goes with it.
    void aMonitorReportRefreshesOnlyItsRowsAndIsAnnounced()
    {
        QTemporaryDir dir;
        ksdReferenceNode wheel = importSource(writeMesh(dir.filePath("wheel.obj")));
        wheel.saveSmartReferenceAs(dir.filePath("wheel.zmb"), false);
        for (const char* name : {"body", "door", "hood"})
            importSource(writeMesh(dir.filePath(QStringLiteral("%1.obj").arg(name))));
        service()->setNotificationMode(ksReferenceTypes::NotifyAfterUpdateCheck);
        ksEditorWindow window;
        const Model* model = window.model();
        QTRY_COMPARE(cell(model, "wheel", Model::SmartState), QString("up to date"));
        // Everything the load brought has settled before the change.
        QTest::qWait(3 * service()->getUpdateMonitoringInterval());
        QVERIFY(window.banner()->isHidden());
        QSignalSpy changed(model, &QAbstractItemModel::dataChanged);

        // The notification lives 3000 ms: it is checked as soon as its state shows.
        QVERIFY(QFile::remove(dir.filePath("wheel.zmb")));
        QTRY_COMPARE_WITH_TIMEOUT(cell(model, "wheel", Model::SmartState), QString("missing"), 3000);
        QTRY_COMPARE(window.banner()->texts(), QStringList({"Reference(s) missing, see Reference Editor."}));
        QVERIFY(!window.banner()->isHidden());
        window.banner()->findChild<QPushButton*>()->click();
        const QModelIndexList selected = window.tree()->selectionModel()->selectedRows();
        QCOMPARE(selected.size(), 1);
        QCOMPARE(selected.first().data().toString(), QString("wheel"));
        // The module removes its notification after 3000 ms; the banner goes with it.
        QTRY_VERIFY_WITH_TIMEOUT(window.banner()->isHidden(), 4000);
        QVERIFY(window.banner()->texts().isEmpty());

        changeFile(dir.filePath("door.obj"));
        QTRY_COMPARE_WITH_TIMEOUT(cell(model, "door", Model::SourceState), QString("outdated"), 3000);
        const QSet<int> rows{rowOf(model, "wheel").row(), rowOf(model, "door").row()};
        for (const QList<QVariant>& signal : changed) {
            QVERIFY(rows.contains(signal.at(0).toModelIndex().row()));
            QCOMPARE(signal.at(1).toModelIndex().row(), signal.at(0).toModelIndex().row());
        }
        const auto colour = [&](const char* name, int column) {
            const QModelIndex row = rowOf(model, name);
            return row.sibling(row.row(), column).data(Qt::ForegroundRole).value<QColor>();
        };
        QCOMPARE(colour("wheel", Model::SmartFile), ksStyle::getReferenceMissingColor());
        QCOMPARE(colour("door", Model::SourceState), ksStyle::getReferenceOutOfDateColor());
        QCOMPARE(colour("hood", Model::SourceState), ksStyle::getReferenceUpToDateColor());
    }

    void aLockedReferenceIsGreyAndAnUnselectableOneCannotBeSelected()
    {
        QTemporaryDir dir;
        const ksdReferenceNode locked = importSource(writeMesh(dir.filePath("locked.obj")));
        const ksdReferenceNode hidden = importSource(writeMesh(dir.filePath("hidden.obj")));
        ksNodeUtils::setLock(ksTypeConverter::convertNode(locked), true);
        ksNodeUtils::setSelectable(ksTypeConverter::convertNode(hidden), false);
        Model model;
        const QModelIndex lockedRow = rowOf(&model, "locked");
        QCOMPARE(lockedRow.sibling(lockedRow.row(), Model::SourceFile).data(Qt::ForegroundRole).value<QColor>(),
                 ksStyle::getLockedItemColor());
        QVERIFY(lockedRow.data(Qt::FontRole).value<QFont>().italic());
        QVERIFY(model.flags(lockedRow) & Qt::ItemIsSelectable);
        QVERIFY(!(model.flags(rowOf(&model, "hidden")) & Qt::ItemIsSelectable));
    }
};

QObject* makeReferenceModelTest()
{
    return new ReferenceModelTest;
}

#include "ReferenceModelTest.moc"
