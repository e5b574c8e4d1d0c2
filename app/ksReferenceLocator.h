// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "ksReferenceTable.h"

#include <QMap>
#include <QString>
#include <QStringList>

class ksReferenceService;

// Where the files of a loaded project are. It finds moved source files the
// way the module finds moved smart files while a project loads (by relative
// path beside the project, then by name in the search folders), and tells
// for each file of a table how it was found, whether it leads out of a
// copied project folder, whether it exists but did not load, and whether a
// newer revision of it exists.
class ksReferenceLocator
{
public:
    // `resolvedSmart`: the module's "new (previously old)" lines of the load;
    // `loadFailures`: file path -> reason, from the loader's messages.
    ksReferenceLocator(const QString& projectPath, const QStringList& resolvedSmart,
                       const QMap<QString, QString>& loadFailures);

    // Points missing source records at the files found, as `resolve` finds
    // them, in the scene only (a command that saves keeps it); "name: old ->
    // new" per file.
    QStringList resolveSources();

    void annotate(ksReferenceTable& table) const;

    // With the revision check of the service on and `expressions` set: the
    // newest revision of each file when it is not the file in use.
    static void findNewerRevisions(ksReferenceTable& table, ksReferenceService* service,
                                   const QStringList& expressions);

    static QStringList searchFolders();

private:
    // The copy of `path` inside the project folder, empty when none.
    QString copyInside(const QString& path, const QString& relativePath) const;

    QString m_project;
    QString m_folder; // the project folder, with a trailing '/'
    QMap<QString, ksReferenceTable::Found> m_found;
    QMap<QString, QString> m_failures;
};
