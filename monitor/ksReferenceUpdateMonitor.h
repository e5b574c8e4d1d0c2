// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "model/ksStatusSnapshot.h"
#include "monitor/ksFileEventWatcher.h"
#include "monitor/ksRevisionMonitor.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class ksFileReferenceStatus;

// Watches the smart and source files of every pooled reference on a thread of
// its own. Each pass takes a snapshot of the pool's status records, checks
// each file's presence, time, content (and newer revisions, when enabled),
// writes the new file states into the records and reports the ids of the
// reference cores whose state changed in one referencesUpdated signal.
//
// Between passes the thread also waits for the operating system's file
// events on the folders of those files: a change wakes it at once, and it
// checks the files the events name (the whole folder when names came or
// went and revision checks are on) the way a pass does. The full pass still
// runs at the interval, as the net for what events miss. Folders beyond the
// watch bound are polled only.
//
// Control is main-thread only. Pauses nest: every setPaused(true) needs its
// setPaused(false) before the thread runs again; a resume without a pause
// does nothing. A stop request is honoured
// between two file checks and ends the wait between passes at once.
class ksReferenceUpdateMonitor : public QObject
{
    Q_OBJECT
    // For hosts that reach the monitor by its object name only.
    Q_PROPERTY(bool fileEventsEnabled READ isFileEventsEnabled WRITE setFileEventsEnabled)

public:
    explicit ksReferenceUpdateMonitor(QObject* parent = nullptr);
    // Ends the thread if one runs.
    ~ksReferenceUpdateMonitor() override;

    ksReferenceUpdateMonitor(const ksReferenceUpdateMonitor&) = delete;
    ksReferenceUpdateMonitor& operator=(const ksReferenceUpdateMonitor&) = delete;

    // A new thread starts with a pass at once, unless the monitor is paused;
    // then it starts when the last pause ends.
    void start();
    // Joins the thread, if there is one: a paused monitor has none.
    void stop();
    void setPaused(bool paused);
    bool isPaused() const;
    // Milliseconds between two passes, from the next wait on; 0 or less runs
    // passes back to back.
    void setInterval(int milliseconds);
    int getInterval() const;
    void setRevisionCheckEnabled(bool enabled);
    bool isRevisionCheckEnabled() const;
    // A running thread is ended while the expressions change and started
    // again afterwards, so that no thread sees them change under it.
    void setRevisionExpressions(const QStringList& expressions);

    // File events on (the default) or polling alone. A running thread is
    // ended and started again, so it never sees the mode change under it.
    void setFileEventsEnabled(bool enabled);
    bool isFileEventsEnabled() const { return m_fileEventsEnabled.load(); }
    // At most this many folders are watched, from the next launch on; the
    // rest are polled only. Below 0: half the system's watches per user.
    void setWatchLimit(int folders);
    // The pool's statuses changed (a reference came, went, or got other
    // files): the thread brings its watches in step when it next wakes. Safe
    // to call while the pool holds its lock: it only sets a flag and wakes.
    void statusesChanged();

    bool isStarted() const { return m_started; }
    // A worker thread exists: started and not paused.
    bool isRunning() const { return m_thread.joinable(); }

    // Counters for diagnostics and measurements; readable from any thread.
    // Completed passes (a pass cut short by a stop does not count) and
    // checksums taken, since construction.
    std::uint64_t getPassCount() const { return m_passCount.load(std::memory_order_acquire); }
    std::uint64_t getChecksumCount() const { return m_checksumCount.load(std::memory_order_relaxed); }
    // Checks woken by file events (each over the files they named), and the
    // folders watched now.
    std::uint64_t getEventPassCount() const { return m_eventPassCount.load(std::memory_order_acquire); }
    int getWatchCount() const { return m_watchCount.load(std::memory_order_acquire); }

signals:
    // The container ids of the reference cores whose smart or source file
    // state changed in one pass. The worker hands each pass's list to the
    // thread the monitor object lives in (the main thread) through a posted
    // event, and the signal is emitted there from the event loop: receivers
    // get the results queued, as from a queued connection, and the handoff
    // goes through a lock that ThreadSanitizer sees (Qt's queue of posted
    // events is invisible to it).
    void referencesUpdated(QList<uint> coreIds);

protected:
    void customEvent(QEvent* event) override;

private:
    void launch();
    // Must not run on the monitor's own thread: it joins it.
    void end();
    void run();
    // One pass over a snapshot of the pool; false when a stop cut it short.
    bool runPass(QList<uint>& changed);
    // Whether the status's file state changed.
    bool checkStatus(ksFileReferenceStatus& status);
    bool hasNewerRevision(const ksFileReferenceStatus& status);
    bool isContentChanged(ksFileReferenceStatus& status, std::uint64_t modified);
    bool isStopRequested();
    // On the worker: queues one pass's results for the owner's thread.
    void postResults(const QList<uint>& coreIds);
    // Waits out the interval; true when a stop was requested.
    bool waitForNextPass();

    // What woke the thread while it waits for file events.
    enum class Wake { Stop, Deadline, Events, Statuses };
    using Clock = std::chrono::steady_clock;
    // Waits for the deadline, a stop, file events or changed statuses.
    Wake waitForEvents(Clock::time_point deadline);
    // Until the next full pass, checks what file events name.
    bool watchUntil(Clock::time_point deadline);
    // Indexes the snapshot's files by folder and watches those folders.
    void refreshWatches(const ksStatusSnapshot& snapshot);
    // Frees the tables a refresh replaced, a thousand files at a time;
    // false when a stop came first (the next launch frees the rest).
    bool releaseRetiredWatches();
    // Checks the files the changes name; false when a stop cut it short.
    bool runEventPass(const std::vector<ksFileEventWatcher::Change>& changes, QList<uint>& changed);
    void wakeThread();

    std::atomic<bool> m_revisionCheckEnabled{false};
    std::atomic<int> m_interval{5000};
    std::atomic<int> m_pauseCount{0};
    bool m_started = false;
    // Guarded by m_mutex, as is the wait on m_wakeUp.
    bool m_stopRequested = false;
    // Used by the thread only while it runs; changed only while none does.
    ksRevisionMonitor m_revisionMonitor;
    std::condition_variable m_wakeUp;
    std::thread m_thread;
    std::mutex m_mutex;

    // Results of passes not yet announced, oldest first.
    std::mutex m_resultsMutex;
    QList<QList<uint>> m_results;

    std::atomic<bool> m_fileEventsEnabled{true};
    std::atomic<int> m_watchLimit{-1};
    // Set by statusesChanged, taken by the thread.
    std::atomic<bool> m_statusesChanged{false};
    // An eventfd that wakes a thread waiting for file events; it exists while
    // a thread does (made by launch, closed by end).
    int m_wakeFd = -1;

    // The thread's own, while it runs: the watcher, and the snapshot's files
    // by folder.
    struct WatchedFile
    {
        QByteArray name;
        std::uint32_t id = 0;
        ksExtReferenceStatusPtr statuses;
        bool smart = false;
    };
    std::unique_ptr<ksFileEventWatcher> m_watcher;
    using FilesByFolder = QHash<QByteArray, std::vector<WatchedFile>>;
    ksStatusSnapshot m_watchedSnapshot;
    FilesByFolder m_filesByFolder;
    // Replaced by a refresh and not yet freed: freeing 100,000 entries takes
    // longer than a stop may wait, so it happens in steps that look at the
    // stop flag, or in the next launch.
    ksStatusSnapshot m_retiredSnapshot;
    FilesByFolder m_retiredFiles;
    bool m_foldersToRetry = false;
    bool m_watchBoundLogged = false;

    std::atomic<std::uint64_t> m_passCount{0};
    std::atomic<std::uint64_t> m_eventPassCount{0};
    std::atomic<int> m_watchCount{0};
    std::atomic<std::uint64_t> m_checksumCount{0};
};
