// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

// The talvik command line: a command, its positional arguments and its
// options. Options take no value (flags), one value, or every following
// argument up to the next option ("--search-path A B --json").
class ksCommandLine
{
public:
    enum Arity { Flag, One, Many };

    // Exit status of usage and input errors, apart from status's 1 and 2.
    static constexpr int UsageError = 3;
    // Exit status of an operation that failed on a valid input.
    static constexpr int Failure = 4;

    // `arguments` without the program name. False with a message in error()
    // for an unknown option or a missing value.
    bool parse(const QStringList& arguments, const QMap<QString, Arity>& options);

    QString command() const { return m_command; }
    const QStringList& positional() const { return m_positional; }
    bool has(const QString& option) const { return m_values.contains(option); }
    QString value(const QString& option, const QString& fallback = QString()) const;
    QStringList values(const QString& option) const { return m_values.value(option); }
    QString error() const { return m_error; }

    static QString usage();

private:
    QString m_command;
    QStringList m_positional;
    QMap<QString, QStringList> m_values;
    QString m_error;
};
