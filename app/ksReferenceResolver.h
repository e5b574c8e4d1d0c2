// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <QString>
#include <QStringList>

class ksTalvikHost;

// Finds the source files of the live scene's references again after they
// moved. Smart files are found by the module while a project loads (from
// their relative paths and the search directories); source records keep
// only where the file was, so they are looked up by name: beside the
// project, by the record's relative path, then in each search directory.
class ksReferenceResolver
{
public:
    explicit ksReferenceResolver(const QStringList& searchDirectories);

    // Resolves every missing source file of the scene loaded from
    // `projectPath`. Returns one line per file found: "name: old -> new".
    QStringList resolveSources(const QString& projectPath) const;

    // The search directories as the module reads them at start: set before
    // the host starts.
    static void exportSearchPath(const QStringList& directories);

private:
    QStringList m_directories;
};
