// Licensed under the MIT licence; see LICENSE.
#include "ksProjectSave.h"

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
#include <QMap>
#include <QObject>

#include <unistd.h>

using namespace osg;

namespace {

// Every smart file path of the scene: the files a project save may write.
QStringList smartPaths()
{
    QStringList paths;
    ksReferenceInterface* references = ksInterfaceFactory::the().get<ksReferenceInterface>();
    if (!references)
        return paths;
    for (const NodePtr& node : references->findExtReferences(ksScenegraph::getRoot(), 0)) {
        const ExtReferencePtr core = references->getExtReference(node);
        if (core && core->getSmartFile() && !core->getSmartFile()->getPath().empty())
            paths << QFileInfo(QString::fromStdString(core->getSmartFile()->getPath())).absoluteFilePath();
    }
    return paths;
}

} // namespace

ksProjectSave::ksProjectSave(const QString& projectPath) : m_project(QFileInfo(projectPath).absoluteFilePath()) {}

ksProjectSave::~ksProjectSave() = default;

bool ksProjectSave::lock()
{
    m_lock = std::make_unique<QLockFile>(m_project + QStringLiteral(".lock"));
    if (m_lock->tryLock(2000))
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

    // The files as they are now, kept under a second name in their own
    // folder, so that a failed save can put each back in place.
    QMap<QString, QString> kept; // path -> kept copy, empty when the file is new
    const QString tag = QStringLiteral(".talvik-%1.keep").arg(::getpid());
    const QStringList targets = smartPaths() << m_project;
    for (const QString& path : targets) {
        if (kept.contains(path))
            continue;
        const QString copy = path + tag;
        QFile::remove(copy);
        kept[path] = QFileInfo(path).isFile() && ::link(QFile::encodeName(path).constData(),
                                                        QFile::encodeName(copy).constData()) == 0
                         ? copy
                         : QString();
    }
    QString lastError;
    const ksSubscription log = ksLog::subscribe([&lastError](ksLog::Level level, const std::string& text) {
        if (level == ksLog::Level::Error)
            lastError = QString::fromStdString(text);
    });
    QObject listener;
    QObject::connect(ksFileIO::instance(), &ksFileIO::smartReferenceSaved, &listener,
                     [this](const QString& path) { m_written << QFileInfo(path).absoluteFilePath(); });
    // A smart file that failed does not stop the module's save; its logged
    // error does stop this one.
    const bool ok = ksFileIO::saveProject(m_project) && lastError.isEmpty();
    for (auto it = kept.cbegin(); it != kept.cend(); ++it) {
        const QString& path = it.key();
        const bool changed = m_written.contains(path) || path == m_project;
        if (!ok && changed) {
            if (it.value().isEmpty())
                QFile::remove(path);
            else
                ::rename(QFile::encodeName(it.value()).constData(), QFile::encodeName(path).constData());
        }
        if (!it.value().isEmpty())
            QFile::remove(it.value());
    }
    if (!ok) {
        m_error = lastError.isEmpty() ? QStringLiteral("saving failed") : QStringLiteral("saving failed: %1").arg(lastError);
        m_written.clear();
    }
    return ok;
}
