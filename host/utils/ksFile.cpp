// Licensed under the MIT licence; see LICENSE.
#include "utils/ksFile.h"

#include "scenegraph/FileTransaction.h"
#include "scenegraph/RegularFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <xxhash.h>
#if defined(__x86_64__)
// Picks the widest vector unit at run time; the result is the same on every
// path, only the speed differs (SSE2 alone hashes slower than read() copies).
#include <xxh_x86dispatch.h>
#define KS_XXH3_UPDATE XXH3_64bits_update_dispatch
#define KS_XXH3_WITH_SEED XXH3_64bits_withSeed_dispatch
#else
#define KS_XXH3_UPDATE XXH3_64bits_update
#define KS_XXH3_WITH_SEED XXH3_64bits_withSeed
#endif

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// XXH3 folded to 32 bits. XXH3 streams at memory speed, so reading, not
// hashing, bounds the cost; its 64 bits are folded rather than truncated so
// that every input bit still reaches the result.
std::uint32_t fold(XXH64_hash_t hash)
{
    const std::uint32_t value = static_cast<std::uint32_t>(hash) ^ static_cast<std::uint32_t>(hash >> 32);
    // 0 is reserved for "no checksum taken".
    return value != 0 ? value : 0x9e3779b9u;
}

char* threadBuffer()
{
    // One buffer per thread: no lock, and no allocation per file. Its size
    // keeps the freshly read block in the core's cache for the hash.
    thread_local std::unique_ptr<char[]> buffer(new char[ksFile::checksumBufferSize]);
    return buffer.get();
}

struct StateDeleter
{
    void operator()(XXH3_state_t* state) const { XXH3_freeState(state); }
};

// Reads until the buffer is full or the file ends; -1 on a read error.
ssize_t readFully(int fd, char* buffer, std::size_t size)
{
    std::size_t total = 0;
    while (total < size) {
        const ssize_t n = ::read(fd, buffer + total, size - total);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        total += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(total);
}

template <class String>
String unixSeparators(String path)
{
    for (auto& c : path) {
        if (c == '\\')
            c = '/';
    }
    return path;
}

std::size_t lastSeparator(const std::string& path)
{
    return path.find_last_of("/\\");
}

int lastSeparator(const QString& path)
{
    return std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
}

bool existsAt(const QString& path, bool acceptDirectories)
{
    const QFileInfo info(path);
    return info.isFile() || (acceptDirectories && info.isDir());
}

} // namespace

bool ksFile::exists(const QString& path, bool acceptDirectories, bool ignoreCase)
{
    if (path.isEmpty())
        return false;
    if (existsAt(QFile::decodeName(osg::FileTransaction::stagedPath(QFile::encodeName(path).toStdString()).c_str()),
                 acceptDirectories))
        return true;
    if (!ignoreCase)
        return false;

    const QFileInfo info(convertToUnixSeparators(path));
    const QDir directory = info.absoluteDir();
    if (!directory.exists())
        return false;
    const QString name = info.fileName();
    const auto entries = directory.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0 && existsAt(directory.filePath(entry), acceptDirectories))
            return true;
    }
    return false;
}

bool ksFile::exists(const std::string& path, bool acceptDirectories, bool ignoreCase)
{
    return exists(QString::fromStdString(path), acceptDirectories, ignoreCase);
}

bool ksFile::exists(const char* path, bool acceptDirectories, bool ignoreCase)
{
    return exists(QString::fromUtf8(path ? path : ""), acceptDirectories, ignoreCase);
}

std::uint32_t ksFile::getChecksum(const std::string& path, std::uint64_t seed)
{
    if (path.empty())
        return 0;
    // A directory, a pipe or a device has no content to compare, and
    // opening a pipe would block the monitor until a writer came.
    osg::RegularFile file;
    if (!file.open(osg::FileTransaction::stagedPath(path)))
        return 0;
    const int fd = file.descriptor();
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);

    char* buffer = threadBuffer();
    ssize_t n = readFully(fd, buffer, checksumBufferSize);
    if (n < 0)
        return 0;
    if (static_cast<std::size_t>(n) < checksumBufferSize)
        return getDataChecksum(buffer, static_cast<std::size_t>(n), seed);

    std::unique_ptr<XXH3_state_t, StateDeleter> state(XXH3_createState());
    if (!state || XXH3_64bits_reset_withSeed(state.get(), seed) != XXH_OK)
        return 0;
    while (n > 0) {
        KS_XXH3_UPDATE(state.get(), buffer, static_cast<std::size_t>(n));
        n = readFully(fd, buffer, checksumBufferSize);
    }
    if (n < 0)
        return 0;
    return fold(XXH3_64bits_digest(state.get()));
}

std::uint32_t ksFile::getChecksum(const QString& path, std::uint64_t seed)
{
    return getChecksum(path.toStdString(), seed);
}

std::uint32_t ksFile::getChecksum(const char* path, std::uint64_t seed)
{
    return getChecksum(std::string(path ? path : ""), seed);
}

std::uint32_t ksFile::getDataChecksum(const void* data, std::size_t size, std::uint64_t seed)
{
    return fold(KS_XXH3_WITH_SEED(size ? data : "", size, seed));
}

std::string ksFile::getOwner(const std::string& path)
{
    struct stat status;
    if (path.empty() || ::stat(osg::FileTransaction::stagedPath(path).c_str(), &status) != 0)
        return std::string();
    return getOwnerName(status.st_uid);
}

std::string ksFile::getOwnerName(unsigned int uid)
{
    // The user database is read afresh at every lookup; the files of one
    // project nearly always belong to one user, so the last answer is kept.
    thread_local uid_t lastUid = 0;
    thread_local std::string lastName;
    if (!lastName.empty() && uid == lastUid)
        return lastName;

    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    struct passwd entry;
    struct passwd* result = nullptr;
    while (::getpwuid_r(uid_t(uid), &entry, buffer.data(), buffer.size(), &result) == ERANGE)
        buffer.resize(buffer.size() * 2);
    lastUid = uid_t(uid);
    lastName = result && result->pw_name ? std::string(result->pw_name) : std::to_string(uid);
    return lastName;
}

std::string ksFile::getOwner(const QString& path)
{
    return getOwner(path.toStdString());
}

std::string ksFile::getOwner(const char* path)
{
    return getOwner(std::string(path ? path : ""));
}

std::string ksFile::getFileName(const std::string& path)
{
    const std::size_t separator = lastSeparator(path);
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

QString ksFile::getFileName(const QString& path)
{
    return path.mid(lastSeparator(path) + 1);
}

std::string ksFile::getFileName(const char* path)
{
    return getFileName(std::string(path ? path : ""));
}

std::string ksFile::getBaseName(const std::string& path)
{
    const std::string name = getFileName(path);
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

QString ksFile::getBaseName(const QString& path)
{
    const QString name = getFileName(path);
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    return dot <= 0 ? name : name.left(dot);
}

std::string ksFile::getBaseName(const char* path)
{
    return getBaseName(std::string(path ? path : ""));
}

std::string ksFile::convertToUnixSeparators(const std::string& path)
{
    return unixSeparators(path);
}

QString ksFile::convertToUnixSeparators(const QString& path)
{
    return unixSeparators(path);
}

std::string ksFile::convertToUnixSeparators(const char* path)
{
    return unixSeparators(std::string(path ? path : ""));
}

QStringList ksFile::getSearchCandidates(const QString& relativePath, const QString& name,
                                        const QString& masterDirectory, const QStringList& searchDirectories)
{
    // Nearest first: the project's own layout, then the file beside the
    // project, then wherever the user keeps shared files.
    const auto folder = [](const QString& directory) {
        QString dir = convertToUnixSeparators(directory);
        if (!dir.endsWith(QLatin1Char('/')))
            dir.append(QLatin1Char('/'));
        return dir;
    };
    QStringList candidates;
    if (!masterDirectory.isEmpty()) {
        const QString dir = folder(masterDirectory);
        if (!relativePath.isEmpty() && QDir::isRelativePath(relativePath))
            candidates << dir + relativePath;
        candidates << dir + name;
    }
    for (const QString& directory : searchDirectories)
        candidates << folder(directory) + name;
    return candidates;
}

bool ksFile::isFound(const QString& candidate)
{
    return QFileInfo(candidate).isAbsolute() && exists(candidate);
}
