// Licensed under the MIT licence; see LICENSE.
#include "service/ksdReferenceNodeImpl.h"

#include "handles/ksTypeConverter.h"
#include "handles/ksdObjectManager.h"
#include "io/ksReferenceExporter.h"
#include "kernel/ksController.h"
#include "kernel/ksMessage.h"
#include "model/ksReferenceNode.h"
#include "model/ksReferencePool.h"
#include "model/ksReferenceSettings.h"
#include "nodeutils/ksNodeUtils.h"
#include "references/ksReferenceImportOptions.h"
#include "references/ksReferenceInterface.h"
#include "scene/ksFileIO.h"
#include "scene/ksScenegraph.h"
#include "scenegraph/CPEditor.h"
#include "scenegraph/ExtReference.h"
#include "scenegraph/FileReference.h"
#include "scenegraph/Node.h"
#include "scenegraph/UberCamera.h"
#include "utils/ksLog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <boost/any.hpp>
#include <vector>

using namespace osg;

namespace {

QDateTime dateOf(UInt64 seconds)
{
    return seconds == 0 ? QDateTime() : QDateTime::fromSecsSinceEpoch(qint64(seconds));
}

QString nativePath(const FileReferencePtr& record)
{
    return record ? QDir::toNativeSeparators(QString::fromUtf8(record->getPath().c_str())) : QString();
}

ksReferenceTypes::FileState stateOf(const FileReferencePtr& record)
{
    return record ? ksReferenceTypes::FileState(record->getState()) : ksReferenceTypes::NoReference;
}

} // namespace

// The prototype starts bound to no node (object id 0).
ksdReferenceNodeImpl::ksdReferenceNodeImpl() = default;

ksdReferenceNodeImpl::~ksdReferenceNodeImpl() = default;

ksdReferenceNode ksdReferenceNodeImpl::makeHandle(const NodePtr& node)
{
    if (!node || !node->getCore())
        return ksdReferenceNode();
    // Cameras never get reference handles, whatever is registered for them.
    if (UberCameraPtr::dcast(node->getCore()))
        return ksdReferenceNode();
    return ksdObjectManager::instance().createFromExternal<ksdReferenceNode>(node.getFieldContainerId(),
                                                                           node->getCore()->getType().getId());
}

NodePtr ksdReferenceNodeImpl::node() const
{
    return ksTypeConverter::convertNode(*this);
}

ExtReferencePtr ksdReferenceNodeImpl::core() const
{
    const NodePtr n = node();
    return n ? ExtReferencePtr::dcast(n->getCore()) : ExtReferencePtr();
}

FileReferencePtr ksdReferenceNodeImpl::sourceRecord() const
{
    const ExtReferencePtr c = core();
    return c ? c->getSourceFile() : FileReferencePtr();
}

FileReferencePtr ksdReferenceNodeImpl::smartRecord() const
{
    const ExtReferencePtr c = core();
    return c ? c->getSmartFile() : FileReferencePtr();
}

bool ksdReferenceNodeImpl::hasSourceReference() const
{
    return bool(sourceRecord());
}

bool ksdReferenceNodeImpl::hasSmartReference() const
{
    return bool(smartRecord());
}

bool ksdReferenceNodeImpl::isLoaded() const
{
    const ExtReferencePtr c = core();
    return c && c->getState() == ksReferenceTypes::Loaded;
}

bool ksdReferenceNodeImpl::isChanged() const
{
    const ExtReferencePtr c = core();
    return c && ksReferencePool::instance().isChanged(c);
}

bool ksdReferenceNodeImpl::isSubReferenceChanged() const
{
    const ExtReferencePtr c = core();
    return c && ksReferencePool::instance().isSubReferenceChanged(c);
}

bool ksdReferenceNodeImpl::isSelfOrSubReferenceChanged() const
{
    const ExtReferencePtr c = core();
    return c && ksReferencePool::instance().isSelfOrSubReferenceChanged(c);
}

bool ksdReferenceNodeImpl::isRootNode() const
{
    return ksReferenceNode(node()).isRootNode();
}

void ksdReferenceNodeImpl::createSmartReference(bool nextToSource)
{
    ksReferenceNode ref(node());
    if (ref.isRootNode() || isLocked())
        return;
    const FileReferencePtr source = ref.getSourceFile(false);
    QString smartPath;
    if (nextToSource && source && !source->getPath().empty())
        smartPath = createSmartPath(ksReferenceTypes::NextToSource, QString());
    ref.getOrCreateSmartFile(smartPath);
}

void ksdReferenceNodeImpl::createSourceReference()
{
    if (isLocked())
        return;
    ksReferenceNode(node()).getSourceFile(true);
}

void ksdReferenceNodeImpl::removeSmartReference()
{
    if (isLocked())
        return;
    ksReferenceNode(node()).removeSmartReference();
}

void ksdReferenceNodeImpl::removeSourceReference()
{
    if (isLocked())
        return;
    ksReferenceNode(node()).removeSourceReference();
}

void ksdReferenceNodeImpl::unload()
{
    if (isLocked())
        return;
    ksReferenceNode ref(node());
    if (ref.isRootNode())
        return;
    ref.unload();
}

void ksdReferenceNodeImpl::load()
{
    const ksReferenceNode ref(node());
    if (!ref.isValid())
        return;
    if (!ref.getSmartPath().empty())
        loadSmartReference();
    else
        loadSourceReference();
}

void ksdReferenceNodeImpl::loadSourceReference()
{
    if (isLocked())
        return;
    ksMessage message;
    message.set("nodes", std::vector<NodePtr>{node()}, true);
    ksController::call("reloadNodesFromFile", message, nullptr);
    std::vector<NodePtr> reloaded;
    if (message.get("reloadedNodes", reloaded)) {
        for (const NodePtr& n : reloaded)
            ksReferenceNode(n).setState(ksReferenceTypes::Loaded);
    }
}

void ksdReferenceNodeImpl::loadSmartReference()
{
    if (isLocked())
        return;
    const NodePtr n = node();
    ksReferenceNode ref(n);
    if (ref.getSmartPath().empty())
        return;
    if (!ref.load())
        return;
    // References inside the loaded content become usable; the loaded one
    // itself is not loaded twice.
    ksReferenceImportOptions options;
    options.skipNotLoaded = true;
    options.skipRoot = true;
    options.loadSmartReferences = true;
    if (ksReferenceInterface* reference = ksReferenceNode::getReferenceInterface())
        reference->importReferences(n, options);
    ksReferencePool::instance().resetChanged(ref.getExtReference());
    ksScenegraph::update(false);
}

ksReferenceTypes::State ksdReferenceNodeImpl::getState() const
{
    const ksReferenceNode ref(node());
    return ref.isValid() ? ref.getState() : ksReferenceTypes::Undefined;
}

void ksdReferenceNodeImpl::saveSmartReference()
{
    // A single node is saved with no project file: only its own smart files
    // and those nested below it take part in the cycle check.
    const ksReferenceSettings& settings = ksReferenceSettings::the();
    ksReferenceExporter::Options options;
    options.exportLocation = settings.getExportLocation();
    options.customExportPath = settings.getCustomExportPath().toUtf8().toStdString();
    ksReferenceExporter exporter(node(), options);
    if (exporter.hasCyclicPaths()) {
        ksLog::error("Unable to save smart reference. Cyclic paths detected.");
        return;
    }
    exporter.run();
}

void ksdReferenceNodeImpl::saveSmartReferenceAs(const QString& path, bool unshare)
{
    NodePtr n = node();
    const ksReferenceNode ref(n);
    if (!ref.isValid())
        return;
    ksReferenceInterface* reference = ksReferenceNode::getReferenceInterface();
    const bool same = reference && reference->isSamePath(path.toUtf8().toStdString(), ref.getSmartPath());
    if (!ksReferencePool::instance().saveSmartReferenceAs(ref.getExtReference(), path))
        return;
    if (unshare && !same) {
        if (const NodePtr unshared = ksScenegraph::unshareNode(n, 1, false, false))
            n = unshared;
    }
    ksReferenceNode target(n);
    target.unload();
    target.removeSmartReference();
    target.getOrCreateSmartFile(path);
    const NodePtr clone = ksReferencePool::instance().findLoadedClone(target.getExtReference());
    ksNodeUtils::setName(n, QFileInfo(path).baseName().toUtf8().toStdString(), true, std::string());

    // The handle may have named another node before unsharing.
    ksdReferenceNode handle = makeHandle(n);
    handle.loadSmartReference();
    if (clone) {
        handle.unload();
        handle.loadSmartReference();
    }
}

void ksdReferenceNodeImpl::setRecordPath(const FileReferencePtr& record, const QString& path)
{
    CPEditor edit(record, FileReference::PathFieldMask);
    record->setPath(path.toUtf8().toStdString());
}

void ksdReferenceNodeImpl::setSourcePath(const QString& path)
{
    if (isLocked())
        return;
    if (ksFileIO::isNativeSceneFile(path)) {
        ksLog::error("Talvik project or OSB files are not allowed as a source reference.");
        return;
    }
    if (const FileReferencePtr record = sourceRecord())
        setRecordPath(record, path);
}

QString ksdReferenceNodeImpl::getSourcePath() const
{
    return nativePath(sourceRecord());
}

ksReferenceTypes::FileState ksdReferenceNodeImpl::getSourceFileState() const
{
    return stateOf(sourceRecord());
}

QString ksdReferenceNodeImpl::getSourceOwner() const
{
    const FileReferencePtr record = sourceRecord();
    return record ? QString::fromUtf8(record->getOwner().c_str()) : QString();
}

QDateTime ksdReferenceNodeImpl::getSourceLastModified() const
{
    const FileReferencePtr record = sourceRecord();
    return record ? dateOf(record->getLastModified()) : QDateTime();
}

QDateTime ksdReferenceNodeImpl::getSourceImportDate() const
{
    const FileReferencePtr record = sourceRecord();
    return record ? dateOf(record->getImportDate()) : QDateTime();
}

void ksdReferenceNodeImpl::setSmartPath(const QString& path)
{
    if (isLocked())
        return;
    if (const FileReferencePtr record = smartRecord())
        setRecordPath(record, path);
}

QString ksdReferenceNodeImpl::getSmartPath() const
{
    return nativePath(smartRecord());
}

QString ksdReferenceNodeImpl::createSmartPath(ksReferenceTypes::ExportLocation location, QString customDirectory)
{
    ksReferenceNode ref(node());
    if (!ref.isValid())
        return QString();
    const FileReferencePtr source = ref.getSourceFile(false);
    QString path;
    if (source && !source->getPath().empty()) {
        const QFileInfo info(QString::fromUtf8(source->getPath().c_str()));
        const QString dir = location != ksReferenceTypes::NextToSource ? customDirectory : info.path();
        path = ksReferenceNode::normalizeDirectory(dir) + info.completeBaseName() + QStringLiteral(".zmb");
    } else {
        const QString dir = location == ksReferenceTypes::CustomDirectory
                                ? ksReferenceNode::normalizeDirectory(customDirectory)
                                : QString();
        QString name = QString::fromUtf8(ref.getName().c_str());
        if (name.isEmpty())
            name = QCoreApplication::translate("ksdReferenceNodeImpl", "SmartReference");
        path = dir + name + QStringLiteral(".zmb");
    }
    return ksReferenceNode::makeAbsolutePath(path, ksFileIO::getFilename());
}

ksReferenceTypes::FileState ksdReferenceNodeImpl::getSmartFileState() const
{
    return stateOf(smartRecord());
}

QString ksdReferenceNodeImpl::getSmartOwner() const
{
    const FileReferencePtr record = smartRecord();
    return record ? QString::fromUtf8(record->getOwner().c_str()) : QString();
}

QDateTime ksdReferenceNodeImpl::getSmartLastModified() const
{
    const FileReferencePtr record = smartRecord();
    return record ? dateOf(record->getLastModified()) : QDateTime();
}

QDateTime ksdReferenceNodeImpl::getSmartCreationDate() const
{
    const FileReferencePtr record = smartRecord();
    if (!record)
        return QDateTime();
    const QFileInfo info(QString::fromUtf8(record->getPath().c_str()));
    return info.exists() ? info.birthTime() : QDateTime();
}

bool ksdReferenceNodeImpl::prepareRevisionMonitor() const
{
    // Always, so that a query sees the directories as they are now.
    m_revisionMonitor.setExpressions(ksReferenceSettings::the().getRevisionExpressions());
    ksRevisionMonitor::clearCache();
    return ksReferenceSettings::the().isRevisionCheckEnabled();
}

QStringList ksdReferenceNodeImpl::getSourceRevisions() const
{
    if (!prepareRevisionMonitor())
        return QStringList();
    return m_revisionMonitor.findRevisions(getSourcePath()).keys();
}

QStringList ksdReferenceNodeImpl::getSmartRevisions() const
{
    if (!prepareRevisionMonitor())
        return QStringList();
    return m_revisionMonitor.findRevisions(getSmartPath()).keys();
}

QString ksdReferenceNodeImpl::getSourceRevision() const
{
    if (!prepareRevisionMonitor())
        return QString();
    return m_revisionMonitor.getRevision(getSourcePath());
}

QString ksdReferenceNodeImpl::getSmartRevision() const
{
    if (!prepareRevisionMonitor())
        return QString();
    return m_revisionMonitor.getRevision(getSmartPath());
}

QString ksdReferenceNodeImpl::getSourceRevisionPath(const QString& revision) const
{
    if (!prepareRevisionMonitor())
        return QString();
    return m_revisionMonitor.findRevisions(getSourcePath()).value(revision);
}

QString ksdReferenceNodeImpl::getSmartRevisionPath(const QString& revision) const
{
    if (!prepareRevisionMonitor())
        return QString();
    return m_revisionMonitor.findRevisions(getSmartPath()).value(revision);
}
