// Licensed under the MIT licence; see LICENSE.
#include "monitor/ksReferenceUpdateMonitor.h"

#include "model/ksFileReferenceStatus.h"
#include "model/ksFileTime.h"
#include "model/ksReferencePool.h"
#include "references/ksReferenceTypes.h"
#include "utils/ksFile.h"
#include "utils/ksLog.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaType>
#include <QString>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QEvent::Type resultsEventType()
{
    static const QEvent::Type type = QEvent::Type(QEvent::registerEventType());
    return type;
}

} // namespace

ksReferenceUpdateMonitor::ksReferenceUpdateMonitor(QObject* parent)
    : QObject(parent)
{
    // Named as the signal spells it, so that queued connections to other
    // threads can copy the list.
    qRegisterMetaType<QList<uint>>("QList<uint>");
    resultsEventType();
    // Direct: the pool's hooks run on this object's thread, and the receiver
    // only sets a flag and wakes the worker.
    connect(&ksReferencePool::instance(), &ksReferencePool::statusesChanged, this,
            &ksReferenceUpdateMonitor::statusesChanged, Qt::DirectConnection);
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

void ksReferenceUpdateMonitor::setFileEventsEnabled(bool enabled)
{
    if (m_fileEventsEnabled.exchange(enabled) == enabled)
        return;
    if (m_thread.joinable()) {
        end();
        launch();
    }
}

void ksReferenceUpdateMonitor::setWatchLimit(int folders)
{
    m_watchLimit.store(folders);
}

void ksReferenceUpdateMonitor::statusesChanged()
{
    // One wake per batch of changes: the flag stays set until the thread
    // has looked at the new statuses.
    if (!m_statusesChanged.exchange(true))
        wakeThread();
}

void ksReferenceUpdateMonitor::wakeThread()
{
    if (m_wakeFd < 0)
        return;
    const std::uint64_t one = 1;
    // A full counter (never in practice) still leaves the thread woken.
    [[maybe_unused]] const ssize_t written = ::write(m_wakeFd, &one, sizeof one);
}

void ksReferenceUpdateMonitor::launch()
{
    if (m_thread.joinable())
        return;
    // What the last thread watched; the new one starts from nothing.
    m_watcher.reset();
    m_filesByFolder.clear();
    m_retiredFiles.clear();
    m_watchedSnapshot = ksStatusSnapshot();
    m_retiredSnapshot = ksStatusSnapshot();
    m_foldersToRetry = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopRequested = false;
    }
    if (m_fileEventsEnabled.load())
        m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
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
    wakeThread();
    m_thread.join();
    if (m_wakeFd >= 0) {
        ::close(m_wakeFd);
        m_wakeFd = -1;
    }
}

bool ksReferenceUpdateMonitor::isStopRequested()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_stopRequested;
}

void ksReferenceUpdateMonitor::run()
{
    if (m_wakeFd >= 0) {
        m_watcher = std::make_unique<ksFileEventWatcher>();
        if (!m_watcher->isValid()) {
            ksLog::warning("Update monitor: no file events (%s); files are checked at the interval only.",
                           std::strerror(errno));
            m_watcher.reset();
        }
    }
    for (;;) {
        QList<uint> changed;
        const bool complete = runPass(changed);
        // Nothing is reported from a pass cut short: its remaining files were
        // not looked at, and the owner is about to end the thread anyway.
        if (complete && !isStopRequested() && !changed.isEmpty())
            postResults(changed);
        if (complete)
            m_passCount.fetch_add(1, std::memory_order_release);
        // Between passes, so that a table replaced by the pass's refresh is
        // not kept until the next one.
        releaseRetiredWatches();
        const int interval = m_interval.load();
        const bool stop = m_watcher && interval > 0
                              ? !watchUntil(Clock::now() + std::chrono::milliseconds(interval))
                              : waitForNextPass();
        if (stop)
            break;
    }
    // Watches are the thread's: the next thread sets them up afresh. Their
    // tables are let go by the next launch, not here, where every stop would
    // wait for 100,000 entries to be freed.
    m_watchCount.store(0, std::memory_order_release);
}

bool ksReferenceUpdateMonitor::watchUntil(Clock::time_point deadline)
{
    for (;;) {
        switch (waitForEvents(deadline)) {
        case Wake::Stop:
            return false;
        case Wake::Deadline:
            return true;
        case Wake::Statuses:
            m_statusesChanged.store(false);
            refreshWatches(ksReferencePool::instance().getStatusSnapshot());
            continue;
        case Wake::Events:
            break;
        }
        std::vector<ksFileEventWatcher::Change> changes;
        bool complete = m_watcher->readChanges(changes);
        // One save is often several writes: let the burst settle (a quiet
        // 2 ms, 20 ms at most) so that the file is checked once, complete.
        const Clock::time_point settled = Clock::now() + std::chrono::milliseconds(20);
        while (complete && Clock::now() < settled && !isStopRequested()) {
            pollfd events{m_watcher->fd(), POLLIN, 0};
            if (::poll(&events, 1, 2) <= 0)
                break;
            complete = m_watcher->readChanges(changes);
        }
        if (isStopRequested())
            return false;
        // Events were lost: only a full pass can tell what changed.
        if (!complete)
            return true;
        QList<uint> changed;
        if (!runEventPass(changes, changed))
            return false;
        if (!changed.isEmpty())
            postResults(changed);
        m_eventPassCount.fetch_add(1, std::memory_order_release);
    }
}

ksReferenceUpdateMonitor::Wake ksReferenceUpdateMonitor::waitForEvents(Clock::time_point deadline)
{
    for (;;) {
        if (isStopRequested())
            return Wake::Stop;
        if (m_statusesChanged.load())
            return Wake::Statuses;
        const Clock::time_point now = Clock::now();
        if (now >= deadline)
            return Wake::Deadline;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
        pollfd fds[2] = {{m_wakeFd, POLLIN, 0}, {m_watcher->fd(), POLLIN, 0}};
        const int ready = ::poll(fds, 2, int(std::min<long long>(left, INT_MAX)));
        if (ready < 0 && errno != EINTR)
            return Wake::Deadline;
        if (fds[0].revents & POLLIN) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t got = ::read(m_wakeFd, &count, sizeof count);
            continue;
        }
        if (fds[1].revents & POLLIN)
            return Wake::Events;
    }
}

bool ksReferenceUpdateMonitor::releaseRetiredWatches()
{
    std::size_t freed = 0;
    for (auto it = m_retiredFiles.begin(); it != m_retiredFiles.end();) {
        if (freed >= 1024) {
            if (isStopRequested())
                return false;
            freed = 0;
        }
        freed += it->size();
        it = m_retiredFiles.erase(it);
    }
    m_retiredSnapshot = ksStatusSnapshot();
    return true;
}

void ksReferenceUpdateMonitor::refreshWatches(const ksStatusSnapshot& snapshot)
{
    // The table is built beside the one it replaces, which is freed in steps:
    // a stop never waits for 100,000 entries to be freed at once.
    if (!releaseRetiredWatches()) {
        m_statusesChanged.store(true);
        return;
    }
    FilesByFolder filesByFolder;
    std::vector<QByteArray> folders;
    const auto add = [&](std::uint32_t id, const ksExtReferenceStatusPtr& statuses, bool smart) {
        const ksFileReferenceStatusPtr status = smart ? statuses->smart() : statuses->source();
        if (!status || !status->hasPath)
            return;
        const int slash = status->path.lastIndexOf('/');
        const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/")
                                                                          : status->path.left(slash);
        std::vector<WatchedFile>& files = filesByFolder[folder];
        if (files.empty())
            folders.push_back(folder);
        files.push_back({status->path.mid(slash + 1), id, statuses, smart});
    };
    std::size_t seen = 0;
    for (auto it = snapshot.cbegin(); it != snapshot.cend(); ++it) {
        // A stop does not wait for the table of 100,000 files; the half-built
        // table is freed later, and built again should the thread go on.
        if (++seen % 1024 == 0 && isStopRequested()) {
            m_retiredFiles.swap(filesByFolder);
            m_statusesChanged.store(true);
            return;
        }
        if (!it.value())
            continue;
        add(it.key(), it.value(), true);
        add(it.key(), it.value(), false);
    }
    m_retiredFiles.swap(m_filesByFolder);
    m_filesByFolder.swap(filesByFolder);
    m_retiredSnapshot = m_watchedSnapshot;
    m_watchedSnapshot = snapshot;
    const int limit = m_watchLimit.load();
    const std::size_t bound = limit >= 0 ? std::size_t(limit) : ksFileEventWatcher::systemWatchLimit() / 2;
    const int beyond = m_watcher->watchFolders(folders, bound, [this] { return isStopRequested(); });
    if (beyond < 0) {
        m_statusesChanged.store(true);
        return;
    }
    m_watchCount.store(int(m_watcher->watchCount()), std::memory_order_release);
    // Within the bound but refused: a folder that does not exist (yet). Each
    // full pass tries again, so a folder made later gets its watch.
    m_foldersToRetry = beyond > 0 && m_watcher->watchCount() < std::min(bound, folders.size());
    // A missing folder is no news (its files are reported missing); a bound
    // that leaves folders to the poll is, once.
    if (folders.size() > bound && !m_watchBoundLogged) {
        m_watchBoundLogged = true;
        ksLog::info("Update monitor: %zu folder(s) beyond the bound of %zu file-event watches are checked "
                    "at the interval only.",
                    folders.size() - bound, bound);
    }
}

bool ksReferenceUpdateMonitor::runEventPass(const std::vector<ksFileEventWatcher::Change>& changes,
                                            QList<uint>& changed)
{
    // A name that came or went may be a newer revision of a watched file.
    ksRevisionMonitor::clearCache();
    const bool revisions = m_revisionCheckEnabled.load();
    std::vector<const WatchedFile*> due;
    for (const ksFileEventWatcher::Change& change : changes) {
        const auto files = m_filesByFolder.constFind(change.folder);
        if (files == m_filesByFolder.constEnd())
            continue;
        const bool wholeFolder = change.name.isEmpty() || (change.listingChanged && revisions);
        for (const WatchedFile& file : *files) {
            if (wholeFolder || file.name == change.name)
                due.push_back(&file);
        }
    }
    // Each file once, in the order of a pass: by core, smart before source.
    std::sort(due.begin(), due.end(), [](const WatchedFile* a, const WatchedFile* b) {
        return a->id != b->id ? a->id < b->id : a->smart > b->smart;
    });
    due.erase(std::unique(due.begin(), due.end()), due.end());
    for (const WatchedFile* file : due) {
        if (isStopRequested())
            return false;
        const ksFileReferenceStatusPtr status = file->smart ? file->statuses->smart() : file->statuses->source();
        if (status && checkStatus(*status) && (changed.isEmpty() || changed.last() != file->id))
            changed.append(file->id);
    }
    return true;
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
    // Watches first: a file that changes after its check then still wakes us.
    if (m_watcher && (m_statusesChanged.exchange(false) || m_foldersToRetry
                      || snapshot.begin() != m_watchedSnapshot.begin()
                      || snapshot.size() != m_watchedSnapshot.size()))
        refreshWatches(snapshot);
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
    if (!ksStatFile(status.path.constData(), modified)) {
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
