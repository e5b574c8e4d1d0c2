// Licensed under the MIT licence; see LICENSE.
#include "ksResolveCommand.h"

#include "ksCommandLine.h"
#include "ksProgressBar.h"
#include "ksProjectFile.h"
#include "ksProjectWriter.h"
#include "ksReferenceResolver.h"
#include "ksReferenceTable.h"
#include "ksTalvikHost.h"

#include "references/ksReferenceService.h"

#include <QFileInfo>

#include <cstdio>

int ksResolveCommand::run(const ksCommandLine& line, ksTalvikHost& host)
{
    const QStringList directories = line.values("search-path");
    if (line.positional().size() != 1 || directories.isEmpty()) {
        ksCommandLine::fail(QStringLiteral("resolve needs one project file and --search-path DIR..."));
        std::fprintf(stderr, "%s", qPrintable(ksCommandLine::help(QStringLiteral("resolve"))));
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
    ksProjectWriter writer(projectPath);
    if (!writer.lock())
        return ksCommandLine::UsageError;
    QString error;

    // The module reads its search directories once, when it starts.
    ksReferenceResolver::exportSearchPath(directories);
    if (!host.start(line.has("verbose"))) {
        ksCommandLine::fail(host.lastError());
        return ksCommandLine::Failure;
    }
    host.service()->setUpdateMonitoringEnabled(false);
    ksProgressBar progress(true);
    if (!ksProjectFile::load(host, projectPath, error)) {
        ksProjectFile::report(project, error);
        return ksCommandLine::UsageError;
    }
    const QStringList smart = host.takeResolvedPaths();
    const ksReferenceResolver::Result sources = ksReferenceResolver(directories).resolveSources(projectPath);
    for (const QString& found : smart)
        std::printf("found smart file %s\n", qPrintable(found));
    for (const QString& found : sources.found)
        std::printf("found source file %s\n", qPrintable(found));
    for (const QString& ambiguous : sources.ambiguous)
        std::printf("left as it was, candidates for %s\n", qPrintable(ambiguous));

    if (smart.isEmpty() && sources.found.isEmpty()) {
        std::printf("nothing found; %s left as it was\n", qPrintable(QFileInfo(projectPath).fileName()));
    } else {
        host.clearLastError();
        if (!writer.save(host, error)) {
            ksProjectFile::report(project, QStringLiteral("saving failed, nothing was written: %1").arg(error));
            return ksCommandLine::Failure;
        }
        std::printf("saved %s with %d file(s) found again\n", qPrintable(QFileInfo(projectPath).fileName()),
                    int(smart.size() + sources.found.size()));
    }
    const ksReferenceTable table = ksReferenceTable::fromScene(host.loadFailures());
    table.print(stdout, ksReferenceTable::useColour(stdout));
    // A reference with ambiguous candidates is still missing its file; only
    // files of which nothing was found make the verdict "missing".
    const int unresolved = table.count(ksReferenceTypes::Missing) + table.countUnreadable();
    if (unresolved > sources.ambiguous.size())
        return ksCommandLine::MissingOrUnreadable;
    return sources.ambiguous.isEmpty() ? ksCommandLine::Success : ksCommandLine::Ambiguous;
}
