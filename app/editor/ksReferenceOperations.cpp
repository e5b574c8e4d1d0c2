// Licensed under the MIT licence; see LICENSE.
#include "ksReferenceOperations.h"

#include "ksReferenceResolver.h"

#include "handles/ksTypeConverter.h"
#include "import/ksSceneImporter.h"
#include "kernel/ksInterfaceFactory.h"
#include "kernel/ksKernelServiceFactory.h"
#include "nodeutils/ksNodeUtils.h"
#include "references/ksReferenceInterface.h"
#include "references/ksReferenceService.h"
#include "references/ksReferenceUpdateFlags.h"
#include "scene/ksFileIO.h"
#include "scene/ksScenegraph.h"
#include "scenegraph/Node.h"

#include <QDir>
#include <QFileInfo>

using namespace osg;

namespace {

ksReferenceService* service()
{
    auto& factory = ksKernelServiceFactory::the();
    return factory.has<ksReferenceService>() ? factory.get<ksReferenceService>() : nullptr;
}

ksReferenceInterface* references()
{
    return ksInterfaceFactory::the().get<ksReferenceInterface>();
}

NodePtr nodeOf(const ksdNode& handle)
{
    return ksTypeConverter::convertNode(handle);
}

// Operations that change the scene without an undo step of their own (whose
// callback would say so) tell the host the scene changed, as the module's
// undo steps do, so that views read it again.
void sceneChanged()
{
    ksScenegraph::update(false);
}

} // namespace

void ksReferenceOperations::load(const QList<ksdReferenceNode>& nodes)
{
    for (ksdReferenceNode node : nodes)
        node.load();
    sceneChanged();
}

void ksReferenceOperations::unload(const QList<ksdReferenceNode>& nodes)
{
    for (ksdReferenceNode node : nodes)
        node.unload();
    sceneChanged();
}

void ksReferenceOperations::reload(const QList<ksdReferenceNode>& nodes)
{
    ksReferenceService* api = service();
    if (!api)
        return;
    QList<ksdReferenceNode> smart, source;
    for (const ksdReferenceNode& node : nodes)
        (node.hasSmartReference() && !node.getSmartPath().isEmpty() ? smart : source) << node;
    api->reloadSmartReferences(smart);
    if (!source.isEmpty())
        api->loadSourceReferences(source);
    sceneChanged();
}

int ksReferenceOperations::update(const QList<ksdReferenceNode>& nodes)
{
    QList<ksdReferenceNode> outdated;
    for (const ksdReferenceNode& node : nodes)
        if (node.getSmartFileState() == ksReferenceTypes::Outdated ||
            node.getSourceFileState() == ksReferenceTypes::Outdated)
            outdated << node;
    reload(outdated);
    if (ksReferenceInterface* interface = references()) {
        for (const ksdReferenceNode& node : outdated)
            interface->updateReferences(nodeOf(node),
                                        ksReferenceUpdateFlags::UpdateSmartFileInfo |
                                            ksReferenceUpdateFlags::UpdateSourceFileInfo |
                                            ksReferenceUpdateFlags::UpdateFileStates,
                                        true);
    }
    sceneChanged();
    return outdated.size();
}

bool ksReferenceOperations::relink(const ksdReferenceNode& constNode, const QString& path)
{
    ksdReferenceNode node = constNode;
    ksReferenceInterface* interface = references();
    if (node.isNull() || node.isLocked() || !interface || !QFileInfo(path).isFile())
        return false;
    const QString absolute = QFileInfo(path).absoluteFilePath();
    if (ksFileIO::isNativeSceneFile(absolute)) {
        if (!node.hasSmartReference())
            node.createSmartReference(false);
        node.unload();
        node.setSmartPath(absolute);
        interface->updateReferences(nodeOf(node),
                                    ksReferenceUpdateFlags::UpdateSmartFileInfo | ksReferenceUpdateFlags::UpdateFileStates,
                                    true);
        node.loadSmartReference();
    } else {
        if (!node.hasSourceReference())
            node.createSourceReference();
        node.setSourcePath(absolute);
        interface->updateReferences(nodeOf(node),
                                    ksReferenceUpdateFlags::UpdateSourceFileInfo | ksReferenceUpdateFlags::UpdateFileStates,
                                    true);
        if (service())
            service()->loadSourceReferences({node});
    }
    sceneChanged();
    return true;
}

QString ksReferenceOperations::newestRevisionPath(const ksdReferenceNode& node)
{
    ksReferenceService* api = service();
    if (!api)
        return QString();
    const bool source = !node.getSourcePath().isEmpty();
    const QStringList revisions = source ? node.getSourceRevisions() : node.getSmartRevisions();
    if (revisions.isEmpty())
        return QString();
    const QString newest = api->sortRevisions(revisions).last();
    const QString current = source ? node.getSourceRevision() : node.getSmartRevision();
    if (newest == current)
        return QString();
    return source ? node.getSourceRevisionPath(newest) : node.getSmartRevisionPath(newest);
}

bool ksReferenceOperations::switchToNewestRevision(const ksdReferenceNode& node)
{
    const QString path = newestRevisionPath(node);
    return !path.isEmpty() && relink(node, path);
}

ksdReferenceNode ksReferenceOperations::createSmartReference(const ksdNode& parent)
{
    ksReferenceService* api = service();
    return api ? api->createSmartReference(parent) : ksdReferenceNode();
}

void ksReferenceOperations::convertToSmart(const QList<ksdReferenceNode>& nodes)
{
    if (ksReferenceService* api = service())
        for (const ksdReferenceNode& node : nodes)
            if (!node.hasSmartReference())
                api->convertToSmart(node, false);
}

void ksReferenceOperations::remove(const QList<ksdReferenceNode>& nodes)
{
    if (ksReferenceService* api = service())
        for (const ksdReferenceNode& node : nodes)
            api->removeReference(node);
    sceneChanged();
}

bool ksReferenceOperations::saveSmartReferences(const QString& projectPath)
{
    ksReferenceInterface* interface = references();
    // A save gives new smart references their paths.
    const bool saved = interface && interface->saveSmartReferences(ksScenegraph::getRoot(), projectPath.toUtf8().constData());
    sceneChanged();
    return saved;
}

bool ksReferenceOperations::saveProject(const QString& projectPath)
{
    const bool saved = !projectPath.isEmpty() && ksFileIO::saveProject(projectPath);
    sceneChanged();
    return saved;
}

QStringList ksReferenceOperations::resolve(const QStringList& directories, const QString& projectPath)
{
    QStringList found;
    ksReferenceInterface* interface = references();
    if (!interface)
        return found;
    // Smart files are looked up by name here; the module's own search
    // directories are read once at start, before the user could pick one.
    QStringList places = directories;
    if (!projectPath.isEmpty())
        places.prepend(QFileInfo(projectPath).absolutePath());
    for (const NodePtr& node : interface->findExtReferences(ksScenegraph::getRoot(), 0)) {
        const ksdReferenceNode handle(ksTypeConverter::convertNode(node));
        const QString old = handle.getSmartPath();
        if (old.isEmpty() || handle.getSmartFileState() != ksReferenceTypes::Missing)
            continue;
        for (const QString& place : places) {
            const QString candidate = QDir(place).absoluteFilePath(QFileInfo(old).fileName());
            if (QFileInfo(candidate).isFile() && relink(handle, candidate)) {
                found << QStringLiteral("%1: %2 -> %3")
                             .arg(QString::fromStdString(ksNodeUtils::getName(node)), old, candidate);
                break;
            }
        }
    }
    found << ksReferenceResolver(directories).resolveSources(projectPath).found;
    sceneChanged();
    return found;
}

QStringList ksReferenceOperations::importFiles(const QStringList& paths, quint32 parentId)
{
    QStringList errors;
    const NodePtr parent = parentId ? nodeOf(ksTypeConverter::convertNode(parentId)) : NodePtr();
    ksSceneImporter::importFiles(paths, parent, &errors);
    return errors;
}
