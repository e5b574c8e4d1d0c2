// Licensed under the MIT licence; see LICENSE.
#include "ksLsCommand.h"

#include "ksCommandLine.h"
#include "ksCommandSession.h"

#include <QFileInfo>
#include <QJsonArray>

#include <cstdio>

int ksLsCommand::run(const ksCommandLine& line, ksTalvikHost& host)
{
    ksCommandSession session(line, host);
    if (line.positional().size() != 1)
        return session.fail(ksCommandLine::UsageError, QStringLiteral("ls needs one project file"));
    bool ok = true;
    const int depth = line.value("depth", "0").toInt(&ok);
    if (!ok || depth < 0 || (line.has("depth") && depth == 0))
        return session.fail(ksCommandLine::UsageError, QStringLiteral("--depth needs a positive number of levels"));
    if (!session.open(line.positional().first(), false))
        return session.exitCode();

    // Filters add up: --missing --outdated lists both kinds.
    const bool missing = line.has("missing"), outdated = line.has("outdated"), unreadable = line.has("unreadable");
    const bool filtered = missing || outdated || unreadable;
    ksReferenceTable table = session.table();
    QVector<ksReferenceTable::Row> kept;
    for (const ksReferenceTable::Row& row : table.rows()) {
        if (depth > 0 && row.depth >= depth)
            continue;
        bool wanted = !filtered;
        for (const ksReferenceTable::File* file : {&row.smart, &row.source}) {
            const QString state = ksReferenceTable::stateId(*file);
            wanted = wanted || (missing && state == QLatin1String("missing"))
                     || (outdated && (state == QLatin1String("outdated") || !file->newerRevision.isEmpty()))
                     || (unreadable && state == QLatin1String("unreadable"));
        }
        if (wanted)
            kept << row;
    }
    table.rows() = kept;

    if (session.json()) {
        QJsonObject json = table.toJson();
        json["project"] = session.projectPath();
        session.printJson(json);
    } else {
        ksReferenceTable::PrintOptions options;
        options.projectFolder = session.projectFolder();
        options.paths = line.has("paths");
        // Without its parents around it, a row names itself by its full path.
        if (filtered) {
            for (ksReferenceTable::Row& row : table.rows()) {
                row.depth = 0;
                row.name = row.treePath;
            }
        }
        std::printf("%s: %d reference(s)%s, files relative to %s\n", qPrintable(QFileInfo(session.projectPath()).fileName()),
                    int(kept.size()), filtered ? " matching" : "", qPrintable(session.projectFolder()));
        table.print(stdout, session.colour(), options);
    }
    return 0;
}
