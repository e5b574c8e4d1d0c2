// Licensed under the MIT licence; see LICENSE.
#include "scene/ksFileIO.h"

#include "fileio/ksFileIOService.h"
#include "kernel/ksInterfaceFactory.h"
#include "kernel/ksKernelServiceFactory.h"
#include "nodeutils/ksMaterials.h"
#include "references/ksReferenceFindFlags.h"
#include "references/ksReferenceInterface.h"
#include "scene/ksFastGeometryLoader.h"
#include "scene/ksSceneData.h"
#include "scene/ksSceneDataManager.h"
#include "scene/ksScenegraph.h"
#include "scene/ksZmbWriter.h"
#include "scenegraph/ExtReference.h"
#include "scenegraph/FileReference.h"
#include "scenegraph/FileTransaction.h"
#include "scenegraph/Node.h"
#include "scenegraph/Traversal.h"
#include "utils/ksLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>
#include <set>

#include <sys/stat.h>
#include <unistd.h>

using namespace osg;

namespace {

ksFileIOService* fileService()
{
    auto& factory = ksKernelServiceFactory::the();
    return factory.has<ksFileIOService>() ? factory.get<ksFileIOService>() : nullptr;
}

// The increment name parts of `path`: directory, base and suffix.
void splitPath(const QString& path, QString& dir, QString& base, QString& suffix)
{
    const QFileInfo info(path);
    dir = info.absolutePath();
    base = info.completeBaseName();
    suffix = info.suffix();
}

} // namespace

ksFileIO::ksFileIO(QObject* parent) : QObject(parent) {}

ksFileIO* ksFileIO::instance()
{
    static auto* self = new ksFileIO();
    return self;
}

QString ksFileIO::getFilename()
{
    return instance()->m_filename;
}

void ksFileIO::setFilename(const QString& path)
{
    instance()->m_filename = path;
}

bool ksFileIO::isProjectFile(const QString& path)
{
    return path.endsWith(QLatin1String(".zmb"), Qt::CaseInsensitive);
}

bool ksFileIO::isProjectFile(const std::string& path)
{
    return isProjectFile(QString::fromStdString(path));
}

bool ksFileIO::isNativeSceneFile(const QString& path, Qt::CaseSensitivity osbCase)
{
    return isProjectFile(path) || path.endsWith(QLatin1String(".osb"), osbCase);
}

bool ksFileIO::isNativeSceneFile(const std::string& path, Qt::CaseSensitivity osbCase)
{
    return isNativeSceneFile(QString::fromStdString(path), osbCase);
}

bool ksFileIO::getImportCreateReferences()
{
    return instance()->m_importCreateReferences;
}

void ksFileIO::setImportCreateReferences(bool create)
{
    instance()->m_importCreateReferences = create;
}

ksZmbMetadata ksFileIO::makeMetadata(const NodePtr& node)
{
    ksZmbMetadata metadata;
    metadata["Creator"] = "Talvik";
    std::string references;
    std::set<std::string> seen;
    traverse(node, [&](const NodePtr& n) {
        if (n == node)
            return Action::Continue;
        const ExtReferencePtr ext = ExtReferencePtr::dcast(n->getCore());
        if (!ext)
            return Action::Continue;
        const FileReferencePtr record = ext->getSmartFile() ? ext->getSmartFile() : ext->getSourceFile();
        if (record && !record->getPath().empty() && seen.insert(record->getPath()).second) {
            if (!references.empty())
                references += '\n';
            references += record->getPath();
        }
        return Action::Continue;
    });
    metadata[ksZmb::AssemblyFileReferencesKey] = references;
    return metadata;
}

ksFileResult ksFileIO::saveSmartReference(const NodePtr& node, const std::string& path,
                                          const ksSmartReferenceStash& stash)
{
    if (!node) {
        ksLog::error("Unable to save %s: nothing to save.", path.c_str());
        return ksFileResult::failure(QStringLiteral("nothing to save."));
    }
    ksFileIO* self = instance();
    if (self->m_beforeWrite)
        self->m_beforeWrite(node);
    const ksFileResult saved = ksZmbWriter(node, stash, makeMetadata(node)).save(QString::fromStdString(path));
    if (self->m_afterWrite)
        self->m_afterWrite(node);
    if (!saved) {
        ksLog::error("Unable to save %s: %s", path.c_str(), saved.message.toUtf8().constData());
        return saved;
    }
    const QString written = QString::fromStdString(path);
    emit self->smartReferenceSaved(written);
    if (ksFileIOService* service = fileService())
        emit service->savedGeometry(written);
    return saved;
}

void ksFileIO::setSubtreeSaveHooks(SubtreeHook beforeWrite, SubtreeHook afterWrite)
{
    instance()->m_beforeWrite = std::move(beforeWrite);
    instance()->m_afterWrite = std::move(afterWrite);
}

bool ksFileIO::isIncrementalSaveEnabled()
{
    return instance()->m_incrementalSave;
}

void ksFileIO::setIncrementalSaveEnabled(bool enabled)
{
    instance()->m_incrementalSave = enabled;
}

QString ksFileIO::nextIncrementPath(const QString& path)
{
    QString dir, base, suffix;
    splitPath(path, dir, base, suffix);
    const QString tail = suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix;
    const QRegularExpression pattern(QLatin1Char('^') + QRegularExpression::escape(base)
                                     + QStringLiteral("\\.(\\d+)") + QRegularExpression::escape(tail)
                                     + QLatin1Char('$'));
    int highest = 0;
    for (const QString& name : QDir(dir).entryList(QDir::Files)) {
        const QRegularExpressionMatch match = pattern.match(name);
        if (match.hasMatch())
            highest = std::max(highest, match.captured(1).toInt());
    }
    return dir + QLatin1Char('/') + base + QLatin1Char('.') + QStringLiteral("%1").arg(highest + 1, 3, 10, QLatin1Char('0'))
           + tail;
}

bool ksFileIO::incrementalSave(const QString& path, QString& incrementPath)
{
    incrementPath.clear();
    if (!QFileInfo(path).isFile())
        return false;
    const QString increment = nextIncrementPath(path);
    // A second name for the same file keeps the previous version without
    // copying it and without a moment in which `path` is missing. Saves
    // replace the file at `path` by a new one (QSaveFile) and never write
    // into it, so the kept version cannot change.
    if (::link(QFile::encodeName(path).constData(), QFile::encodeName(increment).constData()) != 0
        && !QFile::copy(path, increment)) {
        ksLog::error("Unable to keep the previous version of %s as %s.", path.toUtf8().constData(),
                     increment.toUtf8().constData());
        return false;
    }
    incrementPath = increment;
    // A save that fails later must not leave the kept version behind.
    osg::FileTransaction::removeOnFailure(increment.toStdString());
    return true;
}

bool ksFileIO::renameLastIncrementToOriginal(const QString& path, const QString& incrementPath)
{
    if (incrementPath.isEmpty() || !QFileInfo(incrementPath).isFile())
        return false;
    const QByteArray from = QFile::encodeName(incrementPath);
    const QByteArray to = QFile::encodeName(path);
    // Still the same file (the failed save never replaced it): rename would
    // leave both names in place, so the extra name goes.
    struct stat a = {}, b = {};
    if (::stat(from.constData(), &a) == 0 && ::stat(to.constData(), &b) == 0 && a.st_dev == b.st_dev
        && a.st_ino == b.st_ino)
        return ::unlink(from.constData()) == 0;
    if (::rename(from.constData(), to.constData()) != 0) {
        ksLog::error("Unable to restore %s from %s.", path.toUtf8().constData(), incrementPath.toUtf8().constData());
        return false;
    }
    return true;
}

void ksFileIO::addAdvancedProgress(const QString& title, int steps)
{
    ksFileIO* self = instance();
    self->m_progress.push_back({title, std::max(steps, 0), 0});
    emit self->advancedProgressStarted(title, std::max(steps, 0), int(self->m_progress.size()));
}

void ksFileIO::increaseAdvancedProgress(int steps)
{
    ksFileIO* self = instance();
    if (self->m_progress.empty())
        return;
    Progress& p = self->m_progress.back();
    p.value = std::min(p.value + std::max(steps, 0), p.steps);
    emit self->advancedProgressChanged(p.value, p.steps, int(self->m_progress.size()));
}

void ksFileIO::removeAdvancedProgress()
{
    ksFileIO* self = instance();
    if (self->m_progress.empty())
        return;
    const int depth = int(self->m_progress.size());
    self->m_progress.pop_back();
    emit self->advancedProgressFinished(depth);
}

void ksFileIO::setAdvancedProgressPart(double fraction, const QString& detail)
{
    ksFileIO* self = instance();
    // The levels are the main thread's; a read elsewhere has none to move.
    if (self->m_progress.empty() || QThread::currentThread() != self->thread())
        return;
    emit self->advancedProgressPartChanged(std::clamp(fraction, 0.0, 1.0), detail, int(self->m_progress.size()));
}

int ksFileIO::getAdvancedProgressDepth()
{
    return int(instance()->m_progress.size());
}

bool ksFileIO::saveProject(const QString& path)
{
    if (ksFileIOService* service = fileService())
        emit service->projectSave(path);
    // Listeners pause background work on projectSave; they resume on
    // projectSaved, which therefore ends every save, a failed one too.
    const auto finish = [&path](bool ok) {
        if (ksFileIOService* service = fileService())
            emit service->projectSaved(path);
        return ok;
    };

    // The smart files and the project replace their old versions together,
    // or not at all; within a larger save, together with its other files.
    FileTransaction transaction;
    const NodePtr root = ksScenegraph::getRoot();
    addAdvancedProgress(tr("Saving project"), 2);
    struct ProgressEnd {
        ~ProgressEnd() { removeAdvancedProgress(); }
    } progressEnd;
    ksReferenceInterface* references = ksInterfaceFactory::the().get<ksReferenceInterface>();
    ksSceneData* scene = ksSceneDataManager::getSceneData(0);
    const QString previousFile = scene->getCurrentFile();
    if (references) {
        // Smart files store paths relative to the project they belong to,
        // so the new project file is current while they are written.
        scene->setCurrentFile(path);
        if (!references->saveSmartReferences(root, path.toUtf8().constData())) {
            scene->setCurrentFile(previousFile);
            ksLog::error("Unable to save project %s: its smart references could not be saved.",
                         path.toUtf8().constData());
            return finish(false);
        }
    }

    increaseAdvancedProgress();

    QString increment;
    const bool incremented = isIncrementalSaveEnabled() && incrementalSave(path, increment);
    // The project holds only its own content: what its smart references
    // show lives in their files.
    if (references)
        references->detachSubReferences(root);
    const ksFileResult saved = ksZmbWriter(root, instance()->m_projectStash, makeMetadata(root)).save(path);
    if (references)
        references->attachSubReferences(root);
    increaseAdvancedProgress();
    if (!saved) {
        scene->setCurrentFile(previousFile);
        ksLog::error("Unable to save project %s: %s", path.toUtf8().constData(), saved.message.toUtf8().constData());
        if (incremented)
            renameLastIncrementToOriginal(path, increment);
        return finish(false);
    }
    std::string reason;
    if (!transaction.commit(reason)) {
        scene->setCurrentFile(previousFile);
        ksLog::error("Unable to save project %s: %s", path.toUtf8().constData(), reason.c_str());
        return finish(false);
    }
    setFilename(path);
    scene->setCurrentFile(path);
    return finish(true);
}

ksFileResult ksFileIO::loadProject(const QString& path)
{
    ksFileIOService* service = fileService();
    if (service)
        emit service->projectLoad(path);
    ksFastGeometryLoader loader;
    loader.setStashLoadedData(true);
    loader.setMergeMaterials(false);
    loader.setShowProgress(true);
    // The pool is emptied with the old scene; the loaded materials join the
    // new one.
    loader.setMaterialPoolHandling(ksFastGeometryLoader::KeepOutOfPool);
    ksGeometryLoadResult loaded = loader.load(path);
    if (!loaded) {
        if ((service = fileService()))
            emit service->projectLoadFinished(path, false);
        return ksFileResult::failure(QString::fromStdString(loaded.message));
    }
    ksScenegraph::replaceScene(loaded.root.get());
    ksMaterials::addTreeMaterialsToPool(ksScenegraph::getRoot());
    instance()->m_projectStash = std::move(loaded.stash);
    setFilename(path);
    ksSceneDataManager::getSceneData(0)->setCurrentFile(path);
    // The project holds its smart references without their content: each
    // loads from its own file, its paths resolved against this project.
    if (ksReferenceInterface* references = ksInterfaceFactory::the().get<ksReferenceInterface>()) {
        // The default load mode loads every smart reference that was not
        // saved unloaded; this host gives other modes no meaning beyond
        // leaving smart references for the user to load.
        ksReferenceImportOptions options;
        options.loadSmartReferences = references->getLoadMode() == ksReferenceTypes::DefaultLoadMode;
        options.skipNotLoaded = true;
        options.fileName = path.toUtf8().toStdString();
        // One step per outermost reference; each takes the ones nested in it.
        const std::vector<NodePtr> outermost =
            references->findExtReferences(ksScenegraph::getRoot(), ksReferenceFindFlags::FindFirstOnly);
        addAdvancedProgress(tr("Loading references"), int(outermost.size()));
        for (const NodePtr& node : outermost) {
            references->importReferences(node, options);
            increaseAdvancedProgress();
        }
        removeAdvancedProgress();
    }
    if ((service = fileService())) {
        emit service->projectLoaded(path);
        emit service->projectLoadFinished(path, true);
    }
    return ksFileResult::success();
}

void ksFileIO::newScene()
{
    ksScenegraph::newScene();
    instance()->m_projectStash.clear();
    setFilename(QString());
    ksSceneDataManager::getSceneData(0)->setCurrentFile(QString());
    if (ksFileIOService* service = fileService())
        emit service->newScene();
}

const ksSmartReferenceStash& ksFileIO::getProjectStash()
{
    return instance()->m_projectStash;
}

void ksFileIO::setProjectStash(const ksSmartReferenceStash& stash)
{
    instance()->m_projectStash = stash;
}
