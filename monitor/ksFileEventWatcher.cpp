// Licensed under the MIT licence; see LICENSE.
#include "monitor/ksFileEventWatcher.h"

#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <sys/inotify.h>
#include <unistd.h>

namespace {

// Content written or touched, and names coming and going; the folder's own
// removal or rename ends its watch.
constexpr std::uint32_t FolderEvents = IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB | IN_CREATE | IN_DELETE
                                       | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF
                                       | IN_ONLYDIR;
constexpr std::uint32_t ListingEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;

} // namespace

ksFileEventWatcher::ksFileEventWatcher()
    : m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
{
}

ksFileEventWatcher::~ksFileEventWatcher()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

std::size_t ksFileEventWatcher::systemWatchLimit()
{
    std::size_t limit = 8192;
    if (FILE* file = std::fopen("/proc/sys/fs/inotify/max_user_watches", "re")) {
        unsigned long value = 0;
        if (std::fscanf(file, "%lu", &value) == 1 && value > 0)
            limit = value;
        std::fclose(file);
    }
    return limit;
}

int ksFileEventWatcher::watchFolders(const std::vector<QByteArray>& folders, std::size_t limit,
                                     const std::function<bool()>& stop)
{
    if (m_fd < 0)
        return int(folders.size());
    QSet<QByteArray> wanted;
    wanted.reserve(int(std::min(folders.size(), limit)));
    for (const QByteArray& folder : folders) {
        if (std::size_t(wanted.size()) >= limit)
            break;
        wanted.insert(folder);
    }
    int changes = 0;
    for (auto it = m_watchOfFolder.begin(); it != m_watchOfFolder.end();) {
        if (wanted.contains(it.key())) {
            ++it;
            continue;
        }
        if (stop && ++changes % 8 == 0 && stop())
            return -1;
        inotify_rm_watch(m_fd, it.value());
        m_folderOfWatch.remove(it.value());
        it = m_watchOfFolder.erase(it);
    }
    int unwatched = int(folders.size()) - wanted.size();
    for (const QByteArray& folder : wanted) {
        if (m_watchOfFolder.contains(folder))
            continue;
        if (stop && ++changes % 8 == 0 && stop())
            return -1;
        const int watch = inotify_add_watch(m_fd, folder.constData(), FolderEvents);
        // Refused (no such folder, budget spent), or the same folder under
        // another name: the poll covers it.
        if (watch < 0 || m_folderOfWatch.contains(watch)) {
            ++unwatched;
            continue;
        }
        m_watchOfFolder.insert(folder, watch);
        m_folderOfWatch.insert(watch, folder);
    }
    return unwatched;
}

void ksFileEventWatcher::release(int watch)
{
    const QByteArray folder = m_folderOfWatch.take(watch);
    m_watchOfFolder.remove(folder);
}

bool ksFileEventWatcher::readChanges(std::vector<Change>& changes)
{
    if (m_fd < 0)
        return true;
    bool complete = true;
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
        const ssize_t length = ::read(m_fd, buffer, sizeof buffer);
        if (length <= 0) {
            if (length < 0 && errno == EINTR)
                continue;
            return complete;
        }
        for (ssize_t offset = 0; offset < length;) {
            inotify_event event;
            std::memcpy(&event, buffer + offset, sizeof event);
            const char* name = buffer + offset + sizeof(inotify_event);
            offset += ssize_t(sizeof(inotify_event) + event.len);
            if (event.mask & IN_Q_OVERFLOW) {
                complete = false;
                continue;
            }
            const auto folder = m_folderOfWatch.constFind(event.wd);
            if (folder == m_folderOfWatch.constEnd())
                continue;
            Change change;
            change.folder = folder.value();
            if (event.len > 0)
                change.name = QByteArray(name, int(qstrnlen(name, event.len)));
            change.listingChanged = (event.mask & (ListingEvents | IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) != 0;
            changes.push_back(std::move(change));
            // The folder went away: the system dropped its watch. A folder
            // made again under the name is watched at the next refresh.
            if (event.mask & IN_IGNORED)
                release(event.wd);
            else if (event.mask & (IN_DELETE_SELF | IN_MOVE_SELF)) {
                inotify_rm_watch(m_fd, event.wd);
                release(event.wd);
            }
        }
    }
}
