// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/FieldContainerFactory.h"

#include "service/ksReferenceServiceImpl.h"

#include "handles/ksTypeConverter.h"
#include "kernel/ksFileIOService.h"
#include "kernel/ksInterfaceFactory.h"
#include "kernel/ksKernelServiceFactory.h"
#include "kernel/ksTreeService.h"
#include "model/ksReferencePool.h"
#include "module/ksReferenceServiceMB.h"
#include "references/ksReferenceInterface.h"
#include "scenegraph/ExtReference.h"
#include "scenegraph/Node.h"
#include "service/ksReferenceSettings.h"

#include <QTimer>

namespace {

// Fetched once; the interface object is a static object of this library.
ksReferenceInterface* referenceInterface()
{
    static ksReferenceInterface* const object = ksInterfaceFactory::the().get<ksReferenceInterface>();
    return object;
}

} // namespace

ksReferenceServiceImpl::ksReferenceServiceImpl()
{
    // Nothing else happens before the kernel's init: the other services may
    // not exist yet. A missing base service leaves the connection to Qt,
    // which refuses a null sender.
    connect(ksKernelServiceFactory::the().get<ksBaseService>(), &ksBaseService::init, this,
            &ksReferenceServiceImpl::initialize);
}

ksReferenceServiceImpl::~ksReferenceServiceImpl()
{
    // TODO(monitor): stop the update monitor; its member destructor ends the
    // thread.
}

void ksReferenceServiceImpl::initialize()
{
    ksReferenceServiceMB::setInstance(new ksReferenceServiceMB(this));
    // From here on the pool learns of every reference core and file record.
    ksReferencePool::instance().registerCallbacks();
    ksReferenceSettings::the().setLogLevel(4);
    connectHostServices();
}

void ksReferenceServiceImpl::connectHostServices()
{
    ksKernelServiceFactory& factory = ksKernelServiceFactory::the();
    ksFileIOService* fileIO = factory.get<ksFileIOService>();
    ksTreeService* tree = factory.get<ksTreeService>();

    // The pool emits poolHasContent after releasing its mutex, so stopping
    // the monitor here (which joins a thread that takes that mutex) is safe.
    ksReferencePool* pool = &ksReferencePool::instance();
    connect(
        pool, &ksReferencePool::poolHasContent, this,
        [this](bool has) {
            m_hasReferences = has;
            // TODO(monitor): if m_monitoringEnabled, start the monitor when
            // `has`, else stop it.
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

    // TODO(monitor): referencesUpdated(QList<uint>) to updateCheckerHasResults,
    // queued from the monitor's thread.

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

ksdReferenceNode ksReferenceServiceImpl::createSmartReference(const ksdNode&)
{
    // TODO(service operations)
    return ksdReferenceNode();
}

ksdReferenceNode ksReferenceServiceImpl::createSourceReference(const QString&, const ksdNode&)
{
    // TODO(service operations)
    return ksdReferenceNode();
}

ksdNode ksReferenceServiceImpl::convertToSmart(const ksdNode& node, bool)
{
    // TODO(service operations); the node comes back unchanged, as for a
    // locked node.
    return node;
}

ksdNode ksReferenceServiceImpl::removeReference(const ksdNode& node)
{
    // TODO(service operations)
    return node;
}

QList<ksdReferenceNode> ksReferenceServiceImpl::getSceneReferences()
{
    // TODO(service operations)
    return {};
}

QList<ksdReferenceNode> ksReferenceServiceImpl::getReferences(const ksdNode&)
{
    // TODO(service operations)
    return {};
}

QList<ksdReferenceNode> ksReferenceServiceImpl::getParentReferences(const ksdNode&)
{
    // TODO(service operations)
    return {};
}

QList<ksdReferenceNode> ksReferenceServiceImpl::getChildReferences(const ksdNode&)
{
    // TODO(service operations)
    return {};
}

QList<ksdReferenceNode> ksReferenceServiceImpl::loadSourceReferences(const QList<ksdReferenceNode>&)
{
    // TODO(service operations)
    return {};
}

void ksReferenceServiceImpl::reloadSmartReferences(const QList<ksdReferenceNode>&)
{
    // TODO(service operations)
}

void ksReferenceServiceImpl::setUpdateMonitoringEnabled(bool enabled)
{
    ksReferenceSettings::the().setUpdateMonitoringEnabled(enabled);
    m_monitoringEnabled = enabled;
    // TODO(monitor): start the monitor when m_hasReferences && enabled, else
    // stop it.
    emit updateMonitoringChanged(enabled);
}

bool ksReferenceServiceImpl::isUpdateMonitoringEnabled()
{
    return ksReferenceSettings::the().isUpdateMonitoringEnabled();
}

void ksReferenceServiceImpl::setNotificationMode(ksReferenceTypes::NotificationMode mode)
{
    ksReferenceSettings::the().setNotificationMode(mode);
}

ksReferenceTypes::NotificationMode ksReferenceServiceImpl::getNotificationMode()
{
    return ksReferenceSettings::the().getNotificationMode();
}

void ksReferenceServiceImpl::setRevisionCheckEnabled(bool enabled)
{
    ksReferenceSettings::the().setRevisionCheckEnabled(enabled);
    // TODO(monitor): hand the flag to the monitor.
}

bool ksReferenceServiceImpl::isRevisionCheckEnabled()
{
    return ksReferenceSettings::the().isRevisionCheckEnabled();
}

void ksReferenceServiceImpl::setRevisionExpressions(const QStringList& expressions)
{
    ksReferenceSettings::the().setRevisionExpressions(expressions);
    // TODO(monitor): hand the expressions to the monitor.
}

QStringList ksReferenceServiceImpl::getRevisionExpressions()
{
    return ksReferenceSettings::the().getRevisionExpressions();
}

void ksReferenceServiceImpl::setAuxiliaryFlag(bool flag)
{
    ksReferenceSettings::the().setAuxiliaryFlag(flag);
}

bool ksReferenceServiceImpl::getAuxiliaryFlag()
{
    return ksReferenceSettings::the().getAuxiliaryFlag();
}

void ksReferenceServiceImpl::setExportLocation(ksReferenceTypes::ExportLocation location)
{
    ksReferenceSettings::the().setExportLocation(location);
}

ksReferenceTypes::ExportLocation ksReferenceServiceImpl::getExportLocation()
{
    return ksReferenceSettings::the().getExportLocation();
}

void ksReferenceServiceImpl::setCustomExportPath(const QString& path)
{
    ksReferenceSettings::the().setCustomExportPath(path);
}

QString ksReferenceServiceImpl::getCustomExportPath()
{
    return ksReferenceSettings::the().getCustomExportPath();
}

void ksReferenceServiceImpl::setLoadMode(ksReferenceTypes::LoadMode mode)
{
    ksReferenceSettings::the().setLoadMode(mode);
}

ksReferenceTypes::LoadMode ksReferenceServiceImpl::getLoadMode()
{
    return ksReferenceSettings::the().getLoadMode();
}

void ksReferenceServiceImpl::setUpdateMonitoringPaused(bool)
{
    // TODO(monitor): count the nested pause in the monitor.
}

bool ksReferenceServiceImpl::isUpdateMonitoringPaused()
{
    // TODO(monitor)
    return false;
}

void ksReferenceServiceImpl::setUpdateMonitoringInterval(int)
{
    // TODO(monitor)
}

int ksReferenceServiceImpl::getUpdateMonitoringInterval()
{
    // TODO(monitor)
    return 0;
}

QStringList ksReferenceServiceImpl::getFileSuffixes()
{
    // TODO(pool): the suffixes of every pooled smart and source path.
    return {};
}

QStringList ksReferenceServiceImpl::sortRevisions(const QStringList&)
{
    // TODO(revision monitor): ksRevisionMonitor::sortRevision.
    return {};
}

void ksReferenceServiceImpl::updateCheckerHasResults(QList<uint> nodeIds)
{
    // TODO(pool): ksReferencePool::instance().applyUpdates(nodeIds) first, so
    // that the records hold the monitor's states.
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
    ksReferenceInterface* reference = referenceInterface();
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
