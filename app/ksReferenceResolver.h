// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <QString>
#include <QStringList>

class ksTalvikHost;

// Finds the files of the live scene's references again after they moved, in
// the module's search order (ksFile::getSearchCandidates). The module finds
// smart files itself while a project loads, from their relative paths
// (beside the project); what it cannot find there is looked up by name in
// the program's search directories. Source files are looked up by the
// record's relative path beside the project, by name there, then by name in
// each search directory.
class ksReferenceResolver
{
public:
    explicit ksReferenceResolver(const QStringList& searchDirectories);

    // Finds every missing smart file of the live scene in the search
    // directories, points its record there and loads it (references inside
    // loaded content are searched in turn). One line per file found:
    // "new (previously old)".
    QStringList resolveSmartFiles() const;

    struct Result {
        // "name: old -> new", one per file found again.
        QStringList found;
        // "name: a, b (none matches the recorded content)", one per
        // reference left alone.
        QStringList ambiguous;
    };

    // Resolves every missing source file of the scene loaded from
    // `projectPath`. A name proves little (every assembly has its
    // "bolt.obj"), so among the files found the one whose content matches
    // the record's checksum wins; when none or several match, the reference
    // is left alone and its candidates are reported. A file found again is
    // recorded with its time and checksum, so later checks need not read it.
    Result resolveSources(const QString& projectPath) const;

private:
    QStringList m_directories;
};
