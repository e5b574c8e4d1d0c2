// Licensed under the MIT licence; see LICENSE.
#include "import/ksSceneImporter.h"

#include "fileio/ksFileIOService.h"
#include "handles/ksTypeConverter.h"
#include "import/ksMeshImporter.h"
#include "kernel/ksController.h"
#include "kernel/ksInterfaceFactory.h"
#include "kernel/ksKernelServiceFactory.h"
#include "kernel/ksMessage.h"
#include "nodeutils/ksNodeUtils.h"
#include "references/ksReferenceInterface.h"
#include "scene/ksFileIO.h"
#include "scene/ksScenegraph.h"
#include "scenegraph/SceneGraph.h"
#include "utils/ksFile.h"
#include "utils/ksLog.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPointer>

#include <atomic>

using namespace osg;

namespace {

// Ends the progress level also when a step throws.
struct ProgressLevel
{
    ProgressLevel(const QString& title, int steps) { ksFileIO::addAdvancedProgress(title, steps); }
    ~ProgressLevel() { ksFileIO::removeAdvancedProgress(); }
    ProgressLevel(const ProgressLevel&) = delete;
    ProgressLevel& operator=(const ProgressLevel&) = delete;
};

quint64 nextImportId()
{
    static std::atomic<quint64> last{0};
    return ++last;
}

// The file-IO service when the host runs one; the plain lookup would
// complain on every call in a host without it.
ksFileIOService* fileIOService()
{
    ksKernelServiceFactory& factory = ksKernelServiceFactory::the();
    return factory.has<ksFileIOService>() ? factory.get<ksFileIOService>() : nullptr;
}

// Reads one file, moving the current progress step on as Assimp reads it:
// at most every 50 ms, so a small file costs no progress signals.
NodeRefPtr readShowingProgress(const QString& path, QString* error)
{
    const QString name = QFileInfo(path).fileName();
    QElapsedTimer sinceReport;
    sinceReport.start();
    return ksMeshImporter::read(path, error, [&](double fraction) {
        if (sinceReport.elapsed() < 50)
            return;
        sinceReport.restart();
        ksFileIO::setAdvancedProgressPart(fraction, QStringLiteral("%1 %2%").arg(name).arg(int(fraction * 100)));
    });
}

void report(QStringList* errors, const QString& line)
{
    ksLog::warning("%s", line.toUtf8().constData());
    if (errors)
        errors->append(line);
}

} // namespace

std::vector<NodeRefPtr> ksSceneImporter::importFiles(const QStringList& paths, const NodePtr& parent,
                                                     QStringList* errors)
{
    std::vector<NodeRefPtr> added;
    const NodePtr target = parent ? parent : ksScenegraph::getRoot();
    ksFileIOService* service = fileIOService();
    const quint64 importId = nextImportId();
    QElapsedTimer clock;
    clock.start();
    if (service)
        emit service->startingImport(importId, unsigned(paths.size()));
    {
        ProgressLevel progress(QCoreApplication::translate("ksSceneImporter", "Importing files ..."),
                               int(paths.size()));
        for (const QString& path : paths) {
            QString error;
            NodeRefPtr root = readShowingProgress(path, &error);
            if (!root) {
                report(errors, error);
                ksFileIO::increaseAdvancedProgress(1);
                continue;
            }
            ksReferenceInterface* references = ksInterfaceFactory::the().get<ksReferenceInterface>();
            NodeRefPtr node;
            if (references && ksFileIO::getImportCreateReferences()) {
                node = references->createImportedSourceReference(path.toUtf8().toStdString(), root.get());
            }
            if (!node) {
                node = root;
                ksNodeUtils::setName(node.get(), ksFile::getBaseName(path.toUtf8().toStdString()), false);
            }
            if (target) {
                beginEditCP(target, Node::ChildrenFieldMask);
                target->addChild(node);
                endEditCP(target, Node::ChildrenFieldMask);
            }
            added.push_back(node);
            ksFileIO::increaseAdvancedProgress(1);
        }
    }
    ksScenegraph::update(false);
    if (service)
        emit service->importFinished(importId, double(clock.nsecsElapsed()) / 1e9);
    return added;
}

NodeRefPtr ksSceneImporter::loadFile(const QString& path, QString* error)
{
    return ksMeshImporter::read(path, error);
}

quint64 ksSceneImporter::countVertices(const NodePtr& node)
{
    if (!node)
        return 0;
    quint64 count = 0;
    std::vector<NodePtr> pending{node};
    while (!pending.empty()) {
        const NodePtr current = pending.back();
        pending.pop_back();
        if (const GeometryPtr geometry = GeometryPtr::dcast(current->getCore()))
            count += geometry->getPositions().size();
        for (UInt32 i = 0; i < current->getNChildren(); ++i)
            pending.push_back(current->getChild(i));
    }
    return count;
}

QString ksSceneImporter::sourcePathOf(const NodePtr& node)
{
    if (!node)
        return QString();
    if (const ExtReferencePtr core = ExtReferencePtr::dcast(node->getCore())) {
        if (const FileReferencePtr source = core->getSourceFile()) {
            if (!source->getPath().empty())
                return QString::fromStdString(source->getPath());
        }
    }
    return QString::fromStdString(ksNodeUtils::getFileInfo(node));
}

std::vector<NodePtr> ksSceneImporter::reloadNodes(const std::vector<NodePtr>& nodes, QStringList* errors)
{
    std::vector<NodePtr> reloaded;
    if (nodes.empty())
        return reloaded;
    ProgressLevel progress(QCoreApplication::translate("ksSceneImporter", "Reloading files ..."), int(nodes.size()));
    for (const NodePtr& node : nodes) {
        if (!node) {
            ksFileIO::increaseAdvancedProgress(1);
            continue;
        }
        const QString path = sourcePathOf(node);
        QString error;
        const NodeRefPtr root = path.isEmpty() ? NodeRefPtr() : readShowingProgress(path, &error);
        if (!root) {
            if (path.isEmpty()) {
                const std::string name = ksNodeUtils::getName(node);
                error = QStringLiteral("%1: no source file to reload")
                            .arg(name.empty() ? QStringLiteral("node %1").arg(node.getFieldContainerId())
                                              : QString::fromStdString(name));
            }
            report(errors, error);
            ksFileIO::increaseAdvancedProgress(1);
            continue;
        }
        // The old content goes and the new moves in within one edit, so that
        // observers see a single change of the node's children.
        beginEditCP(node, Node::ChildrenFieldMask);
        while (node->getNChildren() > 0)
            node->subChild(node->getNChildren() - 1);
        for (NodeRefPtr& child : root->takeChildren())
            node->addChild(std::move(child));
        endEditCP(node, Node::ChildrenFieldMask);
        reloaded.push_back(node);
        ksFileIO::increaseAdvancedProgress(1);
    }
    ksScenegraph::update(false);
    return reloaded;
}

ksSubscription ksSceneImporter::installHandlers()
{
    ksSubscription request = ksController::addHandler(
        "reloadNodesFromFile", [](ksMessage& message, ksModuleBase*) {
            std::vector<NodePtr> nodes;
            if (!message.get("nodes", nodes))
                return;
            message.set("reloadedNodes", reloadNodes(nodes), true);
        });

    QPointer<ksFileIOService> service = fileIOService();
    if (service) {
        service->setReimportHandler([](const QList<ksdNode>& handles) {
            std::vector<NodePtr> nodes;
            for (const ksdNode& handle : handles)
                nodes.push_back(ksTypeConverter::convertNode(handle));
            QList<ksdNode> result;
            for (const NodePtr& node : reloadNodes(nodes))
                result.append(ksTypeConverter::convertNode(node));
            return result;
        });
    }
    // Shared, so that the move-only subscription can sit in the copyable
    // revoke function.
    auto held = std::make_shared<ksSubscription>(std::move(request));
    return ksSubscription([held, service] {
        held->reset();
        if (service)
            service->setReimportHandler({});
    });
}
