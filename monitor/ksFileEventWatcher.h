// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <QByteArray>
#include <QHash>

#include <cstddef>
#include <functional>
#include <vector>

// The operating system's file events (Linux inotify) for a set of folders,
// read by the update monitor's thread: which names in a watched folder were
// written, created, deleted or renamed. One watch per folder, not per file,
// so that 10,000 files in a hundred folders cost a hundred watches.
//
// Used by one thread only; the descriptor is non-blocking, so reading never
// waits and the owner decides how long to wait for it (poll on fd()).
class ksFileEventWatcher
{
public:
    struct Change
    {
        QByteArray folder;
        // Empty when the event concerns the folder itself.
        QByteArray name;
        // Created, deleted or renamed, as opposed to written or touched:
        // what a folder's listing, and so its revisions, depends on.
        bool listingChanged = false;
    };

    ksFileEventWatcher();
    ~ksFileEventWatcher();

    ksFileEventWatcher(const ksFileEventWatcher&) = delete;
    ksFileEventWatcher& operator=(const ksFileEventWatcher&) = delete;

    // False when the system gave no inotify instance: everything is polled.
    bool isValid() const { return m_fd >= 0; }
    int fd() const { return m_fd; }

    // Watches exactly these folders, at most `limit` of them (in the order
    // given): new ones are added, ones no longer listed released. Returns how
    // many listed folders are not watched, beyond the limit or refused by the
    // system (a missing folder, the user's watch budget spent). Adding a
    // watch costs the system tens of microseconds under load, so `stop` is
    // asked every eight folders; when it says so, the rest is left
    // unwatched and -1 returned.
    int watchFolders(const std::vector<QByteArray>& folders, std::size_t limit,
                     const std::function<bool()>& stop = {});
    std::size_t watchCount() const { return std::size_t(m_folderOfWatch.size()); }
    bool isWatched(const QByteArray& folder) const { return m_watchOfFolder.contains(folder); }

    // Appends what happened since the last call. Returns false when the
    // system's queue overflowed and events were lost: the caller must look
    // at everything.
    bool readChanges(std::vector<Change>& changes);

    // The system's bound on watches per user (fs.inotify.max_user_watches).
    static std::size_t systemWatchLimit();

private:
    void release(int watch);

    int m_fd = -1;
    QHash<QByteArray, int> m_watchOfFolder;
    QHash<int, QByteArray> m_folderOfWatch;
};
