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

#include "scene/ksFileIO.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

#include <unistd.h>

int ksResolveCommand::run(const ksCommandLine& line, ksTalvikHost& host)
{
    const QStringList directories = line.values("search-path");
    if (line.positional().size() != 1 || directories.isEmpty()) {
        std::fprintf(stderr, "talvik: resolve needs one project file and --search-path DIR...\n%s",
                     qPrintable(ksCommandLine::usage()));
        return ksCommandLine::UsageError;
    }
    const QString project = line.positional().first();
    if (!ksProjectFile::usable(project))
        return ksCommandLine::UsageError;
    for (const QString& directory : directories) {
        if (!QFileInfo(directory).isDir()) {
            ksProjectFile::report(directory, QStringLiteral("not a folder"));
            return ksCommandLine::UsageError;
        }
    }

    if (!host.start(line.has("verbose"))) {
        std::fprintf(stderr, "talvik: %s\n", qPrintable(host.lastError()));
        return ksCommandLine::Failure;
    }
    ksProgressBar progress(!line.has("json"));
    const QString projectPath = QFileInfo(project).absoluteFilePath();
    QString error;
    if (!ksProjectFile::load(host, projectPath, error)) {
        ksProjectFile::report(project, error);
        return ksCommandLine::UsageError;
    }
    // The module found what lies where the project expects it; the search
    // directories are the program's own.
    const ksReferenceResolver resolver(directories);
    const QStringList smart = host.takeResolvedPaths() + resolver.resolveSmartFiles();
    const QStringList sources = resolver.resolveSources(projectPath);
    const bool json = line.has("json");
    for (const QString& found : smart)
        if (!json)
            std::printf("found smart file %s\n", qPrintable(found));
    for (const QString& found : sources)
        if (!json)
            std::printf("found source file %s\n", qPrintable(found));

    ksProjectSave save(projectPath);
    if (!save.lock() || !save.save()) {
        ksProjectFile::report(project, save.error());
        return ksCommandLine::Failure;
    }
    const ksReferenceTable table = ksReferenceTable::fromScene();
    if (json) {
        QJsonObject result = table.toJson();
        result["schema"] = ksCommandSession::Schema;
        result["command"] = line.command();
        result["project"] = projectPath;
        result["found_smart"] = QJsonArray::fromStringList(smart);
        result["found_source"] = QJsonArray::fromStringList(sources);
        std::printf("%s", QJsonDocument(result).toJson(QJsonDocument::Indented).constData());
        return table.worstState() == 2 ? 2 : 0;
    }
    std::printf("saved %s with %d file(s) found again\n", qPrintable(QFileInfo(projectPath).fileName()),
                int(smart.size() + sources.size()));
    table.print(stdout, ::isatty(STDOUT_FILENO) && qEnvironmentVariableIsEmpty("NO_COLOR"));
    return table.worstState() == 2 ? 2 : 0;
}
