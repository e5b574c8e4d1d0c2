// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class QLockFile;

// Saves the live scene as a project, all or nothing: the project file and
// every smart file the save writes either all change or, when any write
// fails, all stay as they were (files the save made are removed again). A
// lock file beside the project keeps a second writer out while a command
// changes it.
class ksProjectSave
{
public:
    explicit ksProjectSave(const QString& projectPath);
    ~ksProjectSave();

    // Takes the lock; false with the reason in error() when another writer
    // holds it.
    bool lock();

    // Sets every source record's relative path (relative to the project
    // folder, as the module keeps smart records), so that the folder can
    // move, then saves. False with the reason in error().
    bool save();

    // The smart files the last save wrote, in order.
    const QStringList& written() const { return m_written; }
    QString error() const { return m_error; }

    // Each source record's relative path, with `smartToo` also each smart
    // record's (the module's export keeps those current at a project save).
    static void refreshRelativePaths(const QString& projectPath, bool smartToo);

private:
    QString m_project;
    QStringList m_written;
    QString m_error;
    std::unique_ptr<QLockFile> m_lock;
};
