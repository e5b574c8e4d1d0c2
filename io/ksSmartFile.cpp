// Licensed under the MIT licence; see LICENSE.
#include "io/ksSmartFile.h"

#include "import/ksQorHelper.h"
#include "import/ksQorTreeOptimizationJob.h"
#include "kernel/ksController.h"
#include "kernel/ksMessage.h"
#include "model/ksReferenceNode.h"
#include "model/ksReferencePool.h"
#include "nodeutils/ksDefaultEnvironment.h"
#include "nodeutils/ksMaterials.h"
#include "nodeutils/ksNodeUtils.h"
#include "references/ksReferenceInterface.h"
#include "references/ksReferenceTypes.h"
#include "scene/ksFastGeometryLoader.h"
#include "scene/ksFileIO.h"
#include "scene/ksScenegraph.h"
#include "scenegraph/CPEditor.h"
#include "scenegraph/SceneFileHandler.h"
#include "scenegraph/SceneGraph.h"
#include "utils/ksLog.h"

#include <QDir>
#include <QFileInfo>
#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <iterator>
#include <unordered_set>
#include <vector>

using namespace osg;

namespace {

// The smart files whose loads brought materials in this turn of the event
// loop, answered together by one timer: a timer of their own each would
// make a project load of 100,000 smart references quadratic (Qt looks for a
// stopped timer in a list of all of them).
std::unordered_set<ksSmartFile*>& pendingMaterialUpdates()
{
    static std::unordered_set<ksSmartFile*> files;
    return files;
}

} // namespace

ksSmartFile::ksSmartFile(const ExtReferencePtr& core)
    : m_core(core)
{
}

ksSmartFile::~ksSmartFile()
{
    if (m_materialUpdatePending)
        pendingMaterialUpdates().erase(this);
}

ExtReferencePtr ksSmartFile::liveCore() const
{
    if (!m_core)
        return NullFC;
    return ExtReferencePtr::dcast(FieldContainerFactory::the()->getContainer(m_core.getFieldContainerId()));
}

NodePtr ksSmartFile::getNode() const
{
    const ExtReferencePtr core = liveCore();
    if (!core || core->getNParents() == 0)
        return NullFC;
    return core->getParents().front();
}

QString ksSmartFile::getPath() const
{
    const ExtReferencePtr core = liveCore();
    if (!core || !core->getSmartFile())
        return QString();
    return QString::fromUtf8(core->getSmartFile()->getPath().c_str());
}

ksSmartFile::FileType ksSmartFile::fileTypeOf(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("osb"))
        return FileType::Osb;
    if (suffix == QLatin1String("zmb"))
        return FileType::Zmb;
    return FileType::Other;
}

ksFileResult ksSmartFile::load()
{
    if (m_loaded)
        return ksFileResult::success();
    const QString path = getPath();
    const auto failure = [&path](const std::string& reason) {
        return ksFileResult::failure(QStringLiteral("Unable to load %1: %2").arg(path, QString::fromStdString(reason)));
    };
    const NodePtr node = getNode();
    if (!node)
        return failure("the reference hangs nowhere");

    const ksMaterials::MaterialSet before = ksMaterials::getMaterialPoolMaterials();
    const std::string utf8Path = path.toUtf8().toStdString();
    ksGeometryLoadResult loaded;
    switch (fileTypeOf(path)) {
    case FileType::Osb:
        loaded = loadOsb(utf8Path);
        break;
    case FileType::Zmb:
        loaded = loadZmb(utf8Path);
        break;
    case FileType::Other:
        loaded.message = "unsupported file type";
        break;
    }
    if (!loaded)
        return failure(loaded.message);
    attachLoadedTree(std::move(loaded.root));

    ksNodeUtils::syncAllCloneTrees(node, false);
    ksNodeUtils::syncAllSynchronizedTrees(node);
    ksReferenceNode reference(node);
    reference.setState(ksReferenceTypes::Loaded);
    reference.updateFileInfos();

    const ksMaterials::MaterialSet after = ksMaterials::getMaterialPoolMaterials();
    std::vector<MaterialPtr> added;
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::back_inserter(added));
    m_newMaterials.insert(added.begin(), added.end());
    if (!m_materialUpdatePending) {
        m_materialUpdatePending = true;
        std::unordered_set<ksSmartFile*>& pending = pendingMaterialUpdates();
        if (pending.empty())
            QTimer::singleShot(0, QCoreApplication::instance(), &ksSmartFile::updatePendingMaterials);
        pending.insert(this);
    }
    m_loaded = true;
    return ksFileResult::success();
}

void ksSmartFile::configureLoader(ksFastGeometryLoader& loader)
{
    loader.setShowProgress(false);
    loader.setShowImportOptions(false);
    loader.setAddFileInfo(false);
    loader.setMergeMaterials(true);
    loader.setMaterialPoolHandling(ksFastGeometryLoader::AddToPool);
    // The environments are published once per batch by the material update.
    loader.setIgnoreEnvironmentUpdates(true);
}

ksGeometryLoadResult ksSmartFile::loadOsb(const std::string& path)
{
    ksFastGeometryLoader loader;
    configureLoader(loader);
    ksGeometryLoadResult loaded = loader.load(path);
    const NodePtr root = loaded.root.get();
    if (!root)
        return loaded;
    if (ksQorHelper::isConvertedQorTree(root)) {
        ksQorTreeOptimizationJob job(path, root, ksScenegraph::getRoot());
        job.run();
    }
    if (ksReferenceInterface* references = ksReferenceNode::getReferenceInterface())
        references->replaceFileInfosWithReferences(root);
    ksNodeUtils::subFromParent(root);
    return loaded;
}

ksGeometryLoadResult ksSmartFile::loadZmb(const std::string& path)
{
    ksFastGeometryLoader loader;
    configureLoader(loader);
    loader.setStashLoadedData(true);
    ksGeometryLoadResult loaded = loader.load(path);
    const NodePtr root = loaded.root.get();
    if (!root)
        return loaded;
    if (ksReferenceInterface* references = ksReferenceNode::getReferenceInterface())
        references->replaceFileInfosWithReferences(root);
    ksNodeUtils::subFromParent(root);
    m_stash = std::move(loaded.stash);
    return loaded;
}

void ksSmartFile::attachLoadedTree(NodeRefPtr root)
{
    const NodePtr node = getNode();
    const ExtReferencePtr loadedCore = ExtReferencePtr::dcast(root->getCore());
    const bool rootIsReference = bool(loadedCore);
    const bool rootIsNamedRoot = ksNodeUtils::getName(root.get()) == "Root";

    {
        CPEditor edit(node, Node::ChildrenFieldMask);
        if (!rootIsReference && !rootIsNamedRoot) {
            node->addChild(root);
        } else {
            for (NodeRefPtr& child : root->takeChildren())
                node->addChild(std::move(child));
        }
    }
    if (!rootIsReference)
        return;

    // The loaded core goes before the record is handed over: its removal
    // from the pool must not undo the pool's note of the record's new owner.
    const FileReferenceRefPtr loadedSource(loadedCore->getSourceFile());
    root.reset();

    const FileReferencePtr ownSource = m_core->getSourceFile();
    if (loadedSource && ownSource) {
        {
            CPEditor edit(ownSource, FieldBits::AllFields);
            ownSource->setPath(loadedSource->getPath());
            ownSource->setRelativePath(loadedSource->getRelativePath());
            ownSource->setLastModified(loadedSource->getLastModified());
            ownSource->setChecksum(loadedSource->getChecksum());
            ownSource->setOwner(loadedSource->getOwner());
        }
    } else {
        CPEditor edit(m_core, ExtReference::SourceFileFieldMask);
        m_core->setSourceFile(loadedSource);
    }
    ksReferenceNode(node).updateSourceFileState();
}

void ksSmartFile::updatePendingMaterials()
{
    std::unordered_set<ksSmartFile*> files;
    files.swap(pendingMaterialUpdates());
    std::set<MaterialRefPtr> added;
    for (ksSmartFile* file : files) {
        file->m_materialUpdatePending = false;
        added.insert(file->m_newMaterials.begin(), file->m_newMaterials.end());
        file->m_newMaterials.clear();
    }
    for (const MaterialRefPtr& material : added) {
        if (UEnvironmentMaterialPtr::dcast(material)) {
            // An empty edit of every field: the host re-evaluates the
            // environment as if it had changed.
            { CPEditor edit(material.get(), FieldBits::AllFields); }
        }
    }
    if (!added.empty()) {
        ksMessage message;
        ksController::call("updateMaterials", message, nullptr);
    }
    // Let go first: materials an unload dropped from the scene leave the pool.
    added.clear();
    ksNodeUtils::validatePools();
}

bool ksSmartFile::unload()
{
    if (!m_loaded)
        return false;
    m_stash.clear();
    const NodePtr node = getNode();
    if (node) {
        {
            CPEditor edit(node, Node::ChildrenFieldMask);
            while (node->getNChildren() > 0) {
                if (!ksScenegraph::deleteNode(node->getChild(0), true))
                    break;
            }
        }
        ksNodeUtils::syncAllCloneTrees(node, false);
        ksNodeUtils::syncAllSynchronizedTrees(node);
        ksReferenceNode(node).setState(ksReferenceTypes::NotLoaded);
    }
    m_loaded = false;
    return true;
}

ksFileResult ksSmartFile::save()
{
    const ksFileResult saved = saveAs(getPath());
    if (!saved)
        return saved;
    ksReferenceNode reference(getNode());
    reference.setState(ksReferenceTypes::Loaded);
    reference.updateSmartFileInfo();
    resetChildChanged();
    m_loaded = true;
    return saved;
}

void ksSmartFile::resetChildChanged()
{
    const NodePtr node = getNode();
    if (!node)
        return;
    traverse(node, [&](const NodePtr& visited) {
        if (visited == node)
            return Action::Continue;
        const ExtReferencePtr core = ExtReferencePtr::dcast(visited->getCore());
        if (!core)
            return Action::Continue;
        // Saved in a file of its own: it keeps its mark until that save.
        if (core->getSmartFile())
            return Action::Skip;
        // Its content is part of this file, which was just written.
        ksReferencePool::instance().resetChanged(core);
        return Action::Continue;
    });
}

ksFileResult ksSmartFile::saveAs(const QString& path)
{
    const auto logged = [](const QString& message) {
        ksLog::error("%s", message.toUtf8().constData());
        return ksFileResult::failure(message);
    };
    if (path.isEmpty())
        return logged(QStringLiteral("Save: Can't write file. Path is empty."));
    const QString directory = QFileInfo(path).absolutePath();
    if (!QDir(directory).exists() && !QDir().mkpath(directory))
        return logged(QStringLiteral("Save: Can't write file %1. Unable to create path.").arg(path));
    switch (fileTypeOf(path)) {
    case FileType::Osb:
        return writeOsb(path);
    case FileType::Zmb:
        return writeZmb(path);
    case FileType::Other:
        break;
    }
    return ksFileResult::failure(QStringLiteral("Unable to save %1: unsupported file type").arg(path));
}

ksFileResult ksSmartFile::writeOsb(const QString& path)
{
    const NodePtr node = getNode();
    if (!node)
        return ksFileResult::failure(QStringLiteral("Unable to save %1: the reference hangs nowhere").arg(path));

    // Nested smart references are saved in files of their own: their
    // content stays out of this one, as the host's ".zmb" writes keep it out.
    const ksReferenceNode::DetachedList detachedContent = ksReferenceNode::detachSubReferences(node);

    // The default environment belongs to the host, not to the file: the
    // materials that use it are written without it and get it back after.
    const UEnvironmentMaterialPtr defaultEnvironment = ksDefaultEnvironment::getDefault();
    ksMaterials::MaterialSet materials;
    ksMaterials::getMaterialsAndOverrideMaterials(node, materials, true);
    std::vector<UBRDFMaterialPtr> detached;
    for (const MaterialPtr& material : materials) {
        const UBRDFMaterialPtr brdf = UBRDFMaterialPtr::dcast(material);
        if (!brdf || brdf->getEnvironment() != defaultEnvironment)
            continue;
        // Otherwise the scene graph would put the default straight back.
        UBRDFMaterial::setIgnoreDefaultEnvironment(true);
        {
            CPEditor edit(brdf, UBRDFMaterial::EnvironmentFieldMask);
            brdf->setEnvironment(NullFC);
        }
        UBRDFMaterial::setIgnoreDefaultEnvironment(false);
        detached.push_back(brdf);
    }

    const bool ok = SceneFileHandler::the().write(node, path.toUtf8().toStdString(), false);
    const ksFileResult written = ok ? ksFileResult::success()
                                    : ksFileResult::failure(QStringLiteral("Unable to save %1: %2").arg(
                                          path, QString::fromStdString(SceneFileHandler::the().getLastError())));

    for (const UBRDFMaterialPtr& brdf : detached) {
        CPEditor edit(brdf, UBRDFMaterial::EnvironmentFieldMask);
        brdf->setEnvironment(MaterialRefPtr(ksDefaultEnvironment::getDefault()));
    }
    ksReferenceNode::attachSubReferences(detachedContent);
    return written;
}

ksFileResult ksSmartFile::writeZmb(const QString& path)
{
    const NodePtr node = getNode();
    if (!node)
        return ksFileResult::failure(QStringLiteral("Unable to save %1: the reference hangs nowhere").arg(path));
    QString incrementPath;
    const bool incremented = ksFileIO::isIncrementalSaveEnabled() && ksFileIO::incrementalSave(path, incrementPath);
    const ksFileResult saved = ksFileIO::saveSmartReference(node, path.toUtf8().toStdString(), m_stash);
    // The failed write left the file alone; the increment must not stay
    // behind as a second copy of it.
    if (incremented && !saved)
        ksFileIO::renameLastIncrementToOriginal(path, incrementPath);
    if (!saved)
        return ksFileResult::failure(QStringLiteral("Unable to save %1: %2").arg(path, saved.message));
    return saved;
}
