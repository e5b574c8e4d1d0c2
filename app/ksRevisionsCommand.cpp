// Licensed under the MIT licence; see LICENSE.
#include "ksRevisionsCommand.h"

#include "ksCommandLine.h"
#include "ksCommandSession.h"
#include "ksProjectFile.h"
#include "ksTalvikHost.h"

#include "handles/ksTypeConverter.h"
#include "references/ksReferenceService.h"
#include "references/ksdReferenceNode.h"
#include "scene/ksFileIO.h"
#include "scene/ksScenegraph.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <cstdio>

int ksRevisionsCommand::run(const ksCommandLine& line, ksTalvikHost& host)
{
    const QStringList expressions = line.values("expression");
    if (line.positional().size() != 1 || expressions.isEmpty()) {
        std::fprintf(stderr, "talvik: revisions needs one file and --expression REGEX...\n%s",
                     qPrintable(ksCommandLine::help(QStringLiteral("revisions"))));
        return ksCommandLine::UsageError;
    }
    const QString file = line.positional().first();
    if (!QFileInfo(file).isFile()) {
        ksProjectFile::report(file, QFileInfo::exists(file) ? QStringLiteral("not a file") : QStringLiteral("no such file"));
        return ksCommandLine::UsageError;
    }
    for (const QString& expression : expressions) {
        const QRegularExpression compiled(expression);
        if (!compiled.isValid()) {
            std::fprintf(stderr, "talvik: invalid expression '%s': %s\n", qPrintable(expression),
                         qPrintable(compiled.errorString()));
            return ksCommandLine::UsageError;
        }
    }

    if (!host.start(line.has("verbose"))) {
        std::fprintf(stderr, "talvik: %s\n", qPrintable(host.lastError()));
        return ksCommandLine::Failure;
    }
    ksReferenceService* service = host.service();
    service->setRevisionExpressions(expressions);
    service->setRevisionCheckEnabled(true);

    // The revisions are asked of a reference to the file, as the reference
    // editor asks them: native files as smart, all others as source files.
    const QString path = QFileInfo(file).absoluteFilePath();
    const bool native = ksFileIO::isNativeSceneFile(path);
    ksFileIO::newScene();
    const ksdNode root = ksTypeConverter::convertNode(ksScenegraph::getRoot());
    QStringList revisions;
    QString current;
    ksdReferenceNode reference;
    if (native) {
        reference = service->createSmartReference(root);
        reference.setSmartPath(path);
        revisions = reference.getSmartRevisions();
        current = reference.getSmartRevision();
    } else {
        reference = service->createSourceReference(path, root);
        revisions = reference.getSourceRevisions();
        current = reference.getSourceRevision();
    }
    revisions = service->sortRevisions(revisions);
    if (line.has("json")) {
        QJsonArray list;
        for (const QString& revision : revisions) {
            QJsonObject entry;
            entry["revision"] = revision;
            entry["path"] = native ? reference.getSmartRevisionPath(revision) : reference.getSourceRevisionPath(revision);
            list.append(entry);
        }
        const QString newest = revisions.isEmpty() ? current : revisions.last();
        QJsonObject json;
        json["schema"] = ksCommandSession::Schema;
        json["command"] = line.command();
        json["file"] = path;
        json["revision"] = current.isEmpty() ? QJsonValue::Null : QJsonValue(current);
        json["revisions"] = list;
        json["newest"] = newest.isEmpty() ? QJsonValue::Null : QJsonValue(newest);
        std::printf("%s", QJsonDocument(json).toJson(QJsonDocument::Indented).constData());
        return newest == current ? 0 : 1;
    }
    if (current.isEmpty()) {
        std::printf("%s: no revision (no expression matches its name)\n", qPrintable(QFileInfo(file).fileName()));
        return 0;
    }
    const QString newest = revisions.isEmpty() ? current : revisions.last();
    std::printf("%s: revision %s\n", qPrintable(QFileInfo(file).fileName()), qPrintable(current));
    for (const QString& revision : revisions) {
        const QString revisionPath =
            native ? reference.getSmartRevisionPath(revision) : reference.getSourceRevisionPath(revision);
        std::printf("  %-8s %s%s\n", qPrintable(revision), qPrintable(QFileInfo(path).dir().relativeFilePath(revisionPath)),
                    revision == current ? "  (this file)" : "");
    }
    std::printf("newest: %s%s\n", qPrintable(newest), newest == current ? " (this file)" : "");
    return newest == current ? 0 : 1;
}
