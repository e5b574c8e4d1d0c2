// Licensed under the MIT licence; see LICENSE.
#include "ksProjectSave.h"

#include "ksProjectFile.h"

#include "kernel/ksInterfaceFactory.h"
#include "references/ksReferenceInterface.h"
#include "scene/ksFileIO.h"
#include "scene/ksScenegraph.h"
#include "scenegraph/ExtReference.h"
#include "scenegraph/FileReference.h"
#include "scenegraph/Node.h"
#include "utils/ksLog.h"
#include "utils/ksSubscription.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QObject>


using namespace osg;

ksProjectSave::ksProjectSave(const QString& projectPath) : m_project(QFileInfo(projectPath).absoluteFilePath()) {}

ksProjectSave::~ksProjectSave() = default;

bool ksProjectSave::lock()
{
    m_error = ksProjectFile::checkWritable(m_project);
    if (!m_error.isEmpty())
        return false;
    m_lock = std::make_unique<QLockFile>(m_project + QStringLiteral(".lock"));
    // Only a holder that is gone makes a lock stale, never its age: an
    // import of thousands of files may rightly hold it for minutes.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(LockWait))
        return true;
    qint64 pid = 0;
    QString host, application;
    m_lock->getLockInfo(&pid, &host, &application);
    m_error = m_lock->error() == QLockFile::LockFailedError
                  ? QStringLiteral("another program is writing it (process %1 on %2)").arg(pid).arg(host)
                  : QStringLiteral("cannot make the lock file %1.lock").arg(QFileInfo(m_project).fileName());
    m_lock.reset();
    return false;
}

void ksProjectSave::refreshRelativePaths(const QString& projectPath, bool smartToo)
{
    ksReferenceInterface* references = ksInterfaceFactory::the().get<ksReferenceInterface>();
    if (!references)
        return;
    const QDir folder = QFileInfo(projectPath).absoluteDir();
    for (const NodePtr& node : references->findExtReferences(ksScenegraph::getRoot(), 0)) {
        const ExtReferencePtr core = references->getExtReference(node);
        for (const FileReferencePtr& record : {core ? core->getSourceFile() : FileReferencePtr(),
                                               core && smartToo ? core->getSmartFile() : FileReferencePtr()}) {
            if (!record || record->getPath().empty())
                continue;
            const std::string relative =
                folder.relativeFilePath(QString::fromStdString(record->getPath())).toUtf8().toStdString();
            if (relative == record->getRelativePath())
                continue;
            beginEditCP(record, FileReference::RelativePathFieldMask);
            record->setRelativePath(relative);
            endEditCP(record, FileReference::RelativePathFieldMask);
        }
    }
}

bool ksProjectSave::save()
{
    m_written.clear();
    m_error.clear();
    refreshRelativePaths(m_project, false);
    QStringList errors;
    const ksSubscription log = ksLog::subscribe([&errors](ksLog::Level level, const std::string& text) {
        if (level == ksLog::Level::Error)
            errors << QString::fromStdString(text);
    });
    QObject listener;
    QObject::connect(ksFileIO::instance(), &ksFileIO::smartReferenceSaved, &listener,
                     [this](const QString& path) { m_written << QFileInfo(path).absoluteFilePath(); });
    // A smart file that failed does not stop the module's save; its logged
    // error (which names the file and the system's reason) stops this one,
    // before the commit, so no file changes.
    std::string reason;
    const bool ok = ksFileIO::saveProject(m_project) && errors.isEmpty() && m_transaction.commit(reason);
    // The lock keeps every other writer of these files out, so what a
    // killed save left beside them can go now.
    if (ok)
        m_transaction.removeStaleTemporaries();
    if (!ok) {
        if (!reason.empty())
            errors << QString::fromStdString(reason);
        errors.removeDuplicates();
        m_error = QStringLiteral("saving failed, nothing was written: %1")
                      .arg(errors.isEmpty() ? QStringLiteral("unknown reason") : errors.join(QStringLiteral("; ")));
        m_written.clear();
    }
    return ok;
}
