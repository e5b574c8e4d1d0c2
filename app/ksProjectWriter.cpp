// Licensed under the MIT licence; see LICENSE.
#include "ksProjectWriter.h"

#include "ksProjectFile.h"
#include "ksTalvikHost.h"

#include "scene/ksFileIO.h"

#include <QFileInfo>

namespace {

QString lockPath(const QString& projectPath)
{
    const QFileInfo info(projectPath);
    return info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".lock");
}

} // namespace

ksProjectWriter::ksProjectWriter(const QString& projectPath)
    : m_path(QFileInfo(projectPath).absoluteFilePath()), m_lock(lockPath(projectPath))
{
    // Only a holder that is gone makes a lock stale, never its age: an
    // import of thousands of files may rightly hold it for minutes.
    m_lock.setStaleLockTime(0);
}

bool ksProjectWriter::lock()
{
    QString error = ksProjectFile::checkWritable(m_path);
    if (error.isEmpty()) {
        if (m_lock.tryLock(LockWait))
            return true;
        qint64 pid = 0;
        QString hostName, application;
        if (m_lock.error() == QLockFile::PermissionError)
            error = QStringLiteral("cannot write the lock file %1 beside it").arg(QFileInfo(lockPath(m_path)).fileName());
        else if (m_lock.getLockInfo(&pid, &hostName, &application))
            error = QStringLiteral("another talvik (process %1 on %2) is writing it; try again when it is done")
                        .arg(pid)
                        .arg(hostName.isEmpty() ? QStringLiteral("this host") : hostName);
        else
            error = QStringLiteral("another talvik is writing it; try again when it is done");
    }
    ksProjectFile::report(m_path, error);
    return false;
}

bool ksProjectWriter::save(ksTalvikHost& host, QString& error)
{
    std::string reason;
    if (ksFileIO::saveProject(m_path) && m_transaction.commit(reason))
        return true;
    QStringList reasons = host.errors();
    if (!reason.empty())
        reasons << QString::fromStdString(reason);
    reasons.removeDuplicates();
    error = reasons.isEmpty() ? QStringLiteral("saving failed") : reasons.join(QStringLiteral("; "));
    return false;
}
