// Licensed under the MIT licence; see LICENSE.
#include "ksRelinkCommand.h"

#include "ksCommandLine.h"
#include "ksCommandSession.h"
#include "ksReferenceLocator.h"
#include "ksTalvikHost.h"

#include "handles/ksTypeConverter.h"
#include "import/ksSceneImporter.h"
#include "references/ksReferenceInterface.h"
#include "references/ksReferenceService.h"
#include "references/ksReferenceUpdateFlags.h"
#include "references/ksdReferenceNode.h"
#include "scene/ksFileIO.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QRegularExpression>

int ksRelinkCommand::run(const ksCommandLine& line, ksTalvikHost& host)
{
    ksCommandSession session(line, host);
    const bool newest = line.has("newest");
    if (line.positional().size() != 2 || newest == line.has("to"))
        return session.fail(ksCommandLine::UsageError,
                            QStringLiteral("relink needs a project file, one reference and --to FILE or --newest"));
    QStringList expressions = line.values("expression");
    if (!newest && !expressions.isEmpty())
        return session.fail(ksCommandLine::UsageError, QStringLiteral("--expression goes with --newest"));
    if (expressions.isEmpty())
        expressions << QStringLiteral("_v(\\d+)");
    for (const QString& expression : expressions)
        if (!QRegularExpression(expression).isValid())
            return session.fail(ksCommandLine::UsageError, QStringLiteral("invalid expression '%1': %2")
                                                               .arg(expression, QRegularExpression(expression).errorString()));
    const QString target = line.has("to") ? QFileInfo(line.value("to")).absoluteFilePath() : QString();
    if (!newest && !QFileInfo(target).isFile())
        return session.fail(ksCommandLine::UsageError, QStringLiteral("%1: %2").arg(
            line.value("to"), QFileInfo::exists(target) ? QStringLiteral("not a file") : QStringLiteral("no such file")));
    QVector<ksReferenceTable::Row> rows;
    if (!session.openWithReferences(rows))
        return session.exitCode();
    const ksReferenceTable::Row& row = rows.first();
    ksdReferenceNode handle(ksTypeConverter::convertNode(row.node));

    // What goes where: a native file replaces the smart file, any other the
    // source; --newest takes each of the two that has a newer revision.
    struct Change {
        bool smart;
        QString from, to;
    };
    QVector<Change> changes;
    if (newest) {
        ksReferenceTable table;
        table.rows() << row;
        ksReferenceLocator::findNewerRevisions(table, host.service(), expressions);
        const ksReferenceTable::Row& found = table.rows().first();
        if (!found.smart.newerRevision.isEmpty())
            changes.push_back({true, row.smart.path, found.smart.newerRevision});
        if (!found.source.newerRevision.isEmpty())
            changes.push_back({false, row.source.path, found.source.newerRevision});
    } else {
        const bool smart = ksFileIO::isNativeSceneFile(target, Qt::CaseInsensitive);
        if (smart ? !handle.hasSmartReference() : !handle.hasSourceReference())
            return session.fail(ksCommandLine::UsageError,
                                QStringLiteral("%1 has no %2 file; %3 can only replace one")
                                    .arg(row.treePath, smart ? "smart" : "source", QFileInfo(target).fileName()));
        if (smart && target == session.projectPath())
            return session.fail(ksCommandLine::UsageError, QStringLiteral("%1 cannot refer to its own project").arg(row.treePath));
        changes.push_back({smart, smart ? row.smart.path : row.source.path, target});
    }

    ksReferenceInterface* references = host.references();
    QJsonArray relinked;
    for (const Change& change : changes) {
        if (change.smart) {
            handle.setSmartPath(change.to);
            handle.unload();
            handle.loadSmartReference();
            references->updateReferences(row.node, ksReferenceUpdateFlags::UpdateSmartFileInfo, true);
            if (!handle.isLoaded()) {
                session.undoAll();
                return session.fail(ksCommandLine::Failure,
                                    QStringLiteral("%1: does not load; %2 left as it was").arg(change.to, row.treePath));
            }
        } else {
            handle.setSourcePath(change.to);
            host.service()->loadSourceReferences({handle});
            references->updateReferences(row.node, ksReferenceUpdateFlags::UpdateSourceFileInfo, true);
        }
        QJsonObject entry;
        entry["kind"] = change.smart ? "smart" : "source";
        entry["from"] = change.from;
        entry["to"] = change.to;
        relinked.append(entry);
    }
    const quint64 vertices = ksSceneImporter::countVertices(row.node);
    QStringList lines;
    if (changes.isEmpty())
        lines << QStringLiteral("%1: no newer revision; left as it was").arg(row.treePath);
    for (const Change& change : changes)
        lines << QStringLiteral("relinked %1: %2 %3 -> %4 (%5 vertices)")
                     .arg(row.treePath, change.smart ? "smart" : "source", QFileInfo(change.from).fileName(),
                          QFileInfo(change.to).fileName())
                     .arg(vertices);
    QJsonObject json;
    json["reference"] = row.treePath;
    json["relinked"] = relinked;
    json["vertices"] = double(vertices);
    return session.finish(json, lines, !changes.isEmpty());
}
