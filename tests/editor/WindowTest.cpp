// Licensed under the MIT licence; see LICENSE.
// The window on a real display (run under Xvfb): shortcuts reach the
// actions, the context menu offers them, and the host's selection and the
// tree's follow each other.
#include "EditorTestSupport.h"

#include "ksEditorWindow.h"
#include "ksReferenceActions.h"
#include "ksReferenceItemModel.h"

#include "tree/ksTreeService.h"

#include <QAction>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTreeView>

using namespace editortest;

class WindowTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs an X display; runs under xvfb-run");
        freshScene();
    }

    void shortcutsMenusAndSelectionOnARealWindow()
    {
        QTemporaryDir dir;
        const ksdReferenceNode body = importSource(writeMesh(dir.filePath("body.obj")));
        ksEditorWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        window.tree()->setFocus();

        QTest::keyClick(&window, Qt::Key_N, Qt::ControlModifier);
        QTRY_VERIFY(rowOf(window.model(), "SmartReference").isValid());
        QTest::keyClick(&window, Qt::Key_Z, Qt::ControlModifier);
        QTRY_VERIFY(!rowOf(window.model(), "SmartReference").isValid());

        // The host's selection shows in the tree, and a click in the tree
        // becomes the host's selection (the service reports it).
        ksTreeService* tree = ksKernelServiceFactory::the().get<ksTreeService>();
        tree->setSelection({body.getObjectId()});
        QTRY_COMPARE(window.tree()->selectionModel()->selectedRows().size(), 1);
        tree->setSelection({});
        QTRY_VERIFY(window.tree()->selectionModel()->selectedRows().isEmpty());
        QSignalSpy selected(service(), &ksReferenceService::sceneSelectionChanged);
        const QModelIndex row = rowOf(window.model(), "body");
        QTest::mouseClick(window.tree()->viewport(), Qt::LeftButton, {}, window.tree()->visualRect(row).center());
        QTRY_COMPARE(tree->getSelection(), QList<uint>({body.getObjectId()}));
        QCOMPARE(selected.last().first().value<QList<ksdReferenceNode>>(), QList<ksdReferenceNode>({body}));

        QVERIFY(window.tree()->actions().contains(window.actions()->unload));
        QVERIFY(window.actions()->unload->isEnabled());
        QTest::keyClick(&window, Qt::Key_L, Qt::ControlModifier | Qt::ShiftModifier);
        QTRY_COMPARE(cell(window.model(), "body", ksReferenceItemModel::Loaded), QString("no"));
    }
};

QObject* makeWindowTest()
{
    return new WindowTest;
}

#include "WindowTest.moc"
