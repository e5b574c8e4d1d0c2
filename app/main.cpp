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

#include <QApplication>

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>

namespace {

struct Command {
    QMap<QString, ksCommandLine::Arity> options;
    std::function<int(const ksCommandLine&, ksTalvikHost&)> run;
};

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
    // Every command but the demo, a tour for people, answers in JSON.
    for (auto it = table.begin(); it != table.end(); ++it)
        if (it.key() != QLatin1String("demo"))
            it->options["json"] = A::Flag;
    // The editor is a window; it has nothing to answer in JSON.
    table["editor"] = {{{"screenshot", A::One}}, &ksEditorCommand::run};
    return table;
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
    if (args.isEmpty() || args.first() == "--help" || args.first() == "-h" || args.first() == "help") {
        std::fprintf(args.isEmpty() ? stderr : stdout, "%s", qPrintable(ksCommandLine::usage()));
        return args.isEmpty() ? ksCommandLine::UsageError : 0;
    }
    const QMap<QString, Command> table = commands();
    const auto found = table.find(args.first());
    if (found == table.end()) {
        std::fprintf(stderr, "talvik: unknown command '%s'\n%s", qPrintable(args.first()),
                     qPrintable(ksCommandLine::usage()));
        return ksCommandLine::UsageError;
    }
    QMap<QString, ksCommandLine::Arity> options = found->options;
    options["verbose"] = ksCommandLine::Flag;
    // Errors are JSON as soon as --json is asked for, also those of parsing.
    std::unique_ptr<ksJsonErrorOutput> jsonErrors;
    if (found->options.contains("json") && args.contains("--json"))
        jsonErrors = std::make_unique<ksJsonErrorOutput>();
    ksCommandLine line;
    if (!line.parse(args, options)) {
        std::fprintf(stderr, "talvik: %s\n%s", qPrintable(line.error()), qPrintable(ksCommandLine::usage()));
        if (jsonErrors)
            jsonErrors->finish(ksCommandLine::UsageError);
        return ksCommandLine::UsageError;
    }
    const int status = found->run(line, host);
    host.finish();
    std::fflush(stdout);
    if (jsonErrors)
        jsonErrors->finish(status);
    return status;
}
