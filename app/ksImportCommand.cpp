// Licensed under the MIT licence; see LICENSE.
#include "ksImportCommand.h"

#include "ksCommandLine.h"
#include "ksProgressBar.h"
#include "ksProjectFile.h"
#include "ksProjectWriter.h"
#include "ksReferenceTable.h"
#include "ksTalvikHost.h"

#include "handles/ksTypeConverter.h"
#include "handles/ksdReferenceNode.h"
#include "import/ksSceneImporter.h"
#include "nodeutils/ksNodeUtils.h"
#include "references/ksReferenceService.h"
#include "scene/ksFileIO.h"
#include "scenegraph/Node.h"

#include <QFile>
#include <QFileInfo>

#include <cstdio>

int ksImportCommand::run(const ksCommandLine& line, ksTalvikHost& host)
{
    const QStringList files = line.positional();
    const QString project = line.value("into");
    if (files.isEmpty() || project.isEmpty()) {
        ksCommandLine::fail(QStringLiteral("import needs files and --into PROJECT"));
        std::fprintf(stderr, "%s", qPrintable(ksCommandLine::help(QStringLiteral("import"))));
        return ksCommandLine::UsageError;
    }
    if (!ksProjectFile::usable(project, true))
        return ksCommandLine::UsageError;
    QStringList paths;
    for (const QString& file : files) {
        const QFileInfo info(file);
        QFile probe(file);
        QString problem;
        if (!info.exists())
            problem = QStringLiteral("no such file");
        else if (!info.isFile())
            problem = QStringLiteral("not a file");
        else if (!probe.open(QIODevice::ReadOnly))
            problem = QStringLiteral("not readable (%1)").arg(probe.errorString());
        else if (ksFileIO::isProjectFile(file) || info.suffix().compare(QLatin1String("osb"), Qt::CaseInsensitive) == 0)
            problem = QStringLiteral("a Talvik project or OSB file cannot be imported as a source");
        if (!problem.isEmpty()) {
            ksProjectFile::report(file, problem);
            return ksCommandLine::UsageError;
        }
        paths << info.absoluteFilePath();
    }
    // Before any import work: a save that cannot happen should not cost it.
    const QString projectPath = QFileInfo(project).absoluteFilePath();
    ksProjectWriter writer(projectPath);
    if (!writer.lock())
        return ksCommandLine::UsageError;
    QString error;

    if (!host.start(line.has("verbose"))) {
        ksCommandLine::fail(host.lastError());
        return ksCommandLine::Failure;
    }
    // A writing command reads every state it needs itself.
    host.service()->setUpdateMonitoringEnabled(false);
    ksProgressBar progress(true);
    if (QFileInfo::exists(projectPath)) {
        if (!ksProjectFile::load(host, projectPath, error)) {
            ksProjectFile::report(project, error);
            return ksCommandLine::UsageError;
        }
        // Saving would keep a part it could not read as an empty shell.
        const ksReferenceTable table = ksReferenceTable::fromScene(host.loadFailures());
        for (const ksReferenceTable::Row& row : table.rows()) {
            if (row.smart.unreadable.isEmpty())
                continue;
            ksProjectFile::report(project, QStringLiteral("smart file %1 is unreadable (%2); nothing was imported")
                                               .arg(row.smart.path, row.smart.unreadable));
            return ksCommandLine::MissingOrUnreadable;
        }
    } else {
        ksFileIO::newScene();
    }

    QStringList errors;
    const std::vector<osg::NodeRefPtr> added = ksSceneImporter::importFiles(paths, osg::NodePtr(), &errors);
    if (!errors.isEmpty()) {
        // Nothing has been written yet; the project stays as it was.
        for (const QString& reason : errors)
            ksCommandLine::fail(reason);
        return ksCommandLine::UsageError;
    }

    QStringList written;
    QObject listener;
    QObject::connect(ksFileIO::instance(), &ksFileIO::smartReferenceSaved, &listener,
                     [&written](const QString& path) { written << path; });
    ksReferenceService* service = host.service();
    host.clearLastError();
    QStringList taken{projectPath};
    QStringList imported;
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
            // Written now (staged with the project's save): a reference that
            // was never edited is not saved again with the project.
            handle.saveSmartReferenceAs(path, false);
            if (!host.errors().isEmpty()) {
                ksProjectFile::report(project, QStringLiteral("saving failed, nothing was written: %1")
                                                   .arg(host.errors().join(QStringLiteral("; "))));
                return ksCommandLine::Failure;
            }
        }
        imported << QStringLiteral("imported %1 as %2: %3 vertices")
                        .arg(QFileInfo(paths.at(int(i))).fileName(), QString::fromStdString(ksNodeUtils::getName(node)))
                        .arg(vertices);
    }

    if (!writer.save(host, error)) {
        ksProjectFile::report(project, QStringLiteral("saving failed, nothing was written: %1").arg(error));
        return ksCommandLine::Failure;
    }
    for (const QString& text : imported)
        std::printf("%s\n", qPrintable(text));
    written.removeDuplicates();
    for (const QString& path : written)
        std::printf("wrote smart reference %s\n", qPrintable(QFileInfo(path).fileName()));
    std::printf("saved %s\n", qPrintable(QFileInfo(projectPath).fileName()));
    return ksCommandLine::Success;
}
