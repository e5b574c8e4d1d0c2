// Licensed under the MIT licence; see LICENSE.
#include "ksRemoveCommand.h"

#include "ksCommandLine.h"
#include "ksCommandSession.h"
#include "ksTalvikHost.h"

#include "handles/ksTypeConverter.h"
#include "import/ksSceneImporter.h"
#include "references/ksReferenceInterface.h"
#include "references/ksReferenceService.h"
#include "references/ksdReferenceNode.h"

#include <QJsonArray>


int ksRemoveCommand::run(const ksCommandLine& line, ksTalvikHost& host)
{
    ksCommandSession session(line, host);
    if (line.positional().size() < 2)
        return session.fail(ksCommandLine::UsageError, QStringLiteral("remove needs a project file and REF..."));
    QVector<ksReferenceTable::Row> rows;
    if (!session.openWithReferences(rows))
        return session.exitCode();

    QJsonArray removed;
    QStringList lines;
    for (const ksReferenceTable::Row& row : rows) {
        const ksdNode result = host.service()->removeReference(ksTypeConverter::convertNode(row.node));
        if (host.references()->isExtReference(ksTypeConverter::convertNode(result))) {
            session.undoAll();
            return session.fail(ksCommandLine::Failure, QStringLiteral("%1 could not be removed (locked?); nothing changed")
                                                            .arg(row.treePath));
        }
        const quint64 vertices = ksSceneImporter::countVertices(row.node);
        lines << QStringLiteral("removed %1: its content stays in the project (%2 vertices)").arg(row.treePath).arg(vertices);
        QJsonObject entry;
        entry["path"] = row.treePath;
        entry["smart"] = ksReferenceTable::fileJson(row.smart);
        entry["source"] = ksReferenceTable::fileJson(row.source);
        entry["vertices"] = double(vertices);
        removed.append(entry);
    }
    QJsonObject json;
    json["removed"] = removed;
    return session.finish(json, lines, true);
}
