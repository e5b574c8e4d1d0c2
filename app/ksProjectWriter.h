// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/FileTransaction.h"

#include <QLockFile>
#include <QString>

class ksTalvikHost;

// One command's writing of a project. It holds the lock beside the project
// (".<name>.lock") from before the load to after the save, so two writers
// cannot both load the same version and lose each other's work; readers
// need no lock. And it keeps one file transaction open for the whole
// command, so that every file the command writes (smart files saved on
// their own, then the project with the smart files it saves) replaces its
// old version together with the others, or none does.
class ksProjectWriter
{
public:
    explicit ksProjectWriter(const QString& projectPath);

    // How long a second writer waits for the first.
    static constexpr int LockWait = 3000;

    // Checks that the project can be replaced (ksProjectFile::checkWritable)
    // and takes the lock, waiting up to LockWait ms. False after reporting
    // why ("talvik: <project>: <reason>"), e.g. the holder: "another talvik
    // (process 12 on host) is writing it" (exit with UsageError then). A
    // lock left by a process that is gone is taken over.
    bool lock();

    // Saves the live scene as the project and commits every file of the
    // command; false with the reasons in `error` (every error logged since
    // the host's last clearLastError()), and then no file has changed.
    bool save(ksTalvikHost& host, QString& error);

private:
    QString m_path;
    QLockFile m_lock;
    osg::FileTransaction m_transaction;
};
