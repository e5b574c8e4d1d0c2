// Licensed under the MIT licence; see LICENSE.
#include "model/ksReferencePool.h"

#include "io/ksSmartFile.h"
#include "model/ksMutexLocker.h"
#include "model/ksReferenceNode.h"
#include "nodeutils/ksTreeChangeMonitor.h"
#include "references/ksReferenceInterface.h"
#include "references/ksReferenceTypes.h"
#include "scenegraph/ExtReference.h"
#include "scenegraph/FieldContainerFactory.h"
#include "scenegraph/FileReference.h"
#include "scenegraph/Node.h"
#include "scenegraph/NodeUtils.h"
#include "scenegraph/Transform3D.h"
#include "scenegraph/Traversal.h"
#include "scenegraph/UBRDFMaterial.h"

#include <memory_resource>

using namespace osg;

namespace {

// Node flag bit 12: nodes that carry it do not make their reference count as
// changed (the bit belongs to other host code).
constexpr UInt32 ignoreChangesFlag = 0x1000;

// The statuses come from a memory pool of their own, so that passes over
// them (every pass of the update monitor, the queries over the pool) read
// memory in order rather than hopping among the scene's strings and records.
// Synchronised: the last owner of a status may be a snapshot on the monitor's
// thread. Never destroyed, as snapshots may outlive the pool at exit.
std::pmr::memory_resource* statusMemory()
{
    static auto* resource = new std::pmr::synchronized_pool_resource();
    return resource;
}

template <class T, class... Args> std::shared_ptr<T> makePooled(Args&&... args)
{
    return std::allocate_shared<T>(std::pmr::polymorphic_allocator<T>(statusMemory()), std::forward<Args>(args)...);
}

// Records without a path are never examined by the monitor nor copied back,
// so one empty status stands for all of them, and one empty pair for every
// core without paths (every core as it is created): such a core costs no
// allocation of its own. Never destroyed: hooks may run during exit.
const ksFileReferenceStatusPtr& emptyStatus()
{
    static const auto* status = new ksFileReferenceStatusPtr(std::make_shared<ksFileReferenceStatus>());
    return *status;
}

const ksExtReferenceStatusPtr& emptyPair()
{
    static const auto* pair =
        new ksExtReferenceStatusPtr(std::make_shared<ksExtReferenceStatus>(emptyStatus(), emptyStatus()));
    return *pair;
}

ksExtReferenceStatusPtr makePair(ksFileReferenceStatusPtr smart, ksFileReferenceStatusPtr source)
{
    if (smart == emptyStatus() && source == emptyStatus())
        return emptyPair();
    return makePooled<ksExtReferenceStatus>(std::move(smart), std::move(source));
}

bool hasPath(const FileReferencePtr& ref)
{
    return ref && !ref->getPath().empty();
}

ExtReferencePtr findCore(UInt32 id)
{
    return ksReferenceNode::getReferenceInterface()->getExtReferenceById(id);
}

// The text after the last '.' of the file name, as QFileInfo::suffix gives
// it, taken from the UTF-8 bytes ('/' and '.' never occur inside a multi-byte
// character). A view into `path`: counting a known suffix allocates nothing.
QByteArray suffixOf(const QByteArray& path)
{
    const int nameStart = path.lastIndexOf('/') + 1;
    const int dot = path.lastIndexOf('.');
    if (dot < nameStart)
        return QByteArray();
    return QByteArray::fromRawData(path.constData() + dot + 1, path.size() - dot - 1);
}

void copyStatusToRecord(const ksFileReferenceStatusPtr& status, const FileReferencePtr& record)
{
    if (!record || !status->hasPath)
        return;
    beginEditCP(record);
    record->setChecksum(status->checksum);
    record->setLastModified(status->lastModified);
    record->setState(status->state);
    endEditCP(record);
}

} // namespace

ksReferencePool& ksReferencePool::instance()
{
    static ksReferencePool pool;
    return pool;
}

ksReferencePool::ksReferencePool() = default;

ksReferencePool::~ksReferencePool()
{
    // Containers released after the pool at process exit must not reach it.
    if (m_callbacksRegistered) {
        ExtReference::setAddToPoolCallback(nullptr);
        ExtReference::setRemoveFromPoolCallback(nullptr);
        ExtReference::setUpdateInPoolCallback(nullptr);
        FileReference::setUpdateInPoolCallback(nullptr);
    }
}

void ksReferencePool::registerCallbacks()
{
    ksMutexLocker lock(m_mutex);
    ExtReference::setAddToPoolCallback([this](const ExtReferencePtr& ext) { addToPool(ext); });
    ExtReference::setRemoveFromPoolCallback([this](const ExtReferencePtr& ext) { removeFromPool(ext); });
    ExtReference::setUpdateInPoolCallback([this](const ExtReferencePtr& ext) { updateInPool(ext); });
    FileReference::setUpdateInPoolCallback([this](const FileReferencePtr& ref) { fileReferenceUpdated(ref); });
    m_callbacksRegistered = true;
}

bool ksReferencePool::isEmpty()
{
    return m_statuses.isEmpty();
}

ksFileReferenceStatusPtr ksReferencePool::makeStatus(const FileReferencePtr& ref)
{
    if (!hasPath(ref))
        return emptyStatus();
    return makePooled<ksFileReferenceStatus>(QByteArray::fromStdString(ref->getPath()), ref->getState(),
                                             ref->getLastModified(), ref->getChecksum());
}

void ksReferencePool::registerFileOwners(const ExtReferencePtr& ext)
{
    const quint32 id = ext.getFieldContainerId();
    if (const FileReferencePtr smart = ext->getSmartFile())
        m_fileOwners[smart.getFieldContainerId()] = id;
    if (const FileReferencePtr source = ext->getSourceFile())
        m_fileOwners[source.getFieldContainerId()] = id;
}

void ksReferencePool::addToPool(const ExtReferencePtr& ext)
{
    if (!ext)
        return;
    bool first = false;
    bool added = false;
    {
        ksMutexLocker lock(m_mutex);
        registerFileOwners(ext);
        ksExtReferenceStatusPtr& status = m_statuses[ext.getFieldContainerId()];
        if (!status) {
            const FileReferencePtr smart = ext->getSmartFile();
            const FileReferencePtr source = ext->getSourceFile();
            // A fresh core has no records yet: share the empty pair without
            // building statuses first.
            if (hasPath(smart) || hasPath(source)) {
                status = makePair(makeStatus(smart), makeStatus(source));
                countSuffixes(*status, +1);
            } else {
                status = emptyPair();
            }
            m_smartPaths.set(ext.getFieldContainerId(), status->smartLocked().path);
            m_snapshotStale = true;
            first = m_statuses.size() == 1;
            added = true;
        }
    }
    if (added)
        emit statusesChanged();
    // After unlocking: a receiver may stop the update monitor, whose thread
    // may be waiting for the mutex.
    if (first)
        emit poolHasContent(true);
}

void ksReferencePool::removeFromPool(const ExtReferencePtr& ext)
{
    if (!ext)
        return;
    // Destroyed after unlocking: their destructors are not ours to reason
    // about (a smart file's stash may hold scene content).
    std::shared_ptr<ksTreeChangeMonitor> monitor;
    std::shared_ptr<ksSmartFile> smartFile;
    bool last = false;
    bool changed = false;
    {
        ksMutexLocker lock(m_mutex);
        const quint32 id = ext.getFieldContainerId();
        const ksExtReferenceStatusPtr status = m_statuses.take(id);
        const bool removed = status != nullptr;
        if (removed) {
            countSuffixes(*status, -1);
            m_snapshotStale = true;
        }
        m_smartPaths.remove(id);
        if (const FileReferencePtr source = ext->getSourceFile())
            m_fileOwners.remove(source.getFieldContainerId());
        if (const FileReferencePtr smart = ext->getSmartFile())
            m_fileOwners.remove(smart.getFieldContainerId());
        // A core that is still alive was only taken out of the scene by an
        // undoable step: its loaded content and edit mark wait for undo to
        // bring it back, and go when it is destroyed (the hook runs again).
        if (!FieldContainerFactory::the()->getContainer(id)) {
            monitor = m_changeMonitors.take(id);
            const auto entry = m_smartFiles.find(id);
            if (entry != m_smartFiles.end()) {
                smartFile = std::move(entry->second);
                m_smartFiles.erase(entry);
            }
        }
        last = removed && m_statuses.isEmpty();
        changed = removed;
    }
    if (changed)
        emit statusesChanged();
    if (last)
        emit poolHasContent(false);
}

void ksReferencePool::updateInPool(const ExtReferencePtr& ext)
{
    if (!ext)
        return;
    ksMutexLocker lock(m_mutex);
    ksExtReferenceStatusPtr* entry = m_statuses.find(ext.getFieldContainerId());
    if (!entry)
        return;
    registerFileOwners(ext);
    // Fresh records: the monitor's bookkeeping starts again, and a snapshot
    // that still holds the old ones no longer reaches the pool.
    ksFileReferenceStatusPtr smart = makeStatus(ext->getSmartFile());
    ksFileReferenceStatusPtr source = makeStatus(ext->getSourceFile());
    const QByteArray oldSmartPath = (*entry)->smartLocked().path;
    countSuffixes(**entry, -1);
    if (*entry == emptyPair()) {
        // The shared pair is never changed; the core gets its own.
        *entry = makePair(std::move(smart), std::move(source));
        m_snapshotStale = true;
    } else {
        (*entry)->setSmart(std::move(smart));
        (*entry)->setSource(std::move(source));
    }
    countSuffixes(**entry, +1);
    if ((*entry)->smartLocked().path != oldSmartPath)
        m_smartPaths.set(ext.getFieldContainerId(), (*entry)->smartLocked().path);
    emit statusesChanged();
}

void ksReferencePool::countSuffixes(const ksExtReferenceStatus& pair, int delta)
{
    for (const ksFileReferenceStatus* status : {&pair.smartLocked(), &pair.sourceLocked()}) {
        if (!status->hasPath)
            continue;
        const QByteArray suffix = suffixOf(status->path);
        const auto counted = m_suffixCounts.find(suffix);
        if (counted == m_suffixCounts.end()) {
            if (delta > 0)
                m_suffixCounts.insert(QByteArray(suffix.constData(), suffix.size()), delta);
        } else if ((*counted += delta) == 0) {
            m_suffixCounts.erase(counted);
        }
    }
}

void ksReferencePool::fileReferenceUpdated(const FileReferencePtr& ref)
{
    // applyUpdates sets the flag while it holds the mutex; everything here
    // runs on the main thread, so the flag and the owner map need no lock.
    if (m_suppressFileUpdates || !ref)
        return;
    const quint32* owner = m_fileOwners.find(ref.getFieldContainerId());
    if (!owner)
        return;
    if (const ExtReferencePtr core = findCore(*owner))
        updateInPool(core);
}

std::shared_ptr<ksTreeChangeMonitor> ksReferencePool::getTreeChangeMonitor(const ExtReferencePtr& ext)
{
    std::shared_ptr<ksTreeChangeMonitor>& monitor = m_changeMonitors[ext.getFieldContainerId()];
    if (monitor)
        return monitor;
    monitor = std::make_shared<ksTreeChangeMonitor>(true);
    monitor->setChangedCallback([this] { onContentChanged(); });
    // Bookkeeping is not an edit of the content: the node's flags, the
    // records' owner, time and relative path, the environment that the
    // default environment handling puts back, and the reference's transform.
    monitor->addSkipFields(Node::getClassTypeId(), Node::FlagsFieldMask);
    monitor->addSkipFields(FileReference::getClassTypeId(), FileReference::OwnerFieldMask
                                                                | FileReference::LastModifiedFieldMask
                                                                | FileReference::RelativePathFieldMask);
    monitor->addSkipFields(UBRDFMaterial::getClassTypeId(), UBRDFMaterial::EnvironmentFieldMask);
    monitor->addSkipFields(FieldContainerPtr(ext), Transform3D::getCombinedTransformAttributesMask());
    monitor->setSkipExtReferenceChildren(true);
    monitor->setSkipRootVisibility(true);
    for (const NodePtr& parent : ext->getParents()) {
        monitor->addSkipFields(FieldContainerPtr(parent), Node::FlagsFieldMask | Node::AttachmentsFieldMask
                                                              | Node::TravMaskFieldMask
                                                              | Node::ExternalFlagsFieldMask | Node::IndexFieldMask);
    }
    return monitor;
}

void ksReferencePool::onContentChanged()
{
    // applyUpdates edits records while it holds the mutex; the signal waits
    // until the mutex is free, as every signal of the pool does.
    if (m_suppressFileUpdates) {
        m_modifiedSignalPending = true;
        return;
    }
    emit modifiedStateChanged();
}

bool ksReferencePool::qualifies(const ExtReferencePtr& ext)
{
    if (!ext || ext->getState() != ksReferenceTypes::Loaded)
        return false;
    const FileReferencePtr smart = ext->getSmartFile();
    return smart && smart->getState() != ksReferenceTypes::Missing;
}

bool ksReferencePool::isChanged(const ExtReferencePtr& ext)
{
    if (!qualifies(ext))
        return false;
    return getTreeChangeMonitor(ext)->isChanged();
}

void ksReferencePool::setChanged(const ExtReferencePtr& ext)
{
    if (qualifies(ext))
        getTreeChangeMonitor(ext)->setChanged();
}

void ksReferencePool::resetChanged(const ExtReferencePtr& ext)
{
    if (!qualifies(ext) || ext->getNParents() == 0)
        return;
    getTreeChangeMonitor(ext)->resetChanged(ext->getParents().front());
}

void ksReferencePool::resetAllChanged()
{
    const QList<quint32> ids = m_changeMonitors.keys();
    for (quint32 id : ids) {
        if (const ExtReferencePtr core = ExtReferencePtr::dcast(FieldContainerFactory::the()->getContainer(id)))
            resetChanged(core);
    }
}

bool ksReferencePool::isChangedBelow(const ExtReferencePtr& ext)
{
    if (!ext || ext->getNParents() == 0)
        return false;
    const NodePtr start = ext->getParents().front();
    bool changed = false;
    traverse(start, [&](const NodePtr& node) {
        if (node == start)
            return Action::Continue;
        const ExtReferencePtr core = ExtReferencePtr::dcast(node->getCore());
        if (core && isChanged(core)) {
            changed = true;
            return Action::Quit;
        }
        return Action::Continue;
    });
    return changed;
}

bool ksReferencePool::isSubReferenceChanged(const ExtReferencePtr& ext)
{
    return isChangedBelow(ext);
}

bool ksReferencePool::isSelfOrSubReferenceChanged(const ExtReferencePtr& ext)
{
    return isChanged(ext) || isChangedBelow(ext);
}

unsigned ksReferencePool::getNumChangedReferences()
{
    ksMutexLocker lock(m_mutex);
    unsigned count = 0;
    m_statuses.forEach([&](quint32 id, const ksExtReferenceStatusPtr&) {
        const ExtReferencePtr core = findCore(id);
        if (!core || !isChanged(core))
            return;
        const std::vector<NodePtr> parents = core->getParents();
        std::size_t flagged = 0;
        for (const NodePtr& parent : parents) {
            if (parent->getFlags() & ignoreChangesFlag)
                ++flagged;
        }
        if (flagged != parents.size())
            ++count;
    });
    return count;
}

std::shared_ptr<ksSmartFile> ksReferencePool::getSmartFile(const ExtReferencePtr& ext)
{
    std::shared_ptr<ksSmartFile>& file = m_smartFiles[ext.getFieldContainerId()];
    if (!file)
        file = std::make_shared<ksSmartFile>(ext);
    return file;
}

std::shared_ptr<ksSmartFile> ksReferencePool::takeSmartFile(const ExtReferencePtr& ext)
{
    const auto entry = m_smartFiles.find(ext.getFieldContainerId());
    if (entry == m_smartFiles.end())
        return nullptr;
    std::shared_ptr<ksSmartFile> file = std::move(entry->second);
    m_smartFiles.erase(entry);
    return file;
}

void ksReferencePool::setSmartFile(const ExtReferencePtr& ext, std::shared_ptr<ksSmartFile> file)
{
    m_smartFiles[ext.getFieldContainerId()] = std::move(file);
}

void ksReferencePool::eraseSmartFile(const ExtReferencePtr& ext)
{
    m_smartFiles.erase(ext.getFieldContainerId());
}

bool ksReferencePool::isSmartFileLoaded(const ExtReferencePtr& ext)
{
    const auto entry = m_smartFiles.find(ext.getFieldContainerId());
    return entry != m_smartFiles.end() && entry->second && entry->second->isLoaded();
}

bool ksReferencePool::loadSmartReference(const ExtReferencePtr& ext)
{
    if (!getSmartFile(ext)->load())
        return false;
    resetChanged(ext);
    return true;
}

bool ksReferencePool::unloadSmartReference(const ExtReferencePtr& ext)
{
    if (!getSmartFile(ext)->unload())
        return false;
    setChanged(ext);
    return true;
}

bool ksReferencePool::saveSmartReference(const ExtReferencePtr& ext)
{
    if (ext->getState() != ksReferenceTypes::Undefined && !isChanged(ext))
        return true;
    if (!getSmartFile(ext)->save())
        return false;
    resetChanged(ext);
    return true;
}

bool ksReferencePool::saveSmartReferenceAs(const ExtReferencePtr& ext, const QString& path)
{
    const bool wasChanged = isChanged(ext);
    const bool saved = getSmartFile(ext)->saveAs(path);
    if (!wasChanged)
        resetChanged(ext);
    return saved;
}

bool ksReferencePool::hangsInScene(const ExtReferencePtr& core, const NodePtr& sceneRoot)
{
    bool inScene = false;
    if (sceneRoot)
        core->forEachParent([&](const NodePtr& parent) {
            inScene = inScene || NodeUtils::isAncestorOrSelf(sceneRoot, parent);
        });
    return inScene;
}

QList<ExtReferencePtr> ksReferencePool::getExtReferences()
{
    ksStatusSnapshot replaced;
    ksMutexLocker lock(m_mutex);
    // In id order: the cores' memory was handed out in that order, so the
    // pass reads it front to back instead of hopping through the table.
    const ksStatusSnapshot& cores = currentSnapshot(replaced);
    const NodePtr sceneRoot = NodeUtils::getSceneRoot();
    FieldContainerFactory* factory = FieldContainerFactory::the();
    QList<ExtReferencePtr> live;
    live.reserve(cores.size());
    for (const ksStatusSnapshot::Entry& entry : cores) {
        const ExtReferencePtr core = ExtReferencePtr::dcast(factory->getContainer(entry.id));
        if (core && hangsInScene(core, sceneRoot))
            live.append(core);
    }
    return live;
}

std::set<ExtReferencePtr> ksReferencePool::getReferencesWithSameSmartFile(const ExtReferencePtr& ext)
{
    std::set<ExtReferencePtr> cores;
    if (!ext)
        return cores;
    const NodePtr sceneRoot = NodeUtils::getSceneRoot();
    if (m_statuses.contains(ext.getFieldContainerId()) && hangsInScene(ext, sceneRoot))
        cores.insert(ext);
    // Only cores whose smart path names the same file can share it; each is
    // held against the interface's own comparison, which also drops one
    // whose record changed without telling the pool.
    const FileReferencePtr smart = ext->getSmartFile();
    if (!smart || smart->getState() == ksReferenceTypes::NoPath)
        return cores;
    ksReferenceInterface* reference = ksReferenceNode::getReferenceInterface();
    for (const quint32 id : m_smartPaths.coresOf(smart->getPath())) {
        const ExtReferencePtr core = findCore(id);
        if (core && core != ext && hangsInScene(core, sceneRoot) && reference->isSameSmartReference(ext, core))
            cores.insert(core);
    }
    return cores;
}

NodePtr ksReferencePool::findLoadedClone(const ExtReferencePtr& ext)
{
    if (!ext || !ext->getSmartFile())
        return NullFC;
    ksReferenceInterface* reference = ksReferenceNode::getReferenceInterface();
    const std::string path = ext->getSmartFile()->getPath();
    // The cores of this file in ascending id order, as the smart files are
    // kept: the first loaded one is the same as a walk over all would find.
    for (const quint32 id : m_smartPaths.coresOf(path)) {
        if (id == ext.getFieldContainerId())
            continue;
        const auto entry = m_smartFiles.find(id);
        if (entry == m_smartFiles.end() || !entry->second || !entry->second->isLoaded())
            continue;
        const ksSmartFile& file = *entry->second;
        const NodePtr node = file.getNode();
        if (node && reference->isSamePath(file.getPath().toStdString(), path))
            return node;
    }
    return NullFC;
}

QStringList ksReferencePool::getFileSuffixes()
{
    QStringList list;
    ksMutexLocker lock(m_mutex);
    list.reserve(m_suffixCounts.size());
    for (auto it = m_suffixCounts.cbegin(); it != m_suffixCounts.cend(); ++it)
        list.append(QString::fromUtf8(it.key()));
    return list;
}

const ksStatusSnapshot& ksReferencePool::currentSnapshot(ksStatusSnapshot& replaced)
{
    if (m_snapshotStale) {
        // One pass over the flat table, then a linear sort: no allocation
        // per core, so building grows with the pool and no faster.
        std::vector<ksStatusSnapshot::Entry> entries;
        entries.reserve(std::size_t(m_statuses.size()));
        m_statuses.forEach(
            [&](quint32 id, const ksExtReferenceStatusPtr& status) { entries.push_back({id, status}); });
        replaced = std::move(m_snapshot);
        m_snapshot = ksStatusSnapshot(std::move(entries));
        m_snapshotStale = false;
    }
    return m_snapshot;
}

ksStatusSnapshot ksReferencePool::getStatusSnapshot()
{
    // The snapshot changes only when a core comes, goes or gets its first
    // path (new records swap the statuses inside the shared pairs), so
    // between such changes every caller gets the same array, shared. It is
    // never changed once built, only replaced.
    ksStatusSnapshot replaced;
    ksStatusSnapshot snapshot;
    {
        ksMutexLocker lock(m_mutex);
        snapshot = currentSnapshot(replaced);
    }
    // The replaced one goes after unlocking, on the caller's thread.
    return snapshot;
}

void ksReferencePool::applyUpdates(const QList<uint>& ids)
{
    {
        ksMutexLocker lock(m_mutex);
        // Our own edits below must not rebuild the statuses they come from;
        // the hook would also take the mutex again. Cleared on every way out.
        struct Suppress
        {
            bool& flag;
            explicit Suppress(bool& f) : flag(f) { flag = true; }
            ~Suppress() { flag = false; }
        } suppress(m_suppressFileUpdates);

        for (uint id : ids) {
            const ksExtReferenceStatusPtr* status = m_statuses.find(id);
            if (!status)
                continue;
            const ExtReferencePtr core = findCore(id);
            if (!core)
                continue;
            copyStatusToRecord((*status)->smart(), core->getSmartFile());
            copyStatusToRecord((*status)->source(), core->getSourceFile());
        }
    }
    if (m_modifiedSignalPending) {
        m_modifiedSignalPending = false;
        emit modifiedStateChanged();
    }
}
