// Licensed under the MIT licence; see LICENSE.
#include "ksStatusCommand.h"

#include "ksCommandLine.h"
#include "ksCommandSession.h"
#include "ksReferenceLocator.h"
#include "ksTalvikHost.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <cstdio>

int ksStatusCommand::run(const ksCommandLine& line, ksTalvikHost& host)
{
    ksCommandSession session(line, host);
    if (line.positional().size() != 1) {
        std::fprintf(stderr, "talvik: status needs one project file\n%s", qPrintable(ksCommandLine::usage()));
        return ksCommandLine::UsageError;
    }
    const QStringList expressions = line.values("expression");
    for (const QString& expression : expressions)
        if (!QRegularExpression(expression).isValid())
            return session.fail(ksCommandLine::UsageError, QStringLiteral("invalid expression '%1': %2")
                                                               .arg(expression, QRegularExpression(expression).errorString()));
    if (!session.open(line.positional().first(), false))
        return session.exitCode();

    ksReferenceTable table = session.table();
    ksReferenceLocator::findNewerRevisions(table, host.service(), expressions);
    const int status = table.worstState();
    if (session.json()) {
        QJsonObject json = table.toJson();
        json["project"] = session.projectPath();
        json["status"] = status;
        session.printJson(json);
        return status;
    }
    const bool unreadable = table.unreadableCount() > 0;
    const char* const verdicts[] = {"all references up to date", "some references outdated",
                                    unreadable ? "some references missing or unreadable" : "some references missing"};
    std::printf("%s: %d reference(s), %s\n", qPrintable(QFileInfo(session.projectPath()).fileName()),
                int(table.rows().size()), verdicts[status]);
    table.print(stdout, session.colour());
    const QDir folder(session.projectFolder());
    for (const ksReferenceTable::Row& row : table.rows()) {
        for (const ksReferenceTable::File* file : {&row.smart, &row.source}) {
            if (!file->unreadableReason.isEmpty())
                std::printf("  %s: %s is unreadable: %s\n", qPrintable(row.treePath), qPrintable(QFileInfo(file->path).fileName()),
                            qPrintable(file->unreadableReason));
            if (!file->newerRevision.isEmpty())
                std::printf("  %s: newer revision %s\n", qPrintable(row.treePath),
                            qPrintable(folder.relativeFilePath(file->newerRevision)));
            if (file->outsideProject)
                std::printf("  %s: %s points outside the project folder; pack the project to make it whole\n",
                            qPrintable(row.treePath), qPrintable(file->path));
        }
    }
    return status;
}
