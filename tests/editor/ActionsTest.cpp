// Licensed under the MIT licence; see LICENSE.
// Each action of the editor changes the scene and its row, and undo (the
// host stack's own action, with the module's texts) brings the row back;
// the details panel shows the selected reference's files.
#include "EditorTestSupport.h"

#include "ksEditorWindow.h"
#include "ksProgressDisplay.h"
#include "ksReferenceActions.h"
#include "ksReferenceDetailsPanel.h"
#include "ksReferenceItemModel.h"
#include "ksReferenceOperations.h"

#include "kernel/ksInterfaceFactory.h"
#include "references/ksReferenceInterface.h"
#include "scenegraph/ExtReference.h"
#include "scenegraph/FileReference.h"

#include <QAction>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTreeView>
#include <QUrl>

using namespace editortest;
using Model = ksReferenceItemModel;

class ActionsTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    void select(ksEditorWindow& window, const QString& name)
    {
        QTRY_VERIFY(rowOf(window.model(), name).isValid());
        window.selectNodes({rowOf(window.model(), name).data(Model::NodeIdRole).toUInt()});
        window.actions()->updateEnabled();
    }

private slots:
    void init() { freshScene(); }

    void createAndConvertAreUndoSteps()
    {
        importSource(writeMesh(m_dir.filePath("body.obj")));
        ksEditorWindow window;
        ksReferenceActions* actions = window.actions();
        const Model* model = window.model();

        actions->createSmart->trigger();
        QTRY_VERIFY(rowOf(model, "SmartReference").isValid());
        QCOMPARE(cell(model, "SmartReference", Model::SmartFile), QString("(no path)"));
        QCOMPARE(actions->undo->text(), QString("Undo Create Smart Reference"));
        actions->undo->trigger();
        QTRY_VERIFY(!rowOf(model, "SmartReference").isValid());
        QCOMPARE(actions->redo->text(), QString("Redo Create Smart Reference"));
        actions->redo->trigger();
        QTRY_VERIFY(rowOf(model, "SmartReference").isValid());

        select(window, "body");
        QVERIFY(actions->convertToSmart->isEnabled());
        actions->convertToSmart->trigger();
        QTRY_COMPARE(cell(model, "body", Model::SmartFile), QString("(no path)"));
        QCOMPARE(actions->undo->text(), QString("Undo Set File Reference"));
        actions->undo->trigger();
        QTRY_COMPARE(cell(model, "body", Model::SmartFile), QString());
        QCOMPARE(cell(model, "body", Model::SourceFile), QString("body.obj"));
    }

    // One reference through every action that asks the module to change it,
    // with the details panel showing its files.
    void detailsThenLoadUnloadNewestUpdateResolveRelinkAndRemove()
    {
        const ksdReferenceNode door = importSource(writeMesh(m_dir.filePath("door_v1.obj")));
        writeMesh(m_dir.filePath("door_v2.obj"), 3.0f);
        const QString newer = writeMesh(m_dir.filePath("door_v10.obj"), 3.0f);
        const QString other = writeMesh(m_dir.filePath("parts/hood.obj"), 2.0f);
        service()->setRevisionExpressions({"_v(\\d+)"});
        service()->setRevisionCheckEnabled(true);
        ksEditorWindow window;
        ksReferenceActions* actions = window.actions();
        const Model* model = window.model();
        select(window, "door_v1");

        QCOMPARE(window.details()->reference(), door);
        const QString text = window.details()->text();
        const osg::FileReferencePtr record = ksInterfaceFactory::the()
                                                 .get<ksReferenceInterface>()
                                                 ->getExtReference(ksTypeConverter::convertNode(door))
                                                 ->getSourceFile();
        QVERIFY2(text.contains(m_dir.filePath("door_v1.obj")), qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("%1").arg(record->getChecksum(), 8, 16, QLatin1Char('0'))));
        QVERIFY(text.contains(QLocale().formattedDataSize(QFileInfo(m_dir.filePath("door_v1.obj")).size())));
        // Numeric order: 10 is newer than 2.
        QVERIFY2(text.contains("1 (in use), 2, 10 (newest)"), qPrintable(text));
        QVERIFY(text.contains("Smart file\nnone"));

        actions->unload->trigger();
        QTRY_COMPARE(cell(model, "door_v1", Model::Loaded), QString("no"));
        actions->updateEnabled();
        QVERIFY(actions->load->isEnabled());
        actions->load->trigger();
        QTRY_COMPARE(cell(model, "door_v1", Model::Loaded), QString("yes"));

        QCOMPARE(cell(model, "door_v1", Model::Revision), QString("1"));
        actions->newestRevision->trigger();
        QTRY_COMPARE(cell(model, "door_v1", Model::SourceFile), QString("door_v10.obj"));
        QTRY_COMPARE(cell(model, "door_v1", Model::Revision), QString("10"));

        changeFile(newer);
        QTRY_COMPARE_WITH_TIMEOUT(cell(model, "door_v1", Model::SourceState), QString("outdated"), 3000);
        actions->updateEnabled();
        QVERIFY(actions->update->isEnabled());
        actions->update->trigger();
        QTRY_COMPARE(cell(model, "door_v1", Model::SourceState), QString("up to date"));

        // The file moves away; resolve finds it in the folder the user names.
        QDir().mkpath(m_dir.filePath("moved"));
        QVERIFY(QFile::rename(newer, m_dir.filePath("moved/door_v10.obj")));
        QTRY_COMPARE_WITH_TIMEOUT(cell(model, "door_v1", Model::SourceState), QString("missing"), 3000);
        actions->setChooser([&](ksReferenceActions::Ask what, const QString&) {
            return what == ksReferenceActions::Ask::SearchFolder ? m_dir.filePath("moved")
                 : what == ksReferenceActions::Ask::RelinkFile   ? other
                                                                 : QString();
        });
        actions->resolve->trigger();
        QTRY_COMPARE(cell(model, "door_v1", Model::SourceState), QString("up to date"));
        QCOMPARE(cell(model, "door_v1", Model::FoundIn), m_dir.filePath("moved"));

        actions->relink->trigger();
        QTRY_COMPARE(cell(model, "door_v1", Model::SourceFile), QString("hood.obj"));
        QCOMPARE(cell(model, "door_v1", Model::FoundIn), QFileInfo(other).absolutePath());

        actions->remove->trigger();
        QTRY_VERIFY(!rowOf(model, "door_v1").isValid());
        QCOMPARE(model->rowCount(), 0);
        window.selectNodes({});
        QVERIFY(window.details()->text().contains("Select a reference"));
    }

    void droppedFilesAreImportedUnderTheRowTheyFallOn()
    {
        ksEditorWindow window;
        Model* model = window.model();
        QMimeData top;
        top.setUrls({QUrl::fromLocalFile(writeMesh(m_dir.filePath("crate.obj")))});
        QVERIFY(model->canDropMimeData(&top, Qt::CopyAction, -1, -1, QModelIndex()));
        QVERIFY(model->dropMimeData(&top, Qt::CopyAction, -1, -1, QModelIndex()));
        QTRY_COMPARE(tree(model), QStringList({"crate"}));
        QMimeData nested;
        nested.setUrls({QUrl::fromLocalFile(writeMesh(m_dir.filePath("lid.obj")))});
        QVERIFY(model->dropMimeData(&nested, Qt::CopyAction, -1, -1, rowOf(model, "crate")));
        QTRY_COMPARE(tree(model), QStringList({"crate", "  lid"}));
        QMimeData text;
        text.setText("not a file");
        QVERIFY(!model->canDropMimeData(&text, Qt::CopyAction, -1, -1, QModelIndex()));
    }

    void reloadShowsProgressAndSavesWriteFiles()
    {
        const QString project = m_dir.filePath("shop/shop.zmb");
        ksdReferenceNode crate = importSource(writeMesh(m_dir.filePath("shop/crate.obj")));
        crate.saveSmartReferenceAs(m_dir.filePath("shop/crate.zmb"), false);
        ksEditorWindow window(project);
        select(window, "crate");
        QCOMPARE(cell(window.model(), "crate", Model::SmartState), QString("up to date"));
        QVERIFY(window.actions()->saveProject->isEnabled());
        window.actions()->saveProject->trigger();
        QVERIFY(QFileInfo(project).isFile());

        // The host's progress while the smart reference loads again.
        QString shown;
        QMetaObject::Connection watch = connect(ksFileIO::instance(), &ksFileIO::advancedProgressStarted, this,
                                                [&](const QString&, int, int depth) {
                                                    if (depth == 1 && window.progress()->dialog())
                                                        shown = window.progress()->dialog()->labelText();
                                                });
        window.actions()->reload->trigger();
        disconnect(watch);
        QCOMPARE(shown, QString("Loading smart references ..."));
        QTRY_VERIFY(!window.progress()->dialog());
        QCOMPARE(cell(window.model(), "crate", Model::Loaded), QString("yes"));
    }

};

QObject* makeActionsTest()
{
    return new ActionsTest;
}

#include "ActionsTest.moc"
