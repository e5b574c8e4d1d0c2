// Licensed under the MIT licence; see LICENSE.
#include "ksCommandLine.h"

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
    for (int i = 1; i < arguments.size(); ++i) {
        QString arg = arguments.at(i);
        if (!arg.startsWith(QLatin1String("--")) || arg == QLatin1String("--")) {
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
        while (i + 1 < arguments.size() && !arguments.at(i + 1).startsWith(QLatin1String("--"))
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
    return QStringLiteral(
        "usage: talvik COMMAND [ARGUMENTS] [--json] [--verbose]\n"
        "  demo [DIR]                               build, change and reload a sample car assembly\n"
        "  status PROJECT [--expression REGEX...]   the reference tree; exit 0 up to date, 1 outdated, 2 missing\n"
        "  ls PROJECT [--paths] [--missing] [--outdated] [--unreadable] [--depth N]\n"
        "                                           the references with the folders of their files\n"
        "  watch PROJECT [--interval MS] [--poll-only] [--expression REGEX...]\n"
        "                                           report changes of the project and its files until interrupted\n"
        "  import FILE... --into PROJECT [--smart]  import files as source (and smart) references; .zmb/.osb as smart\n"
        "  update PROJECT [REF...] [--all]          re-read outdated references from their files\n"
        "  relink PROJECT REF --to FILE             point a reference at another file\n"
        "  relink PROJECT REF --newest [--expression REGEX...]\n"
        "                                           ... or at the newest revision of its file (default _v(\\d+))\n"
        "  remove PROJECT REF...                    make references plain nodes that keep their content\n"
        "  load PROJECT REF... / unload PROJECT REF...\n"
        "  group PROJECT REF... --as NAME [--smart] put references under a new assembly (a smart reference)\n"
        "  pack PROJECT --to DIR                    copy the project and all its files into DIR, movable as a whole\n"
        "  resolve PROJECT --search-path DIR...     find moved references and save the project\n"
        "  revisions FILE --expression REGEX...     the revisions of a file and the newest\n"
        "  editor [PROJECT] [--screenshot FILE.png]  the Reference Editor window (or its picture)\n"
        "REF is a path in the reference tree (Car/Chassis/wheel) or a unique name; NAME#N picks one of several.\n"
        "Usage and input errors exit with 3, failed operations with 4.\n");
}
