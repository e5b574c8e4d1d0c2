// Licensed under the MIT licence; see LICENSE.
#include "ksCommandLine.h"

#include <cstdio>

namespace {

struct CommandHelp {
    const char* name;
    const char* synopsis;
    const char* summary;
    const char* details;
};

// One entry per command, in the order the usage lists them.
const CommandHelp helps[] = {
    {"demo", "demo [DIR]", "build, change and reload a sample car assembly",
     "Writes four meshes into DIR (a temporary folder when none is given), makes a car assembly with\n"
     "nested smart references, and shows the reference table after each change it makes.\n"},
    {"status", "status PROJECT [--expression REGEX...]", "the reference tree; exit 0 up to date, 1 outdated, 2 missing",
     "Loads PROJECT and prints one row per reference with its smart and source file states.\n"
     "A smart file that exists but cannot be loaded is \"unreadable\", with the reason.\n"
     "  --expression REGEX...   revision expressions: a newer revision counts as outdated\n"
     "Exit 0 when every file is up to date, 1 when one is outdated, 2 when one is missing or\n"
     "unreadable.\n"},
    {"watch", "watch PROJECT [--interval MS] [--poll-only] [--expression REGEX...]", "report file changes until interrupted",
     "Keeps PROJECT open and prints every change of its files and every notification until\n"
     "Ctrl-C or SIGTERM (exit 0). File events report a change at once; a check of every file\n"
     "runs at each interval as well.\n"
     "  --interval MS   time between two checks of the files (default 5000)\n"
     "  --poll-only     no file events: changes show at the next check\n"
     "  --expression REGEX...   revision expressions: report newer revisions too\n"},
    {"import", "import FILE... --into PROJECT [--smart]", "import files as source (and smart) references",
     "Imports mesh and CAD files (see 'talvik formats') as source references into PROJECT, which is\n"
     "made when it does not exist. With --smart each import also becomes a smart reference saved\n"
     "beside the project. The project and its smart files are written together or not at all.\n"
     "  --into PROJECT   the project to import into\n"
     "  --smart          save each import as a smart reference too\n"},
    {"resolve", "resolve PROJECT --search-path DIR...", "find moved references and save the project",
     "Finds the moved smart and source files of PROJECT in the search folders and saves the project\n"
     "with their new paths. Among files of the same name, the one whose content matches the record\n"
     "wins; when none or several match, the reference is left as it is and the candidates are named.\n"
     "Nothing is written when nothing was found.\n"
     "  --search-path DIR...   folders to look in\n"
     "Exit 0 when every file was found, 1 when a file had ambiguous candidates, 2 when files are\n"
     "still missing or unreadable.\n"},
    {"revisions", "revisions FILE --expression REGEX...", "the revisions of a file and the newest",
     "Lists the revisions that lie beside FILE; the capture groups of the expressions mark the\n"
     "revision part of a name. Exit 0 when FILE is the newest, 1 when a newer one exists.\n"
     "  --expression REGEX...   revision expressions, e.g. '_v(\\d+)'\n"},
    {"ls", "ls PROJECT [--paths] [--missing] [--outdated] [--unreadable] [--depth N]",
     "the references with the folders of their files",
     "Lists the references of PROJECT with the folders of their files.\n"
     "  --paths        how each file was found\n"
     "  --missing, --outdated, --unreadable   only those references\n"
     "  --depth N      down to that nesting depth\n"},
    {"update", "update PROJECT [REF...] [--all]", "re-read outdated references from their files",
     "Loads the outdated references (REF..., or every one with --all) again from their files and saves\n"
     "the project.\n"},
    {"relink", "relink PROJECT REF (--to FILE | --newest [--expression REGEX...])", "point a reference at another file",
     "Points the reference REF at FILE, or at the newest revision of its file (default expression\n"
     "_v(\\d+)), and saves the project.\n"},
    {"remove", "remove PROJECT REF...", "make references plain nodes that keep their content",
     "Turns the references REF... into plain nodes that keep their content, and saves the project.\n"},
    {"load", "load PROJECT REF...", "load references", "Loads the references REF... and saves the project.\n"},
    {"unload", "unload PROJECT REF...", "unload references",
     "Unloads the references REF... and saves the project.\n"},
    {"group", "group PROJECT REF... --as NAME [--smart]", "put references under a new assembly",
     "Puts the references REF... under a new assembly NAME (with --smart a smart reference) and saves\n"
     "the project.\n"},
    {"pack", "pack PROJECT --to DIR", "copy the project and all its files into DIR",
     "Copies the project and every file it refers to into DIR, so that the copy can move as a whole.\n"},
    {"editor", "editor [PROJECT] [--screenshot FILE.png]", "the Reference Editor window (or its picture)",
     "Opens the host's main window with the Reference Editor, on PROJECT when one is named.\n"
     "  --screenshot FILE.png   draw the window offscreen once the project is loaded, save it, and end\n"},
    {"formats", "formats", "the file types import reads",
     "Lists the suffixes of the mesh and CAD files that 'talvik import' reads.\n"},
};

const CommandHelp* findHelp(const QString& command)
{
    for (const CommandHelp& help : helps)
        if (command == QLatin1String(help.name))
            return &help;
    return nullptr;
}

} // namespace

bool ksCommandLine::parse(const QStringList& arguments, const QMap<QString, Arity>& options)
{
    m_command.clear();
    m_positional.clear();
    m_values.clear();
    m_error.clear();
    if (arguments.isEmpty()) {
        m_error = QStringLiteral("no command given");
        return false;
    }
    m_command = arguments.first();
    bool optionsEnded = false;
    const auto isOption = [&optionsEnded](const QString& arg) {
        return !optionsEnded && arg.startsWith(QLatin1String("--"));
    };
    for (int i = 1; i < arguments.size(); ++i) {
        QString arg = arguments.at(i);
        if (!optionsEnded && arg == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (!isOption(arg)) {
            m_positional << arg;
            continue;
        }
        QString inlineValue;
        bool hasInline = false;
        const int equals = arg.indexOf('=');
        if (equals > 0) {
            inlineValue = arg.mid(equals + 1);
            arg = arg.left(equals);
            hasInline = true;
        }
        const QString name = arg.mid(2);
        if (!options.contains(name)) {
            m_error = QStringLiteral("unknown option %1 for '%2'").arg(arg, m_command);
            return false;
        }
        if (m_values.contains(name)) {
            m_error = QStringLiteral("option %1 given twice").arg(arg);
            return false;
        }
        QStringList& values = m_values[name];
        const Arity arity = options.value(name);
        if (arity == Flag) {
            if (hasInline) {
                m_error = QStringLiteral("option %1 takes no value").arg(arg);
                return false;
            }
            continue;
        }
        if (hasInline)
            values << inlineValue;
        while (i + 1 < arguments.size() && !isOption(arguments.at(i + 1)) && arguments.at(i + 1) != QLatin1String("--")
               && (arity == Many || values.isEmpty()))
            values << arguments.at(++i);
        if (values.isEmpty()) {
            m_error = QStringLiteral("option %1 needs a value").arg(arg);
            return false;
        }
    }
    return true;
}

QString ksCommandLine::value(const QString& option, const QString& fallback) const
{
    const QStringList list = m_values.value(option);
    return list.isEmpty() ? fallback : list.last();
}

QString ksCommandLine::usage()
{
    QString text = QStringLiteral("usage: talvik COMMAND [ARGUMENTS] [--json] [--verbose] [--] [FILES]\n");
    for (const CommandHelp& help : helps)
        text += QStringLiteral("  %1 %2\n").arg(QString::fromLatin1(help.synopsis), -40).arg(QLatin1String(help.summary));
    text += QStringLiteral(
        "'talvik help COMMAND' or 'talvik COMMAND --help' tells more; 'talvik formats' lists the file\n"
        "types import reads; 'talvik --version' the version.\n"
        "REF is a path in the reference tree (Car/Chassis/wheel) or a unique name; NAME#N picks one of several.\n"
        "Exit status: 0 done, 1 outdated files, 2 missing or unreadable files, 3 usage or input errors\n"
        "(also a project that another talvik is writing), 4 a failed operation (a save).\n");
    return text;
}

QString ksCommandLine::help(const QString& command)
{
    const CommandHelp* help = findHelp(command);
    if (!help)
        return QString();
    // Every command but the demo, the list of formats and the window
    // answers in JSON.
    const bool json = command != QLatin1String("demo") && command != QLatin1String("formats")
                      && command != QLatin1String("editor");
    return QStringLiteral("usage: talvik %1%2 [--verbose]\n%3")
               .arg(QLatin1String(help->synopsis), json ? QStringLiteral(" [--json]") : QString(),
                    QLatin1String(help->details))
           + (json ? QStringLiteral("  --json      the answer, and any error, as JSON\n") : QString())
           + QStringLiteral("  --verbose   print the host's log on standard error\n");
}

QString ksCommandLine::version()
{
    return QStringLiteral("talvik %1\n").arg(QStringLiteral(TALVIK_VERSION));
}

void ksCommandLine::fail(const QString& message)
{
    std::fprintf(stderr, "talvik: %s\n", message.toLocal8Bit().constData());
}
