// Licensed under the MIT licence; see LICENSE.
// The reference tree's model: its shape follows every change of the scene,
// under Qt's model tester, and a monitor report touches only its rows.
#include "EditorTestSupport.h"

#include "ksReferenceItemModel.h"
#include "ksReferenceOperations.h"

#include "notification/ksStyle.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTemporaryDir>

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

    void aMonitorReportRefreshesOnlyItsRows()
    {
        QTemporaryDir dir;
        QStringList paths;
        for (const char* name : {"a", "b", "c", "d"}) {
            paths << writeMesh(dir.filePath(QStringLiteral("%1.obj").arg(name)));
            importSource(paths.last());
        }
        Model model;
        QTRY_COMPARE(model.rowCount(), 4);
        // Everything the load brought has settled before the change.
        QTest::qWait(3 * service()->getUpdateMonitoringInterval());
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        QSignalSpy reported(service(), &ksReferenceService::referencesChanged);

        changeFile(paths.at(2));
        QTRY_COMPARE_WITH_TIMEOUT(cell(&model, "c", Model::SourceState), QString("outdated"), 3000);
        QVERIFY(!reported.isEmpty());
        const int row = rowOf(&model, "c").row();
        for (const QList<QVariant>& signal : changed) {
            QCOMPARE(signal.at(0).toModelIndex().row(), row);
            QCOMPARE(signal.at(1).toModelIndex().row(), row);
        }
        const QModelIndex state = rowOf(&model, "c").sibling(row, Model::SourceState);
        QCOMPARE(state.data(Qt::ForegroundRole).value<QColor>(), ksStyle::getReferenceOutOfDateColor());
        QCOMPARE(rowOf(&model, "a").sibling(0, Model::SourceState).data(Qt::ForegroundRole).value<QColor>(),
                 ksStyle::getReferenceUpToDateColor());
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
