// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <QByteArray>
#include <atomic>
#include <cstdint>
#include <memory>

// The pool's copy of one file record, checked by the update monitor's thread.
// The path is fixed at construction; a changed record gets a new status object
// instead. The fields the monitor writes are atomics, so the main thread can read
// them at any time without taking a lock.
class ksFileReferenceStatus
{
public:
    ksFileReferenceStatus() = default;
    ksFileReferenceStatus(const QByteArray& path, uint32_t state, uint64_t lastModified, uint32_t checksum)
        : lastModified(lastModified)
        , path(path)
        , state(state)
        , checksum(checksum)
        , hasPath(!path.isEmpty())
    {
    }

    std::atomic<uint64_t> lastModified{0};
    std::atomic<uint64_t> lastChecked{0};
    const QByteArray path;
    std::atomic<uint32_t> state{0};
    std::atomic<uint32_t> checksum{0};
    const bool hasPath = false;
};

using ksFileReferenceStatusPtr = std::shared_ptr<ksFileReferenceStatus>;

// The statuses of one reference core's smart and source records; both are always set.
// The pointers are replaced on the main thread (under the pool's mutex) while the
// monitor's thread may hold the old ones through its snapshot.
class ksExtReferenceStatus
{
public:
    ksExtReferenceStatus(ksFileReferenceStatusPtr smart, ksFileReferenceStatusPtr source)
        : m_smart(std::move(smart))
        , m_source(std::move(source))
    {
    }

    ksFileReferenceStatusPtr smart() const { return std::atomic_load(&m_smart); }
    ksFileReferenceStatusPtr source() const { return std::atomic_load(&m_source); }
    void setSmart(ksFileReferenceStatusPtr status) { std::atomic_store(&m_smart, std::move(status)); }
    void setSource(ksFileReferenceStatusPtr status) { std::atomic_store(&m_source, std::move(status)); }

    // For passes that hold the pool's mutex, under which alone the pointers
    // are replaced: no atomic copy, no count taken.
    const ksFileReferenceStatus& smartLocked() const { return *m_smart; }
    const ksFileReferenceStatus& sourceLocked() const { return *m_source; }

private:
    ksFileReferenceStatusPtr m_smart;
    ksFileReferenceStatusPtr m_source;
};

using ksExtReferenceStatusPtr = std::shared_ptr<ksExtReferenceStatus>;
