// Licensed under the MIT licence; see LICENSE.
#include "ksImportCommand.h"

#include "ksCommandLine.h"
#include "ksProgressBar.h"
#include "ksProjectFile.h"
#include "ksTalvikHost.h"

#include "handles/ksTypeConverter.h"
#include "handles/ksdReferenceNode.h"
#include "import/ksSceneImporter.h"
#include "nodeutils/ksNodeUtils.h"
#include "references/ksReferenceService.h"
#include "scene/ksFileIO.h"
#include "scene/ksScenegraph.h"
#include "scenegraph/Node.h"

#include <QFileInfo>
#include <QSet>

#include <cstdio>

int ksImportCommand::run(const ksCommandLine& line, ksTalvikHost& host)
{
    const QStringList files = line.positional();
    const QString project = line.value("into");
    if (files.isEmpty() || project.isEmpty()) {
        std::fprintf(stderr, "talvik: import needs files and --into PROJECT\n%s", qPrintable(ksCommandLine::usage()));
        return ksCommandLine::UsageError;
    }
    if (!ksProjectFile::usable(project, true))
        return ksCommandLine::UsageError;
    QStringList paths;
    for (const QString& file : files) {
        const QFileInfo info(file);
        QString problem = info.exists() ? ksProjectFile::checkReadable(file) : QStringLiteral("no such file");
        if (problem.isEmpty()
            && (ksFileIO::isProjectFile(file) || info.suffix().compare(QLatin1String("osb"), Qt::CaseInsensitive) == 0))
            problem = QStringLiteral("a Talvik project or OSB file cannot be imported as a source");
        if (!problem.isEmpty()) {
            ksProjectFile::report(file, problem);
            return ksCommandLine::UsageError;
        }
        paths << info.absoluteFilePath();
    }

    if (!host.start(line.has("verbose"))) {
        std::fprintf(stderr, "talvik: %s\n", qPrintable(host.lastError()));
        return ksCommandLine::Failure;
    }
    ksProgressBar progress(true);
    const QString projectPath = QFileInfo(project).absoluteFilePath();
    if (QFileInfo::exists(projectPath)) {
        QString error;
        if (!ksProjectFile::load(host, projectPath, error)) {
            ksProjectFile::report(project, error);
            return ksCommandLine::UsageError;
        }
    } else {
        ksFileIO::newScene();
    }

    QStringList errors;
    const std::vector<osg::NodeRefPtr> added = ksSceneImporter::importFiles(paths, osg::NodePtr(), &errors);
    if (!errors.isEmpty()) {
        // Nothing has been written yet; the project stays as it was.
        for (const QString& error : errors)
            std::fprintf(stderr, "talvik: %s\n", qPrintable(error));
        return ksCommandLine::UsageError;
    }

    QStringList written;
    QObject listener;
    QObject::connect(ksFileIO::instance(), &ksFileIO::smartReferenceSaved, &listener,
                     [&written](const QString& path) { written << path; });
    ksReferenceService* service = host.service();
    QSet<QString> taken{projectPath};
    for (std::size_t i = 0; i < added.size(); ++i) {
        const osg::NodePtr node = added[i].get();
        const quint64 vertices = ksSceneImporter::countVertices(node);
        if (line.has("smart")) {
            ksdReferenceNode handle(ksTypeConverter::convertNode(node));
            if (handle.isNull())
                handle = ksdReferenceNode(service->convertToSmart(ksTypeConverter::convertNode(node), false));
            // Beside the project, named after the source; a name already in
            // use (on disk or by this import) gets a number.
            const QString base = handle.createSmartPath(ksReferenceTypes::CustomDirectory,
                                                        QFileInfo(projectPath).absolutePath());
            QString path = base;
            for (int n = 2; taken.contains(path) || QFileInfo::exists(path); ++n)
                path = base.left(base.size() - 4) + QStringLiteral("_%1.zmb").arg(n);
            taken << path;
            // Written now: a reference that was never edited is not saved
            // again with the project.
            handle.saveSmartReferenceAs(path, false);
        }
        std::printf("imported %s as %s: %llu vertices\n", qPrintable(QFileInfo(paths.at(int(i))).fileName()),
                    ksNodeUtils::getName(node).c_str(), static_cast<unsigned long long>(vertices));
    }

    if (!ksFileIO::saveProject(projectPath)) {
        ksProjectFile::report(project, QStringLiteral("saving failed: %1").arg(host.lastError()));
        return ksCommandLine::Failure;
    }
    for (const QString& path : written)
        std::printf("wrote smart reference %s\n", qPrintable(QFileInfo(path).fileName()));
    std::printf("saved %s\n", qPrintable(QFileInfo(projectPath).fileName()));
    return 0;
}
