// Licensed under the MIT licence; see LICENSE.
#include "ksStatusCommand.h"

#include "ksCommandLine.h"
#include "ksProgressBar.h"
#include "ksProjectFile.h"
#include "ksReferenceTable.h"
#include "ksTalvikHost.h"

#include <QFileInfo>
#include <QJsonDocument>

#include <cstdio>


int ksStatusCommand::run(const ksCommandLine& line, ksTalvikHost& host)
{
    if (line.positional().size() != 1) {
        std::fprintf(stderr, "talvik: status needs one project file\n%s", qPrintable(ksCommandLine::help(QStringLiteral("status"))));
        return ksCommandLine::UsageError;
    }
    const QString project = line.positional().first();
    if (!ksProjectFile::usable(project))
        return ksCommandLine::UsageError;

    if (!host.start(line.has("verbose"))) {
        std::fprintf(stderr, "talvik: %s\n", qPrintable(host.lastError()));
        return ksCommandLine::Failure;
    }
    QString error;
    {
        ksProgressBar progress(!line.has("json"));
        if (!ksProjectFile::load(host, project, error)) {
            ksProjectFile::report(project, error);
            return ksCommandLine::UsageError;
        }
    }

    const ksReferenceTable table = ksReferenceTable::fromScene(host.loadFailures());
    const int status = table.worstState();
    if (line.has("json")) {
        QJsonObject json = table.toJson();
        json["project"] = QFileInfo(project).absoluteFilePath();
        json["status"] = status;
        std::printf("%s", QJsonDocument(json).toJson(QJsonDocument::Indented).constData());
    } else {
        std::printf("%s: %d reference(s), %s\n", qPrintable(QFileInfo(project).fileName()), int(table.rows().size()),
                    qPrintable(table.verdict()));
        table.print(stdout, ksReferenceTable::useColour(stdout));
    }
    return status;
}
