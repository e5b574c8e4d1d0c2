// Licensed under the MIT licence; see LICENSE.
// Path operations of ksReferenceNode: relative and absolute paths against
// the project ("master") file, finding files that moved with or away from
// the project, and saving a node's smart reference.
#include "model/ksReferenceNode.h"

#include "model/ksReferencePool.h"
#include "model/ksReferenceSettings.h"
#include "scene/ksSceneData.h"
#include "scene/ksSceneDataManager.h"
#include "scenegraph/CPEditor.h"
#include "scenegraph/ExtReference.h"
#include "scenegraph/FileReference.h"
#include "scenegraph/Node.h"
#include "utils/ksFile.h"
#include "utils/ksLog.h"

#include <QDir>
#include <QFileInfo>

namespace {

// The given master file, else the scene's current file; empty when there is none.
QString masterFileOf(const QString& masterFile)
{
    if (!masterFile.isEmpty())
        return masterFile;
    const ksSceneData* scene = ksSceneDataManager::getSceneData(0);
    return scene ? scene->getCurrentFile() : QString();
}

} // namespace

QString ksReferenceNode::normalizeDirectory(QString dir)
{
    dir.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (!dir.endsWith(QLatin1Char('/')))
        dir.append(QLatin1Char('/'));
    return dir;
}

QString ksReferenceNode::makeRelativePath(const QString& path, const QString& masterFile)
{
    if (path.isEmpty() || QDir::isRelativePath(path))
        return path;
    const QString master = masterFileOf(masterFile);
    if (master.isEmpty())
        return QString();
    return QDir(QFileInfo(master).absolutePath()).relativeFilePath(path);
}

QString ksReferenceNode::makeAbsolutePath(const QString& path, const QString& masterFile)
{
    if (path.isEmpty() || QDir::isAbsolutePath(path))
        return path;
    const QString master = masterFileOf(masterFile);
    if (master.isEmpty()) {
        log(QStringLiteral("Can't construct absolute path. No master file found."), LogWarning);
        return QString();
    }
    return normalizeDirectory(QFileInfo(master).absolutePath()) + path;
}

bool ksReferenceNode::findFile(const QString& path, const QString& masterFile, QString& out)
{
    out = path;
    if (path.isEmpty())
        return false;
    if (QDir::isAbsolutePath(path))
        return QFileInfo(path).exists();

    const QString master = masterFileOf(masterFile);
    for (const QString& candidate :
         ksFile::getSearchCandidates(path, QFileInfo(path).fileName(),
                                     master.isEmpty() ? QString() : QFileInfo(master).absolutePath(),
                                     ksReferenceSettings::the().getSearchPaths())) {
        if (ksFile::isFound(candidate)) {
            out = candidate;
            return true;
        }
    }
    out.clear();
    log(QStringLiteral("Couldn't resolve relative path!"), LogWarning);
    return false;
}

bool ksReferenceNode::resolvePath(const osg::FileReferencePtr& ref, const QString& masterFile)
{
    if (!ref)
        return false;
    const std::string oldPath = ref->getPath();
    if (QFileInfo(QString::fromStdString(oldPath)).exists())
        return true;
    QString found;
    if (!findFile(QString::fromStdString(ref->getRelativePath()), masterFile, found))
        return false;
    const std::string newPath = found.toStdString();
    {
        osg::CPEditor edit(ref, osg::FileReference::PathFieldMask);
        ref->setPath(newPath);
    }
    ksLog::warning("Resolved new reference path: %s (previously %s)", newPath.c_str(), oldPath.c_str());
    return true;
}

bool ksReferenceNode::resolveSmartPath(const QString& masterFile)
{
    const osg::ExtReferencePtr core = getExtReference();
    if (!core)
        return false;
    return resolvePath(core->getSmartFile(), masterFile);
}

void ksReferenceNode::updateRelativePath(const osg::FileReferencePtr& ref)
{
    if (!ref || ref->getPath().empty())
        return;
    const QString path = QString::fromStdString(ref->getPath());
    const QString relative = QDir::isAbsolutePath(path) ? makeRelativePath(path, QString()) : path;
    const std::string value = relative.toStdString();
    if (value == ref->getRelativePath())
        return;
    // Announced as a change of the relative path alone: refreshing it while
    // a project is saved must not count as an edit of the content that
    // holds this record.
    osg::CPEditor edit(ref, osg::FileReference::RelativePathFieldMask);
    ref->setRelativePath(value);
}

bool ksReferenceNode::save()
{
    const osg::ExtReferencePtr core = getExtReference();
    if (!core)
        return false;
    const osg::FileReferencePtr smart = core->getSmartFile();
    if (!smart || core->getState() == ksReferenceTypes::NotLoaded || smart->getState() == ksReferenceTypes::Missing)
        return false;
    const std::string path = smart->getPath();
    if (path.empty()) {
        log(QStringLiteral("Save: Can't write file. Path is empty."), LogError);
        return false;
    }
    if (!ksFile::exists(path, false, false)) {
        const QString dir = QFileInfo(QString::fromStdString(path)).absolutePath();
        if (!QDir().mkpath(dir)) {
            log(QStringLiteral("Save: Can't write file %1. Unable to create path.")
                    .arg(QString::fromStdString(ksFile::getFileName(path))),
                LogError);
            return false;
        }
    }
    return ksReferencePool::instance().saveSmartReference(core);
}
