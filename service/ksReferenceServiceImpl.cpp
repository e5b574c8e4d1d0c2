// Licensed under the MIT licence; see LICENSE.
#include "service/ksReferenceServiceImpl.h"

#include "fileio/ksFileIOService.h"
#include "handles/ksTypeConverter.h"
#include "kernel/ksKernelServiceFactory.h"
#include "model/ksReferenceNode.h"
#include "model/ksReferencePool.h"
#include "model/ksReferenceSettings.h"
#include "nodeutils/ksNodeUtils.h"
#include "references/ksReferenceFindFlags.h"
#include "references/ksReferenceInterface.h"
#include "scene/ksFileIO.h"
#include "scene/ksScenegraph.h"
#include "scenegraph/ExtReference.h"
#include "scenegraph/FieldContainerFactory.h"
#include "scenegraph/Node.h"
#include "scenegraph/Traversal.h"
#include "service/ksReferenceServiceMB.h"
#include "service/ksdReferenceNodeImpl.h"
#include "tree/ksTreeService.h"

#include <QHash>
#include <QTimer>

// The settings pass-through is in ksReferenceServiceImplSettings.cpp, the
// creation and conversion operations in ksReferenceServiceImplCreation.cpp.

using namespace osg;

ksReferenceServiceImpl::ksReferenceServiceImpl()
    // A child, so that tools can find it; as a member it goes before the
    // base destroys the children.
    : m_monitor(this)
{
    m_monitor.setObjectName(QStringLiteral("updateMonitor"));
    // Nothing else happens before the kernel's init: the other services may
    // not exist yet. A missing base service leaves the connection to Qt,
    // which refuses a null sender.
    connect(ksKernelServiceFactory::the().get<ksBaseService>(), &ksBaseService::init, this,
            &ksReferenceServiceImpl::initialize);
}

ksReferenceServiceImpl::~ksReferenceServiceImpl()
{
    // The thread must be gone before the members it reports to.
    m_monitor.stop();
}

void ksReferenceServiceImpl::initialize()
{
    ksReferenceServiceMB::setInstance(new ksReferenceServiceMB(this));
    // From here on the pool learns of every reference core and file record.
    ksReferencePool::instance().registerCallbacks();
    ksReferenceSettings::the().setLogLevel(ksReferenceSettings::LogEverything);
    connectHostServices();
}

void ksReferenceServiceImpl::connectHostServices()
{
    ksKernelServiceFactory& factory = ksKernelServiceFactory::the();
    ksFileIOService* fileIO = factory.get<ksFileIOService>();
    ksTreeService* tree = factory.get<ksTreeService>();

    // The pool emits poolHasContent after releasing its mutex, so stopping
    // the monitor here (which joins a thread that takes that mutex) is safe.
    // Direct, so that the monitor has stopped when the hook that emptied the
    // pool returns.
    ksReferencePool* pool = &ksReferencePool::instance();
    connect(
        pool, &ksReferencePool::poolHasContent, this,
        [this](bool has) {
            m_hasReferences = has;
            if (!m_monitoringEnabled)
                return;
            if (has)
                m_monitor.start();
            else
                m_monitor.stop();
        },
        Qt::DirectConnection);
    connect(pool, &ksReferencePool::poolHasContent, this, &ksReferenceService::sceneHasReferences);
    connect(pool, &ksReferencePool::modifiedStateChanged, this, &ksReferenceServiceImpl::updateModifiedState);

    // Functors run directly in the emitting thread. The service is their
    // context, so they end with it rather than with the host's services.
    const auto pause = [this] { setUpdateMonitoringPaused(true); };
    const auto resume = [this] { setUpdateMonitoringPaused(false); };
    connect(fileIO, &ksFileIOService::startingImport, this, pause, Qt::DirectConnection);
    connect(fileIO, &ksFileIOService::importFinished, this, resume, Qt::DirectConnection);
    connect(fileIO, &ksFileIOService::projectSave, this, pause, Qt::DirectConnection);
    connect(fileIO, &ksFileIOService::projectSaved, this, resume, Qt::DirectConnection);
    connect(fileIO, &ksFileIOService::projectLoad, this, pause, Qt::DirectConnection);
    connect(fileIO, &ksFileIOService::projectLoadFinished, this, resume, Qt::DirectConnection);

    // The monitor emits from the event loop, never from inside a pass.
    connect(&m_monitor, &ksReferenceUpdateMonitor::referencesUpdated, this,
            &ksReferenceServiceImpl::updateCheckerHasResults);

    const auto changed = [this] { emitReferencesChanged(); };
    connect(fileIO, &ksFileIOService::newScene, this, changed, Qt::DirectConnection);
    connect(fileIO, &ksFileIOService::projectLoaded, this, changed, Qt::DirectConnection);
    connect(fileIO, &ksFileIOService::importFinished, this, changed, Qt::DirectConnection);
    connect(fileIO, &ksFileIOService::savedGeometry, this, changed, Qt::DirectConnection);
    connect(tree, &ksTreeService::scenegraphChanged, this, changed, Qt::DirectConnection);
    connect(
        tree, &ksTreeService::selectionChanged, this, [this](const QList<uint>& ids) { forwardSelection(ids); },
        Qt::DirectConnection);
}

void ksReferenceServiceImpl::emitReferencesChanged()
{
    emit referencesChanged(QList<ksdReferenceNode>());
}

void ksReferenceServiceImpl::forwardSelection(const QList<uint>& nodeIds)
{
    QList<ksdReferenceNode> nodes;
    for (uint id : nodeIds) {
        // Null unless the node's handle type is a reference node's.
        const ksdReferenceNode node(ksTypeConverter::convertNode(id));
        if (!node.isNull())
            nodes.append(node);
    }
    emit sceneSelectionChanged(nodes);
}

QList<ksdReferenceNode> ksReferenceServiceImpl::getSceneReferences()
{
    const NodePtr root = ksScenegraph::getRoot();
    QList<ksdReferenceNode> list = getReferences(ksTypeConverter::convertNode(root));
    if (root && ExtReferencePtr::dcast(root->getCore()))
        list.insert(0, ksdReferenceNode(ksTypeConverter::convertNode(root)));
    return list;
}

QList<ksdReferenceNode> ksReferenceServiceImpl::getReferences(const ksdNode& root)
{
    // One node per core: clones share their core.
    QHash<UInt32, NodePtr> byCore;
    traverse(ksTypeConverter::convertNode(root), [&byCore](const NodePtr& n) {
        if (!n || !n->getCore())
            return Action::Skip;
        if (const ExtReferencePtr core = ExtReferencePtr::dcast(n->getCore()))
            byCore.insert(core.getFieldContainerId(), n);
        return Action::Continue;
    });
    QList<ksdReferenceNode> list;
    for (const NodePtr& n : byCore)
        list.append(ksdReferenceNode(ksTypeConverter::convertNode(n)));
    return list;
}

namespace {

QList<ksdReferenceNode> handlesOf(const std::vector<NodePtr>& nodes)
{
    QList<ksdReferenceNode> list;
    for (const NodePtr& n : nodes)
        list.append(ksdReferenceNodeImpl::makeHandle(n));
    return list;
}

} // namespace

QList<ksdReferenceNode> ksReferenceServiceImpl::getParentReferences(const ksdNode& node)
{
    ksReferenceInterface* reference = ksReferenceNode::getReferenceInterface();
    if (!reference)
        return {};
    return handlesOf(reference->findParentExtReferences(ksTypeConverter::convertNode(node),
                                                        ksReferenceFindFlags::FindExcludeStart));
}

QList<ksdReferenceNode> ksReferenceServiceImpl::getChildReferences(const ksdNode& node)
{
    ksReferenceInterface* reference = ksReferenceNode::getReferenceInterface();
    if (!reference)
        return {};
    // The outermost references below the node.
    const unsigned flags = ksReferenceFindFlags::FindExcludeStart | ksReferenceFindFlags::FindFirstOnly;
    return handlesOf(reference->findExtReferences(ksTypeConverter::convertNode(node), flags));
}

QList<ksdReferenceNode> ksReferenceServiceImpl::loadSourceReferences(const QList<ksdReferenceNode>& nodes)
{
    QList<ksdReferenceNode> kept;
    for (const ksdReferenceNode& node : nodes) {
        if (!node.isLocked() && node.hasSourceReference())
            kept.append(node);
    }
    // A re-import of an outer reference brings the inner ones along.
    const QList<ksdReferenceNode> candidates = kept;
    QList<ksdNode> outermost;
    for (const ksdReferenceNode& node : candidates) {
        const NodePtr n = ksTypeConverter::convertNode(node);
        bool inner = false;
        for (const ksdReferenceNode& other : candidates) {
            if (other == node)
                continue;
            if (ksNodeUtils::hasParent(n, ksTypeConverter::convertNode(other))) {
                inner = true;
                break;
            }
        }
        if (!inner)
            outermost.append(node);
    }

    QList<ksdReferenceNode> result;
    ksFileIOService* fileIO = ksKernelServiceFactory::the().get<ksFileIOService>();
    if (!fileIO)
        return result;
    for (const ksdNode& node : fileIO->reimportSourceFiles(outermost)) {
        ksReferenceNode(ksTypeConverter::convertNode(node)).setState(ksReferenceTypes::Loaded);
        result.append(ksdReferenceNode(node));
    }
    return result;
}

void ksReferenceServiceImpl::reloadSmartReferences(const QList<ksdReferenceNode>& nodes)
{
    if (nodes.isEmpty())
        return;
    ksFileIO::addAdvancedProgress(tr("Loading smart references ..."), nodes.size());
    // The progress closes also when a load throws.
    struct ProgressGuard
    {
        ~ProgressGuard() { ksFileIO::removeAdvancedProgress(); }
    } guard;
    for (ksdReferenceNode node : nodes) {
        if (!node.isLocked() && node.hasSmartReference()) {
            node.unload();
            node.loadSmartReference();
        }
        ksFileIO::increaseAdvancedProgress(1);
    }
}

void ksReferenceServiceImpl::updateCheckerHasResults(QList<uint> nodeIds)
{
    // First, so that the records (and so the handles) hold the new states.
    ksReferencePool::instance().applyUpdates(nodeIds);
    QList<ksdReferenceNode> nodes;
    for (uint id : nodeIds) {
        const osg::ExtReferencePtr core =
            osg::ExtReferencePtr::dcast(osg::FieldContainerFactory::the()->getContainer(id));
        if (!core)
            continue;
        for (const osg::NodePtr& user : core->getParents()) {
            const ksdReferenceNode node(ksTypeConverter::convertNode(user));
            if (!node.isNull())
                nodes.append(node);
        }
    }
    if (nodes.isEmpty())
        return;
    emit referencesChanged(nodes);
    checkForNotification(nodes);
}

void ksReferenceServiceImpl::updateModifiedState()
{
    if (m_editStateTimerPending)
        return;
    m_editStateTimerPending = true;
    QTimer::singleShot(100, this, [this] {
        m_editStateTimerPending = false;
        emit referenceEditStateChagned();
    });
}

void ksReferenceServiceImpl::checkForNotification(QList<ksdReferenceNode> nodes)
{
    if (getNotificationMode() != ksReferenceTypes::NotifyAfterUpdateCheck)
        return;
    ksReferenceInterface* reference = ksReferenceNode::getReferenceInterface();
    if (!reference)
        return;
    bool updateAvailable = false;
    for (const ksdReferenceNode& node : nodes) {
        const ksReferenceTypes::FileState smart = node.getSmartFileState();
        const ksReferenceTypes::FileState source = node.getSourceFileState();
        // A missing file outweighs every update: one notification only.
        if (smart == ksReferenceTypes::Missing || source == ksReferenceTypes::Missing) {
            reference->showMissingReferencesNotification();
            return;
        }
        if (smart == ksReferenceTypes::Outdated || source == ksReferenceTypes::Outdated)
            updateAvailable = true;
    }
    if (updateAvailable)
        reference->showUpdatesAvailableNotification();
}
