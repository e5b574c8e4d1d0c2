// Licensed under the MIT licence; see LICENSE.
// talvik: the stand-in host as a command-line program. Each command starts
// the host, loads the reference module from its plug-in folder (never linked
// in) and works on project files through the host's services.
#include "ksCommandLine.h"
#include "ksDemoCommand.h"
#include "ksEditorCommand.h"
#include "ksGroupCommand.h"
#include "ksImportCommand.h"
#include "ksJsonErrorOutput.h"
#include "ksLoadCommand.h"
#include "ksLsCommand.h"
#include "ksPackCommand.h"
#include "ksRelinkCommand.h"
#include "ksRemoveCommand.h"
#include "ksResolveCommand.h"
#include "ksRevisionsCommand.h"
#include "ksStatusCommand.h"
#include "ksTalvikHost.h"
#include "ksUpdateCommand.h"
#include "ksWatchCommand.h"

#include "import/ksMeshImporter.h"

#include <QApplication>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>

namespace {

struct Command {
    QMap<QString, ksCommandLine::Arity> options;
    std::function<int(const ksCommandLine&, ksTalvikHost&)> run;
};

int listFormats(const ksCommandLine& line, ksTalvikHost&)
{
    if (!line.positional().isEmpty()) {
        ksCommandLine::fail(QStringLiteral("formats takes no arguments"));
        return ksCommandLine::UsageError;
    }
    std::printf("talvik import reads files with these suffixes (any letter case):\n");
    QStringList suffixes = ksMeshImporter::supportedSuffixes();
    suffixes.sort();
    QString row;
    for (const QString& suffix : suffixes) {
        if (row.size() + suffix.size() > 72) {
            std::printf(" %s\n", qPrintable(row));
            row.clear();
        }
        row += QLatin1Char(' ') + suffix;
    }
    if (!row.isEmpty())
        std::printf(" %s\n", qPrintable(row));
    return ksCommandLine::Success;
}

QMap<QString, Command> commands()
{
    using A = ksCommandLine::Arity;
    QMap<QString, Command> table;
    table["demo"] = {{}, &ksDemoCommand::run};
    table["resolve"] = {{{"search-path", A::Many}}, &ksResolveCommand::run};
    table["watch"] = {{{"interval", A::One}, {"poll-only", A::Flag}, {"expression", A::Many}}, &ksWatchCommand::run};
    table["revisions"] = {{{"expression", A::Many}}, &ksRevisionsCommand::run};
    table["import"] = {{{"into", A::One}, {"smart", A::Flag}}, &ksImportCommand::run};
    table["status"] = {{{"expression", A::Many}}, &ksStatusCommand::run};
    table["ls"] = {{{"paths", A::Flag}, {"missing", A::Flag}, {"outdated", A::Flag}, {"unreadable", A::Flag}, {"depth", A::One}},
                   &ksLsCommand::run};
    table["update"] = {{{"all", A::Flag}}, &ksUpdateCommand::run};
    table["relink"] = {{{"to", A::One}, {"newest", A::Flag}, {"expression", A::Many}}, &ksRelinkCommand::run};
    table["remove"] = {{}, &ksRemoveCommand::run};
    table["load"] = {{}, &ksLoadCommand::load};
    table["unload"] = {{}, &ksLoadCommand::unload};
    table["group"] = {{{"as", A::One}, {"smart", A::Flag}}, &ksGroupCommand::run};
    table["pack"] = {{{"to", A::One}}, &ksPackCommand::run};
    table["formats"] = {{}, &listFormats};
    // Every command but the demo, a tour for people, answers in JSON.
    for (auto it = table.begin(); it != table.end(); ++it)
        if (it.key() != QLatin1String("demo") && it.key() != QLatin1String("formats"))
            it->options["json"] = A::Flag;
    // The editor is a window; it has nothing to answer in JSON.
    table["editor"] = {{{"screenshot", A::One}}, &ksEditorCommand::run};
    return table;
}

// Text written to standard output must arrive: a full disk or a closed pipe
// behind it is a failed run, not a success.
int finishOutput(int status)
{
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        const int error = errno;
        ksCommandLine::fail(QStringLiteral("standard output: %1").arg(QString::fromLocal8Bit(std::strerror(error))));
        return ksCommandLine::Failure;
    }
    return status;
}

int printTo(std::FILE* out, const QString& text, int status)
{
    std::fprintf(out, "%s", text.toLocal8Bit().constData());
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    // The host goes after the application object: timers the module left
    // behind are destroyed with the application, and their code must still
    // be loaded then.
    ksTalvikHost host;
    // Only the editor has windows; the other commands run without a display.
    const bool windows = argc > 1 && std::strcmp(argv[1], "editor") == 0;
    if (windows)
        ksEditorCommand::preparePlatform(argc, argv);
    const std::unique_ptr<QCoreApplication> app(windows ? new QApplication(argc, argv)
                                                        : new QCoreApplication(argc, argv));
    QCoreApplication::setApplicationName(QStringLiteral("talvik"));
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty())
        return printTo(stderr, ksCommandLine::usage(), ksCommandLine::UsageError);
    const QMap<QString, Command> table = commands();
    const QString first = args.first();
    if (first == "--version")
        return finishOutput(printTo(stdout, ksCommandLine::version(), ksCommandLine::Success));
    if (first == "--help" || first == "-h" || first == "help") {
        if (first != "help" || args.size() == 1)
            return finishOutput(printTo(stdout, ksCommandLine::usage(), ksCommandLine::Success));
        const QString help = ksCommandLine::help(args.at(1));
        if (help.isEmpty() || !table.contains(args.at(1))) {
            ksCommandLine::fail(QStringLiteral("unknown command '%1'").arg(args.at(1)));
            return ksCommandLine::UsageError;
        }
        return finishOutput(printTo(stdout, help, ksCommandLine::Success));
    }
    const auto found = table.find(first);
    if (found == table.end()) {
        ksCommandLine::fail(QStringLiteral("unknown command '%1'").arg(first));
        return printTo(stderr, ksCommandLine::usage(), ksCommandLine::UsageError);
    }
    // "COMMAND --help" asks for help whatever else the line holds, up to "--".
    for (const QString& arg : args.mid(1)) {
        if (arg == "--")
            break;
        if (arg == "--help" || arg == "-h")
            return finishOutput(printTo(stdout, ksCommandLine::help(first), ksCommandLine::Success));
    }
    QMap<QString, ksCommandLine::Arity> options = found->options;
    options["verbose"] = ksCommandLine::Flag;
    // Errors are JSON as soon as --json is asked for, also those of parsing.
    std::unique_ptr<ksJsonErrorOutput> jsonErrors;
    if (found->options.contains("json") && args.contains("--json"))
        jsonErrors = std::make_unique<ksJsonErrorOutput>();
    ksCommandLine line;
    if (!line.parse(args, options)) {
        ksCommandLine::fail(line.error());
        std::fprintf(stderr, "%s", qPrintable(ksCommandLine::help(first)));
        if (jsonErrors)
            jsonErrors->finish(ksCommandLine::UsageError);
        return ksCommandLine::UsageError;
    }
    const int status = found->run(line, host);
    host.finish();
    std::fflush(stdout);
    if (jsonErrors)
        jsonErrors->finish(status);
    return finishOutput(status);
}
