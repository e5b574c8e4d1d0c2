// Licensed under the MIT licence; see LICENSE.
#include "monitor/ksReferenceUpdateMonitor.h"

#include "model/ksFileReferenceStatus.h"
#include "model/ksReferencePool.h"
#include "references/ksReferenceTypes.h"
#include "utils/ksFile.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaType>
#include <QString>

#include <chrono>

#include <sys/stat.h>

namespace {

QEvent::Type resultsEventType()
{
    static const QEvent::Type type = QEvent::Type(QEvent::registerEventType());
    return type;
}

// Existence and modification time from one stat() of the UTF-8 path, which
// is what the file system sees anyway. The time is whole seconds as
// QFileInfo::lastModified().toSecsSinceEpoch() gives them: milliseconds
// divided by 1000, truncated.
bool statFile(const char* path, std::uint64_t& modified)
{
    struct stat info;
    if (::stat(path, &info) != 0)
        return false;
    const std::int64_t msecs =
        std::int64_t(info.st_mtim.tv_sec) * 1000 + std::int64_t(info.st_mtim.tv_nsec) / 1000000;
    modified = std::uint64_t(msecs / 1000);
    return true;
}

} // namespace

ksReferenceUpdateMonitor::ksReferenceUpdateMonitor(QObject* parent)
    : QObject(parent)
{
    // Named as the signal spells it, so that queued connections to other
    // threads can copy the list.
    qRegisterMetaType<QList<uint>>("QList<uint>");
    resultsEventType();
}

ksReferenceUpdateMonitor::~ksReferenceUpdateMonitor()
{
    if (m_thread.joinable())
        end();
}

void ksReferenceUpdateMonitor::start()
{
    if (m_started)
        return;
    if (m_pauseCount.load() < 1)
        launch();
    m_started = true;
}

void ksReferenceUpdateMonitor::stop()
{
    if (!m_started)
        return;
    if (m_pauseCount.load() < 1)
        end();
    m_started = false;
}

void ksReferenceUpdateMonitor::setPaused(bool paused)
{
    // A resume without its pause is ignored: a count below zero would let
    // the next pause leave the thread running.
    int count = m_pauseCount.load();
    if (!paused && count <= 0)
        return;
    count += paused ? 1 : -1;
    m_pauseCount.store(count);
    if (!m_started)
        return;
    if (count > 0)
        end();
    else
        launch();
}

bool ksReferenceUpdateMonitor::isPaused() const
{
    return m_pauseCount.load() > 0;
}

void ksReferenceUpdateMonitor::setInterval(int milliseconds)
{
    m_interval.store(milliseconds);
}

int ksReferenceUpdateMonitor::getInterval() const
{
    return m_interval.load();
}

void ksReferenceUpdateMonitor::setRevisionCheckEnabled(bool enabled)
{
    m_revisionCheckEnabled.store(enabled);
}

bool ksReferenceUpdateMonitor::isRevisionCheckEnabled() const
{
    return m_revisionCheckEnabled.load();
}

void ksReferenceUpdateMonitor::setRevisionExpressions(const QStringList& expressions)
{
    // Whatever the pause count says, no thread may run while the
    // expressions change: it reads them without a lock.
    const bool wasRunning = m_thread.joinable();
    end();
    m_revisionMonitor.setExpressions(expressions);
    if (wasRunning)
        launch();
}

void ksReferenceUpdateMonitor::launch()
{
    if (m_thread.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopRequested = false;
    }
    m_thread = std::thread(&ksReferenceUpdateMonitor::run, this);
}

void ksReferenceUpdateMonitor::end()
{
    if (!m_thread.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopRequested = true;
    }
    m_wakeUp.notify_all();
    m_thread.join();
}

bool ksReferenceUpdateMonitor::isStopRequested()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_stopRequested;
}

void ksReferenceUpdateMonitor::run()
{
    for (;;) {
        QList<uint> changed;
        const bool complete = runPass(changed);
        // Nothing is reported from a pass cut short: its remaining files were
        // not looked at, and the owner is about to end the thread anyway.
        if (complete && !isStopRequested() && !changed.isEmpty())
            postResults(changed);
        if (complete)
            m_passCount.fetch_add(1, std::memory_order_release);
        if (waitForNextPass())
            return;
    }
}

void ksReferenceUpdateMonitor::postResults(const QList<uint>& coreIds)
{
    // Allocated before the lock, so that the owner's thread, which takes the
    // lock before it looks at the event, is ordered after the allocation.
    QEvent* event = new QEvent(resultsEventType());
    {
        std::lock_guard<std::mutex> lock(m_resultsMutex);
        m_results.append(coreIds);
    }
    QCoreApplication::postEvent(this, event);
}

void ksReferenceUpdateMonitor::customEvent(QEvent* event)
{
    QList<QList<uint>> results;
    {
        std::lock_guard<std::mutex> lock(m_resultsMutex);
        if (event->type() != resultsEventType()) {
            QObject::customEvent(event);
            return;
        }
        // Every pending list at once: later events of this kind find none.
        results.swap(m_results);
    }
    // Without the lock: a receiver may stop the monitor, which joins.
    for (const QList<uint>& coreIds : results)
        emit referencesUpdated(coreIds);
}

bool ksReferenceUpdateMonitor::runPass(QList<uint>& changed)
{
    // Every pass sees the directories afresh.
    ksRevisionMonitor::clearCache();
    // The pool's lock is held only while the snapshot is copied; the records
    // themselves are shared with the pool.
    const ksStatusSnapshot snapshot = ksReferencePool::instance().getStatusSnapshot();
    for (auto it = snapshot.cbegin(); it != snapshot.cend(); ++it) {
        if (isStopRequested())
            return false;
        const ksExtReferenceStatusPtr& statuses = it.value();
        if (!statuses)
            continue;
        bool stateChanged = false;
        if (const ksFileReferenceStatusPtr smart = statuses->smart())
            stateChanged = checkStatus(*smart);
        if (isStopRequested())
            return false;
        if (const ksFileReferenceStatusPtr source = statuses->source())
            stateChanged = checkStatus(*source) || stateChanged;
        if (stateChanged)
            changed.append(it.key());
    }
    return true;
}

bool ksReferenceUpdateMonitor::checkStatus(ksFileReferenceStatus& status)
{
    if (!status.hasPath || status.state.load() == ksReferenceTypes::NoPath)
        return false;
    const std::uint32_t oldState = status.state.load();
    std::uint64_t modified = 0;
    std::uint32_t newState = ksReferenceTypes::UpToDate;
    if (!statFile(status.path.constData(), modified)) {
        newState = ksReferenceTypes::Missing;
        // A restored file is checksummed again, whatever its time.
        status.lastModified.store(0);
        status.lastChecked.store(0);
    } else if (hasNewerRevision(status) || isContentChanged(status, modified)) {
        newState = ksReferenceTypes::Outdated;
    }
    status.state.store(newState);
    return newState != oldState;
}

bool ksReferenceUpdateMonitor::hasNewerRevision(const ksFileReferenceStatus& status)
{
    if (!m_revisionCheckEnabled.load())
        return false;
    const QString path = QString::fromUtf8(status.path);
    const QString current = m_revisionMonitor.getRevision(path);
    if (current.isEmpty())
        return false;
    const QString newest = m_revisionMonitor.getNewestRevision(m_revisionMonitor.findRevisions(path).keys());
    return current != newest;
}

bool ksReferenceUpdateMonitor::isContentChanged(ksFileReferenceStatus& status, std::uint64_t modified)
{
    if (modified == status.lastModified.load())
        return false;
    // This very time was checksummed before and differed: no second checksum
    // until the file changes again.
    if (modified == status.lastChecked.load())
        return true;
    const std::uint32_t sum = ksFile::getChecksum(status.path.constData(), 0);
    m_checksumCount.fetch_add(1, std::memory_order_relaxed);
    status.lastChecked.store(modified);
    const std::uint32_t recorded = status.checksum.load();
    if (recorded == 0) {
        status.checksum.store(sum);
        status.lastModified.store(modified);
        return false;
    }
    if (recorded == sum) {
        // Only touched: its new time becomes the recorded one.
        status.lastModified.store(modified);
        return false;
    }
    return true;
}

bool ksReferenceUpdateMonitor::waitForNextPass()
{
    const int interval = m_interval.load();
    std::unique_lock<std::mutex> lock(m_mutex);
    if (interval > 0) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(interval);
        m_wakeUp.wait_until(lock, deadline, [this] { return m_stopRequested; });
    }
    return m_stopRequested;
}
