// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/FileTransaction.h"

#include <QString>
#include <QStringList>

#include <memory>

class QLockFile;

// Saves the live scene as a project, all or nothing. It keeps one file
// transaction open from its construction to its save, so every file the
// command writes meanwhile (smart files saved on their own, then the project
// with the smart files its save writes) replaces its old version together
// with the others or, when any write fails, none does and nothing new is
// left. A lock file beside the project keeps a second writer out: a command
// takes it before it loads the project, so two writers never both change
// the same version.
class ksProjectSave
{
public:
    explicit ksProjectSave(const QString& projectPath);
    ~ksProjectSave();

    // How long a second writer waits for the first.
    static constexpr int LockWait = 3000;

    // Checks that the project can be replaced (ksProjectFile::checkWritable)
    // and takes the lock, waiting up to LockWait ms; false with the reason
    // in error(), e.g. the holder. A lock whose holder is gone is taken over.
    bool lock();

    // Sets every source record's relative path (relative to the project
    // folder, as the module keeps smart records), so that the folder can
    // move, then saves and commits, and removes the temporaries killed
    // saves left beside the written files. False with the reasons in error().
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
    osg::FileTransaction m_transaction;
};
