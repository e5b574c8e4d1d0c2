// Licensed under the MIT licence; see LICENSE.
#include "ksEditorCommand.h"

#include "ksCommandLine.h"
#include "ksEditorWindow.h"
#include "ksProjectFile.h"
#include "ksTalvikHost.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>

#include <cstdio>
#include <cstring>

void ksEditorCommand::preparePlatform(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--screenshot") == 0 && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
}

int ksEditorCommand::run(const ksCommandLine& line, ksTalvikHost& host)
{
    if (line.positional().size() > 1) {
        std::fprintf(stderr, "talvik: editor takes at most one project file\n%s", qPrintable(ksCommandLine::usage()));
        return ksCommandLine::UsageError;
    }
    const QString project = line.positional().value(0);
    if (!project.isEmpty() && !ksProjectFile::usable(project))
        return ksCommandLine::UsageError;
    const QString screenshot = line.value("screenshot");
    if (line.has("screenshot") && QFileInfo(screenshot).suffix().compare("png", Qt::CaseInsensitive) != 0) {
        ksProjectFile::report(screenshot, QStringLiteral("the screenshot must be a .png file"));
        return ksCommandLine::UsageError;
    }
    if (!host.start(line.has("verbose"))) {
        std::fprintf(stderr, "talvik: %s\n", qPrintable(host.lastError()));
        return ksCommandLine::Failure;
    }
    const QString projectPath = project.isEmpty() ? QString() : QFileInfo(project).absoluteFilePath();
    if (!projectPath.isEmpty()) {
        QString error;
        if (!ksProjectFile::load(host, projectPath, error)) {
            ksProjectFile::report(project, error);
            return ksCommandLine::UsageError;
        }
    }

    ksEditorWindow window(projectPath);
    window.show();
    if (!line.has("screenshot"))
        return QApplication::exec();

    // Long enough for the queued updates of the load and the first layout.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 300)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    if (!window.saveScreenshot(screenshot)) {
        ksProjectFile::report(screenshot, QStringLiteral("could not write the picture"));
        return ksCommandLine::Failure;
    }
    return 0;
}
