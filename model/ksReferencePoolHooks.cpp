// Licensed under the MIT licence; see LICENSE.
// The hooks of the scene graph's reference cores and file records: they keep
// the status table, the file owners, the suffix counts and the smart path
// index in step with every core that comes, goes or gets new records.
#include "model/ksReferencePool.h"

#include "model/ksMutexLocker.h"
#include "nodeutils/ksTreeChangeMonitor.h"
#include "scenegraph/ExtReference.h"
#include "scenegraph/FieldContainerFactory.h"
#include "scenegraph/FileReference.h"

#include <memory_resource>

using namespace osg;

namespace {

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

} // namespace

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
