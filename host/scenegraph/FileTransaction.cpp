// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/FileTransaction.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace osg {

namespace {

struct Staged {
    std::string target;
    std::string temporary;
};

// The open transaction. `staged` keeps the order of the writes: files are
// renamed in that order, so a file that another one refers to (written
// first) is in place before the one that refers to it.
struct State {
    std::mutex mutex; // guards `index` and `staged` against stagedPath
    std::atomic<bool> open{false};
    int depth = 0;
    bool failed = false;
    std::vector<Staged> staged;
    std::unordered_map<std::string, std::size_t> index;
    std::vector<std::string> removeOnFailure;
};

State& state()
{
    static State* s = new State;
    return *s;
}

std::string systemError(int error)
{
    return std::strerror(error);
}

std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Starts writing the file back now, so that the durability pass at commit
// mostly waits for writes already under way instead of starting them all.
void startWriteBack(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
    ::close(fd);
}

bool syncFile(const std::string& path, bool directory, int& error)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | (directory ? O_DIRECTORY : 0));
    if (fd < 0) {
        error = errno;
        return false;
    }
    const int result = directory ? ::fsync(fd) : ::fdatasync(fd);
    error = errno;
    ::close(fd);
    // Some file systems cannot sync a folder; the rename is then as durable
    // as they make it.
    return result == 0 || (directory && (error == EINVAL || error == EROFS));
}

// The pid in a name temporaryPathFor makes (".<name>.tmp<pid>-<n>"), or 0
// for any other name.
pid_t temporaryOwner(const char* name)
{
    const std::string text(name);
    const std::size_t tag = text.rfind(".tmp");
    if (text.size() < 2 || text[0] != '.' || tag == std::string::npos || tag < 2)
        return 0;
    std::size_t i = tag + 4;
    long long pid = 0;
    const std::size_t pidStart = i;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && i - pidStart < 10; ++i)
        pid = pid * 10 + (text[i] - '0');
    if (i == pidStart || i >= text.size() || text[i] != '-' || pid <= 0 || pid > INT_MAX)
        return 0;
    const std::size_t countStart = ++i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9')
        ++i;
    return i == countStart || i != text.size() ? 0 : pid_t(pid);
}

bool isRunning(pid_t pid)
{
    // EPERM: running, under another user.
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

// Makes every staged file durable; 0, or the error of the first file
// (`failed`) that could not be synced. Syncs run side by side: a file
// system's journal then commits many of them together, where syncs one
// after the other each wait for a commit of their own.
int syncAll(const std::vector<Staged>& staged, std::size_t& failed)
{
    constexpr std::size_t MaxThreads = 16;
    constexpr std::size_t FilesPerThread = 4;
    const std::size_t threads = std::min(MaxThreads, staged.size() / FilesPerThread);
    std::atomic<std::size_t> next{0};
    std::mutex mutex;
    int firstError = 0;
    failed = staged.size();
    const auto work = [&] {
        for (std::size_t i; (i = next++) < staged.size();) {
            int code = 0;
            if (syncFile(staged[i].temporary, false, code))
                continue;
            std::lock_guard<std::mutex> lock(mutex);
            if (i < failed) {
                failed = i;
                firstError = code != 0 ? code : EIO;
            }
        }
    };
    std::vector<std::thread> others;
    try {
        for (std::size_t t = 1; t < threads; ++t)
            others.emplace_back(work);
    } catch (const std::system_error&) {
        // Out of threads or address space: the ones there do the rest.
    }
    work();
    for (std::thread& other : others)
        other.join();
    return firstError;
}

void discard(State& s)
{
    for (const Staged& file : s.staged)
        ::unlink(file.temporary.c_str());
    for (const std::string& path : s.removeOnFailure)
        ::unlink(path.c_str());
}

void reset(State& s)
{
    std::lock_guard<std::mutex> lock(s.mutex);
    s.staged.clear();
    s.index.clear();
    s.removeOnFailure.clear();
    s.failed = false;
    s.open = false;
}

} // namespace

FileTransaction::FileTransaction()
{
    State& s = state();
    m_outermost = s.depth++ == 0;
    if (m_outermost)
        s.open = true;
}

FileTransaction::~FileTransaction()
{
    State& s = state();
    --s.depth;
    if (!m_committed)
        s.failed = true;
    if (m_outermost) {
        if (!m_committed)
            discard(s);
        reset(s);
    }
}

std::string FileTransaction::temporaryPathFor(const std::string& path)
{
    static std::atomic<unsigned> counter{0};
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return folder + "." + name + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
}

void FileTransaction::stage(const std::string& temporary, const std::string& path)
{
    State& s = state();
    // The new version keeps the old one's permissions.
    struct stat old;
    if (::stat(path.c_str(), &old) == 0)
        ::chmod(temporary.c_str(), old.st_mode & 07777);
    startWriteBack(temporary);
    std::lock_guard<std::mutex> lock(s.mutex);
    const auto found = s.index.find(path);
    if (found != s.index.end()) {
        // Written again in the same save: the later content wins, and its
        // place is the later one.
        ::unlink(s.staged[found->second].temporary.c_str());
        s.staged.erase(s.staged.begin() + std::ptrdiff_t(found->second));
        s.index.clear();
        for (std::size_t i = 0; i < s.staged.size(); ++i)
            s.index[s.staged[i].target] = i;
    }
    s.index[path] = s.staged.size();
    s.staged.push_back({path, temporary});
}

void FileTransaction::removeOnFailure(const std::string& path)
{
    if (isOpen())
        state().removeOnFailure.push_back(path);
}

bool FileTransaction::commit(std::string& error)
{
    State& s = state();
    m_committed = true;
    if (s.failed) {
        error = "an earlier write of this save failed";
        m_committed = false;
        return false;
    }
    if (!m_outermost)
        return true;

    std::size_t failed = 0;
    int code = syncAll(s.staged, failed);
    if (code != 0) {
        error = s.staged[failed].target + ": " + systemError(code);
        m_committed = false;
        return false;
    }
    std::set<std::string> folders;
    for (std::size_t i = 0; i < s.staged.size(); ++i) {
        const Staged& file = s.staged[i];
        if (::rename(file.temporary.c_str(), file.target.c_str()) != 0) {
            error = file.target + ": " + systemError(errno);
            // What was renamed stays; the rest goes with the temporaries.
            std::lock_guard<std::mutex> lock(s.mutex);
            s.staged.erase(s.staged.begin(), s.staged.begin() + std::ptrdiff_t(i));
            s.removeOnFailure.clear();
            m_committed = false;
            return false;
        }
        folders.insert(folderOf(file.target));
    }
    for (const std::string& folder : folders) {
        if (!syncFile(folder, true, code)) {
            error = folder + ": " + systemError(code);
            std::lock_guard<std::mutex> lock(s.mutex);
            s.staged.clear();
            s.removeOnFailure.clear();
            m_committed = false;
            return false;
        }
    }
    return true;
}

int FileTransaction::removeStaleTemporaries() const
{
    State& s = state();
    std::set<std::string> folders;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        for (const Staged& file : s.staged)
            folders.insert(folderOf(file.target));
    }
    int removed = 0;
    for (const std::string& folder : folders)
        removed += removeStaleTemporaries(folder);
    return removed;
}

int FileTransaction::removeStaleTemporaries(const std::string& folder)
{
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return 0;
    const std::time_t staleBefore =
        std::time(nullptr) - std::chrono::duration_cast<std::chrono::seconds>(StaleAge).count();
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const pid_t owner = temporaryOwner(entry->d_name);
        struct stat info;
        if (owner == 0 || ::fstatat(::dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0
            || !S_ISREG(info.st_mode))
            continue;
        if ((!isRunning(owner) || info.st_mtime < staleBefore) && ::unlinkat(::dirfd(dir), entry->d_name, 0) == 0)
            ++removed;
    }
    ::closedir(dir);
    return removed;
}

bool FileTransaction::isOpen()
{
    return state().open;
}

std::string FileTransaction::stagedPath(const std::string& path)
{
    State& s = state();
    if (!s.open)
        return path;
    std::lock_guard<std::mutex> lock(s.mutex);
    const auto found = s.index.find(path);
    return found == s.index.end() ? path : s.staged[found->second].temporary;
}

} // namespace osg
