// Licensed under the MIT licence; see LICENSE.
#include "ksRemoveCommand.h"

#include "ksCommandLine.h"
#include "ksCommandSession.h"
#include "ksTalvikHost.h"

#include "handles/ksTypeConverter.h"
#include "handles/ksdReferenceNode.h"
#include "import/ksSceneImporter.h"
#include "references/ksReferenceInterface.h"
#include "references/ksReferenceService.h"

#include <QFileInfo>
#include <QJsonArray>

#include <cstdio>

int ksRemoveCommand::run(const ksCommandLine& line, ksTalvikHost& host)
{
    ksCommandSession session(line, host);
    if (line.positional().size() < 2)
        return session.fail(ksCommandLine::UsageError, QStringLiteral("remove needs a project file and REF..."));
    if (!session.open(line.positional().first(), true))
        return session.exitCode();
    QVector<ksReferenceTable::Row> rows;
    if (!session.select(line.positional().mid(1), rows))
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
    QStringList written;
    if (const int failed = session.save(&written))
        return failed;
    if (session.json()) {
        QJsonObject json;
        json["project"] = session.projectPath();
        json["removed"] = removed;
        json["written"] = QJsonArray::fromStringList(written);
        session.printJson(json);
        return 0;
    }
    for (const QString& text : lines)
        std::printf("%s\n", qPrintable(text));
    for (const QString& path : written)
        std::printf("wrote smart reference %s\n", qPrintable(QFileInfo(path).fileName()));
    std::printf("saved %s\n", qPrintable(QFileInfo(session.projectPath()).fileName()));
    return 0;
}
