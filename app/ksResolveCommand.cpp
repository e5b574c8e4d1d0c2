// Licensed under the MIT licence; see LICENSE.
#include "ksResolveCommand.h"

#include "ksCommandLine.h"
#include "ksProgressBar.h"
#include "ksCommandSession.h"
#include "ksProjectFile.h"
#include "ksProjectSave.h"
#include "ksReferenceResolver.h"
#include "ksReferenceTable.h"
#include "ksTalvikHost.h"

#include "references/ksReferenceService.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>


int ksResolveCommand::run(const ksCommandLine& line, ksTalvikHost& host)
{
    const QStringList directories = line.values("search-path");
    if (line.positional().size() != 1 || directories.isEmpty()) {
        std::fprintf(stderr, "talvik: resolve needs one project file and --search-path DIR...\n%s",
                     qPrintable(ksCommandLine::help(QStringLiteral("resolve"))));
        return ksCommandLine::UsageError;
    }
    const QString project = line.positional().first();
    if (!ksProjectFile::usable(project))
        return ksCommandLine::UsageError;
    for (const QString& directory : directories) {
        const QFileInfo info(directory);
        if (!info.isDir()) {
            ksProjectFile::report(directory, info.exists() ? QStringLiteral("not a folder") : QStringLiteral("no such folder"));
            return ksCommandLine::UsageError;
        }
    }
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
    host.service()->setUpdateMonitoringEnabled(false);
    ksProgressBar progress(!line.has("json"));
    QString error;
    if (!ksProjectFile::load(host, projectPath, error)) {
        ksProjectFile::report(project, error);
        return ksCommandLine::UsageError;
    }
    // The module found what lies where the project expects it; the search
    // directories are the program's own.
    const ksReferenceResolver resolver(directories);
    const QStringList smart = host.takeResolvedPaths() + resolver.resolveSmartFiles();
    const ksReferenceResolver::Result sources = resolver.resolveSources(projectPath);
    const bool json = line.has("json");
    if (!json) {
        for (const QString& found : smart)
            std::printf("found smart file %s\n", qPrintable(found));
        for (const QString& found : sources.found)
            std::printf("found source file %s\n", qPrintable(found));
        for (const QString& ambiguous : sources.ambiguous)
            std::printf("left as it was, candidates for %s\n", qPrintable(ambiguous));
    }

    // A resolve that found nothing writes nothing.
    const bool changed = !smart.isEmpty() || !sources.found.isEmpty();
    if (changed && !save.save()) {
        ksProjectFile::report(project, save.error());
        return ksCommandLine::Failure;
    }
    const ksReferenceTable table = ksReferenceTable::fromScene();
    // A reference with ambiguous candidates is still missing its file; only
    // files of which nothing was found make the verdict "missing".
    int unresolved = 0;
    for (const ksReferenceTable::Row& row : table.rows())
        for (const ksReferenceTable::File* file : {&row.smart, &row.source})
            unresolved += file->state == ksReferenceTypes::Missing || !file->unreadableReason.isEmpty();
    const int status = unresolved > sources.ambiguous.size() ? ksCommandLine::MissingOrUnreadable
                       : sources.ambiguous.isEmpty()           ? ksCommandLine::Success
                                                               : ksCommandLine::Ambiguous;
    if (json) {
        QJsonObject result = table.toJson();
        result["schema"] = ksCommandSession::Schema;
        result["command"] = line.command();
        result["project"] = projectPath;
        result["found_smart"] = QJsonArray::fromStringList(smart);
        result["found_source"] = QJsonArray::fromStringList(sources.found);
        result["ambiguous"] = QJsonArray::fromStringList(sources.ambiguous);
        result["saved"] = changed;
        std::printf("%s", QJsonDocument(result).toJson(QJsonDocument::Indented).constData());
        return status;
    }
    if (changed)
        std::printf("saved %s with %d file(s) found again\n", qPrintable(QFileInfo(projectPath).fileName()),
                    int(smart.size() + sources.found.size()));
    else
        std::printf("nothing found; %s left as it was\n", qPrintable(QFileInfo(projectPath).fileName()));
    table.print(stdout, ksReferenceTable::useColour(stdout));
    return status;
}
