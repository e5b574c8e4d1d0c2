// Licensed under the MIT licence; see LICENSE.
#include "ksLoadCommand.h"

#include "ksCommandLine.h"
#include "ksCommandSession.h"
#include "ksTalvikHost.h"

#include "handles/ksTypeConverter.h"
#include "import/ksSceneImporter.h"
#include "references/ksdReferenceNode.h"

#include <QJsonArray>


int ksLoadCommand::load(const ksCommandLine& line, ksTalvikHost& host)
{
    return run(line, host, true);
}

int ksLoadCommand::unload(const ksCommandLine& line, ksTalvikHost& host)
{
    return run(line, host, false);
}

int ksLoadCommand::run(const ksCommandLine& line, ksTalvikHost& host, bool load)
{
    ksCommandSession session(line, host);
    const char* verb = load ? "load" : "unload";
    if (line.positional().size() < 2)
        return session.fail(ksCommandLine::UsageError, QStringLiteral("%1 needs a project file and REF...").arg(verb));
    QVector<ksReferenceTable::Row> rows;
    if (!session.openWithReferences(rows))
        return session.exitCode();

    QJsonArray changed;
    QStringList lines;
    for (const ksReferenceTable::Row& row : rows) {
        ksdReferenceNode handle(ksTypeConverter::convertNode(row.node));
        if (handle.isLoaded() == load) {
            lines << QStringLiteral("%1 is %2 already").arg(row.treePath, load ? "loaded" : "unloaded");
            continue;
        }
        if (load)
            handle.load();
        else
            handle.unload();
        if (handle.isLoaded() != load) {
            session.undoAll();
            const ksReferenceTable::File& file = row.smart.path.isEmpty() ? row.source : row.smart;
            return session.fail(ksCommandLine::Failure,
                                load ? QStringLiteral("%1: %2 does not load; nothing changed").arg(row.treePath, file.path)
                                     : QStringLiteral("%1 cannot be unloaded (the root or locked); nothing changed")
                                           .arg(row.treePath));
        }
        const quint64 vertices = ksSceneImporter::countVertices(row.node);
        lines << QStringLiteral("%1ed %2 (%3 vertices)").arg(verb, row.treePath).arg(vertices);
        QJsonObject entry;
        entry["path"] = row.treePath;
        entry["loaded"] = load;
        entry["vertices"] = double(vertices);
        changed.append(entry);
    }
    QJsonObject json;
    json[load ? "loaded" : "unloaded"] = changed;
    return session.finish(json, lines, !changed.isEmpty());
}
