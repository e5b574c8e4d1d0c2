// Licensed under the MIT licence; see LICENSE.
#include "ksImportCommand.h"

#include "ksCommandLine.h"
#include "ksProgressBar.h"
#include "ksCommandSession.h"
#include "ksProjectFile.h"
#include "ksProjectSave.h"
#include "ksReferenceTable.h"
#include "ksTalvikHost.h"

#include "handles/ksTypeConverter.h"
#include "references/ksdReferenceNode.h"
#include "import/ksSceneImporter.h"
#include "kernel/ksInterfaceFactory.h"
#include "references/ksReferenceInterface.h"
#include "references/ksReferenceUpdateFlags.h"
#include "nodeutils/ksNodeUtils.h"
#include "references/ksReferenceInterface.h"
#include "references/ksReferenceService.h"
#include "references/ksReferenceUpdateFlags.h"
#include "scene/ksFileIO.h"
#include "scene/ksScenegraph.h"
#include "scenegraph/Node.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <cstdio>

namespace {

// A smart reference to `path` under the root, loaded, named after the file.
osg::NodePtr importSmart(ksReferenceService* service, const QString& path)
{
    const ksdNode root = ksTypeConverter::convertNode(ksScenegraph::getRoot());
    ksdReferenceNode handle = service->createSmartReference(root);
    const osg::NodePtr node = ksTypeConverter::convertNode(handle);
    ksNodeUtils::setName(node, ksNodeUtils::getUniqueName(QFileInfo(path).completeBaseName().toStdString()));
    handle.setSmartPath(path);
    handle.loadSmartReference();
    if (!handle.isLoaded())
        return osg::NodePtr();
    ksReferenceInterface* references = ksInterfaceFactory::the().get<ksReferenceInterface>();
    references->updateReferences(node, ksReferenceUpdateFlags::UpdateSmartFileInfo | ksReferenceUpdateFlags::UpdateFileStates,
                                 true);
    // As loaded: the project save has no reason to write the file again.
    references->resetChanged(node);
    return node;
}

} // namespace

int ksImportCommand::run(const ksCommandLine& line, ksTalvikHost& host)
{
    const QStringList files = line.positional();
    const QString project = line.value("into");
    if (files.isEmpty() || project.isEmpty()) {
        std::fprintf(stderr, "talvik: import needs files and --into PROJECT\n%s", qPrintable(ksCommandLine::help(QStringLiteral("import"))));
        return ksCommandLine::UsageError;
    }
    if (!ksProjectFile::usable(project, true))
        return ksCommandLine::UsageError;
    QStringList paths;
    for (const QString& file : files) {
        const QFileInfo info(file);
        QString problem = info.exists() ? ksProjectFile::checkReadable(file) : QStringLiteral("no such file");
        if (problem.isEmpty() && ksFileIO::isNativeSceneFile(file, Qt::CaseInsensitive)
            && info.absoluteFilePath() == QFileInfo(project).absoluteFilePath())
            problem = QStringLiteral("a project cannot refer to itself");
        if (!problem.isEmpty()) {
            ksProjectFile::report(file, problem);
            return ksCommandLine::UsageError;
        }
        paths << info.absoluteFilePath();
    }
    // Before any import work, and before the project is read: a save that
    // cannot happen should not cost the work, and a second writer must not
    // read the version this one replaces.
    const QString projectPath = QFileInfo(project).absoluteFilePath();
    ksProjectSave save(projectPath);
    if (!save.lock()) {
        ksProjectFile::report(project, save.error());
        return ksCommandLine::UsageError;
    }

    if (!host.start(line.has("verbose"))) {
        std::fprintf(stderr, "talvik: %s\n", qPrintable(host.lastError()));
        return ksCommandLine::Failure;
    }
    // A writing command takes the states it records itself: a monitor pass
    // that happened to run would record times of files changed within the
    // second of their import.
    host.service()->setUpdateMonitoringEnabled(false);
    ksProgressBar progress(!line.has("json"));
    if (QFileInfo::exists(projectPath)) {
        QString error;
        if (!ksProjectFile::load(host, projectPath, error)) {
            ksProjectFile::report(project, error);
            return ksCommandLine::UsageError;
        }
        // Saving would keep a part it could not read as an empty shell.
        const ksReferenceTable table = ksReferenceTable::fromScene();
        for (const ksReferenceTable::Row& row : table.rows()) {
            const QString reason = row.smart.state == ksReferenceTypes::Missing ? QString() : host.loadFailure(row.smart.path);
            if (reason.isEmpty())
                continue;
            ksProjectFile::report(project, QStringLiteral("smart file %1 is unreadable (%2); nothing was imported")
                                               .arg(row.smart.path, reason));
            return ksCommandLine::MissingOrUnreadable;
        }
    } else {
        ksFileIO::newScene();
    }

    QStringList errors, sources, smartFiles;
    for (const QString& path : paths)
        (ksFileIO::isNativeSceneFile(path, Qt::CaseInsensitive) ? smartFiles : sources) << path;
    std::vector<osg::NodeRefPtr> added = ksSceneImporter::importFiles(sources, osg::NodePtr(), &errors);
    QStringList addedPaths = sources;
    for (const QString& path : smartFiles) {
        const osg::NodePtr node = importSmart(host.service(), path);
        if (!node)
            errors << QStringLiteral("%1: does not load as a smart reference: %2").arg(path, host.lastError());
        added.push_back(osg::NodeRefPtr(node));
        addedPaths << path;
    }
    if (!errors.isEmpty()) {
        // Nothing has been written yet; the project stays as it was.
        for (const QString& error : errors)
            std::fprintf(stderr, "talvik: %s\n", qPrintable(error));
        return ksCommandLine::UsageError;
    }

    // The new source records take their files' checksums now rather than
    // whenever the update monitor gets to them, so that a later change of a
    // file shows as outdated (a record without a checksum takes whatever it
    // finds next as up to date). The time is left to later checks: a file
    // changed within the second of its import keeps that second's time.
    for (std::size_t i = 0; i < added.size(); ++i)
        if (added[i] && !ksFileIO::isNativeSceneFile(addedPaths.at(int(i)), Qt::CaseInsensitive))
            host.references()->updateReferences(added[i].get(), ksReferenceUpdateFlags::UpdateFileStates, true);

    QStringList written;
    QObject listener;
    QObject::connect(ksFileIO::instance(), &ksFileIO::smartReferenceSaved, &listener,
                     [&written](const QString& path) { written << path; });
    ksReferenceService* service = host.service();
    host.clearLastError();
    QSet<QString> taken{projectPath};
    QJsonArray imported;
    QStringList lines;
    for (std::size_t i = 0; i < added.size(); ++i) {
        const osg::NodePtr node = added[i].get();
        const quint64 vertices = ksSceneImporter::countVertices(node);
        const bool native = ksFileIO::isNativeSceneFile(addedPaths.at(int(i)), Qt::CaseInsensitive);
        if (line.has("smart") && !native) {
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
            // Written now (committed with the project): a reference that
            // was never edited is not saved again with the project.
            handle.saveSmartReferenceAs(path, false);
            if (!host.errors().isEmpty()) {
                ksProjectFile::report(project, QStringLiteral("saving failed, nothing was written: %1")
                                                   .arg(host.errors().join(QStringLiteral("; "))));
                return ksCommandLine::Failure;
            }
        }
        lines << QStringLiteral("imported %1 as %2%3: %4 vertices")
                     .arg(QFileInfo(addedPaths.at(int(i))).fileName(), QString::fromStdString(ksNodeUtils::getName(node)),
                          native ? QStringLiteral(" (smart reference)") : QString())
                     .arg(vertices);
        QJsonObject entry;
        entry["file"] = addedPaths.at(int(i));
        entry["name"] = QString::fromStdString(ksNodeUtils::getName(node));
        entry["kind"] = native ? "smart" : "source";
        entry["vertices"] = double(vertices);
        imported.append(entry);
    }

    if (!save.save()) {
        ksProjectFile::report(project, save.error());
        return ksCommandLine::Failure;
    }
    if (line.has("json")) {
        QJsonObject json;
        json["schema"] = ksCommandSession::Schema;
        json["command"] = line.command();
        json["project"] = projectPath;
        json["imported"] = imported;
        json["written"] = QJsonArray::fromStringList(written);
        std::printf("%s", QJsonDocument(json).toJson(QJsonDocument::Indented).constData());
        return 0;
    }
    for (const QString& text : lines)
        std::printf("%s\n", qPrintable(text));
    written.removeDuplicates();
    for (const QString& path : written)
        std::printf("wrote smart reference %s\n", qPrintable(QFileInfo(path).fileName()));
    std::printf("saved %s\n", qPrintable(QFileInfo(projectPath).fileName()));
    return 0;
}
