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
// A name proves little (every assembly has its "bolt.obj"), so among the
// files found the one whose content matches the record's checksum wins;
// when none or several match, the reference is left alone and the
// candidates are reported.
class ksReferenceResolver
{
public:
    explicit ksReferenceResolver(const QStringList& searchDirectories);

    struct Result {
        // "name: old -> new", one per file found again.
        QStringList found;
        // "name: a, b (none matches the recorded content)", one per
        // reference left alone.
        QStringList ambiguous;
    };

    // Resolves every missing source file of the scene loaded from
    // `projectPath`. A file found again is recorded with its time and
    // checksum, so later checks need not read it.
    Result resolveSources(const QString& projectPath) const;

    // The search directories as the module reads them at start: set before
    // the host starts.
    static void exportSearchPath(const QStringList& directories);

private:
    QStringList m_directories;
};
