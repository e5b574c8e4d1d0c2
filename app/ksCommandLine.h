// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

// The talvik command line: a command, its positional arguments and its
// options. Options take no value (flags), one value, or every following
// argument up to the next option ("--search-path A B --json"). "--" ends the
// options: everything after it is positional, also names that start with
// "--".
class ksCommandLine
{
public:
    enum Arity { Flag, One, Many };

    // Exit statuses shared by every command. Commands that report on files
    // use 1 for outdated and 2 for missing or unreadable files.
    static constexpr int Success = 0;
    static constexpr int Outdated = 1;
    // resolve: candidates were found, but none or several fit.
    static constexpr int Ambiguous = 1;
    static constexpr int MissingOrUnreadable = 2;
    // Usage and input errors, and a project another writer holds.
    static constexpr int UsageError = 3;
    // An operation that failed on a valid input (a save, standard output).
    static constexpr int Failure = 4;

    // `arguments` without the program name. False with a message in error()
    // for an unknown option, a missing value, or an option given twice.
    bool parse(const QStringList& arguments, const QMap<QString, Arity>& options);

    QString command() const { return m_command; }
    const QStringList& positional() const { return m_positional; }
    bool has(const QString& option) const { return m_values.contains(option); }
    QString value(const QString& option, const QString& fallback = QString()) const;
    QStringList values(const QString& option) const { return m_values.value(option); }
    QString error() const { return m_error; }

    // Every command with one line each, and where to learn more.
    static QString usage();
    // The help of one command (synopsis, what it does, its options); empty
    // for an unknown command.
    static QString help(const QString& command);
    static QString version();

    // "talvik: <message>" on standard error.
    static void fail(const QString& message);

private:
    QString m_command;
    QStringList m_positional;
    QMap<QString, QStringList> m_values;
    QString m_error;
};
