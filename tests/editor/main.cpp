// Licensed under the MIT licence; see LICENSE.
// Runs the editor's test classes inside a started host with the reference
// module loaded from the plug-in folder. A first argument that names a class
// runs that class alone (the Xvfb run does this); the rest go to Qt Test.
#include "ksTalvikHost.h"

#include <QApplication>
#include <QTest>

#include <cstdio>
#include <functional>
#include <map>

QObject* makeReferenceModelTest();
QObject* makeActionsTest();
QObject* makePanelsTest();
QObject* makeScreenshotTest();
QObject* makeWindowTest();
QObject* makeSceneViewTest();
QObject* makeMeshLevelsTest();

int main(int argc, char** argv)
{
    // The host outlives the application: timers the module armed are
    // deleted with it and their code must still be loaded.
    ksTalvikHost host;
    QApplication app(argc, argv);
    if (!host.start(false)) {
        std::fprintf(stderr, "test_editor: %s\n", qPrintable(host.lastError()));
        return 1;
    }
    const std::map<QString, std::function<QObject*()>> classes{
        {"ReferenceModelTest", makeReferenceModelTest}, {"ActionsTest", makeActionsTest},
        {"PanelsTest", makePanelsTest},                 {"ScreenshotTest", makeScreenshotTest},
        {"WindowTest", makeWindowTest},                 {"SceneViewTest", makeSceneViewTest},
        {"MeshLevelsTest", makeMeshLevelsTest}};
    QStringList args = app.arguments();
    QString only;
    if (args.size() > 1 && classes.count(args.at(1))) {
        only = args.at(1);
        args.removeAt(1);
    }
    int failed = 0;
    for (const auto& [name, make] : classes) {
        if (!only.isEmpty() && name != only)
            continue;
        QObject* test = make();
        failed += QTest::qExec(test, args) != 0;
        delete test;
    }
    host.finish();
    return failed;
}
