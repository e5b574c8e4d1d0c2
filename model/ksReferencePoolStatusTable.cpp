// Licensed under the MIT licence; see LICENSE.
// The status table the update monitor's thread sees: snapshots of it, and the
// monitor's results copied back into the file records on the main thread.
#include "model/ksReferencePool.h"

#include "model/ksMutexLocker.h"
#include "scenegraph/CPEditor.h"
#include "scenegraph/ExtReference.h"
#include "scenegraph/FileReference.h"

using namespace osg;

namespace {

void copyStatusToRecord(const ksFileReferenceStatusPtr& status, const FileReferencePtr& record)
{
    if (!record || !status->hasPath)
        return;
    CPEditor edit(record);
    record->setChecksum(status->checksum);
    record->setLastModified(status->lastModified);
    record->setState(status->state);
}

} // namespace

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
