// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "ksReferenceTable.h"

#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>

class ksCommandLine;
class ksProjectSave;
class ksTalvikHost;

// What the commands that work on one project share: the checks before
// anything is loaded, the load (with the moved files found again), the table
// of its references, references named on the command line, the save, and
// output as text or as JSON.
class ksCommandSession
{
public:
    ksCommandSession(const ksCommandLine& line, ksTalvikHost& host);
    ~ksCommandSession();

    bool json() const { return m_json; }
    bool colour() const;
    ksTalvikHost& host() { return m_host; }
    const QString& projectPath() const { return m_project; }
    QString projectFolder() const;
    const QStringList& resolvedSources() const { return m_resolvedSources; }

    // Checks the project, (for a writer) takes its lock, starts the host and
    // loads the project. False when that failed: the reason is printed and
    // exitCode() says how to end.
    bool open(const QString& project, bool writer);
    int exitCode() const { return m_exitCode; }

    // The live scene's references with how their files were found.
    ksReferenceTable table() const;

    // Rows of table() named by tree path ("Car/Chassis/wheel"), by a unique
    // name, or by either with "#N" (the Nth of several of that name). False
    // (with the reason printed and exitCode() set) when one name matches no
    // reference or several.
    bool select(const QStringList& names, QVector<ksReferenceTable::Row>& rows);

    // open() for a writer, then select() of the references named after the
    // project on the command line.
    bool openWithReferences(QVector<ksReferenceTable::Row>& rows);

    // The end of a command that changes the project: saves when `changed`,
    // then prints `result` as JSON (with "project" and "written" added), or
    // `lines`, the smart files written and the save. The exit status.
    int finish(QJsonObject result, const QStringList& lines, bool changed);

    // Saves the project all or nothing; 0, or the failure's exit status with
    // the reason printed. The undo steps of this run are undone on failure,
    // so the scene is the loaded one again.
    int save(QStringList* written = nullptr);
    void undoAll();

    // "talvik: <message>" on standard error; returns `code`.
    int fail(int code, const QString& message);

    // The object with "schema" and "command" added, on standard output.
    void printJson(QJsonObject object) const;

    // The version of the JSON output; raised when a field changes meaning.
    static constexpr int Schema = 1;

private:
    const ksCommandLine& m_line;
    ksTalvikHost& m_host;
    bool m_json;
    QString m_project;
    int m_exitCode = 0;
    int m_undoStart = 0;
    QStringList m_resolvedSmart;
    QStringList m_resolvedSources;
    QMap<QString, QString> m_loadFailures;
    std::unique_ptr<ksProjectSave> m_save;
};
