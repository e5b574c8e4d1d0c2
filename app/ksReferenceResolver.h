// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <QString>
#include <QStringList>

class ksTalvikHost;

// Finds the files of the live scene's references again after they moved.
// The module finds smart files itself while a project loads, from their
// relative paths (beside the project); what it cannot find there is looked
// up by name in the program's search directories. Source records keep only
// where the file was, so they are looked up by name: beside the project, by
// the record's relative path, then in each search directory.
class ksReferenceResolver
{
public:
    explicit ksReferenceResolver(const QStringList& searchDirectories);

    // Finds every missing smart file of the live scene in the search
    // directories, points its record there and loads it (references inside
    // loaded content are searched in turn). One line per file found:
    // "new (previously old)".
    QStringList resolveSmartFiles() const;

    // Resolves every missing source file of the scene loaded from
    // `projectPath`. Returns one line per file found: "name: old -> new".
    QStringList resolveSources(const QString& projectPath) const;

private:
    QStringList m_directories;
};
