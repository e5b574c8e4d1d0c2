// Licensed under the MIT licence; see LICENSE.
#include "monitor/ksDirectoryListing.h"

#include "monitor/ksDirectoryListingFilter.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

thread_local std::uint64_t t_readCount = 0;

// What glibc's readdir uses; larger buffers save a few system calls but cost page
// faults whenever malloc hands them out fresh.
constexpr std::size_t kReadBufferSize = 32 * 1024;

} // namespace

ksDirectoryListing::ksDirectoryListing(const QString& absoluteDir)
    : m_nativeDir(QFile::encodeName(absoluteDir))
{
    read();
}

std::uint64_t ksDirectoryListing::threadReadCount()
{
    return t_readCount;
}

void ksDirectoryListing::read()
{
    ++t_readCount;
    const int fd = ::open(m_nativeDir.isEmpty() ? "." : m_nativeDir.constData(),
                          O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;

    // A directory's size in bytes is a fair upper bound of its name bytes, and about
    // twenty times its entry count on common file systems.
    struct stat info;
    if (::fstat(fd, &info) == 0 && info.st_size > 0 && info.st_size < (std::int64_t(1) << 30)) {
        m_bytes.reserve(std::size_t(info.st_size));
        m_entries.reserve(std::size_t(info.st_size) / 20);
    }

    std::unique_ptr<char[]> buffer(new char[kReadBufferSize]);
    for (;;) {
        const ssize_t count = ::getdents64(fd, buffer.get(), kReadBufferSize);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        for (ssize_t position = 0; position < count;) {
            const auto* entry = reinterpret_cast<const struct dirent64*>(buffer.get() + position);
            position += entry->d_reclen;
            add(entry->d_name, std::strlen(entry->d_name), entry->d_type);
        }
    }
    ::close(fd);
}

void ksDirectoryListing::add(const char* name, std::size_t length, unsigned char type)
{
    if (length == 0 || length > 0xffff)
        return;
    const bool dotOrDotDot = name[0] == '.' && (length == 1 || (length == 2 && name[1] == '.'));
    if (name[0] == '.' && !dotOrDotDot)
        return;

    Kind kind;
    switch (type) {
    case DT_REG:
    case DT_DIR:
        kind = Kind::Shown;
        break;
    case DT_LNK:
        kind = Kind::Link;
        break;
    case DT_UNKNOWN:
        kind = Kind::Unknown;
        break;
    default: // fifos, sockets and devices count as system entries
        return;
    }

    unsigned char highBits = 0;
    for (std::size_t i = 0; i < length; ++i)
        highBits |= static_cast<unsigned char>(name[i]);
    const bool ascii = highBits < 0x80;

    if (!ascii) {
        const QString decoded = QFile::decodeName(QByteArray::fromRawData(name, int(length)));
        if (QFile::encodeName(decoded) != QByteArray::fromRawData(name, int(length)))
            return;
        m_names.resize(m_entries.size() + 1);
        m_names.back() = decoded;
    }

    m_entries.push_back(Entry{std::uint32_t(m_bytes.size()), std::uint16_t(length), kind, ascii,
                              ascii ? ksDirectoryListingFilter::head(name, length) : 0});
    m_bytes.append(name, length);
}

bool ksDirectoryListing::isShown(Entry& entry)
{
    if (entry.kind == Kind::Shown)
        return true;
    if (entry.kind == Kind::Hidden)
        return false;

    QByteArray path = m_nativeDir;
    path += '/';
    path.append(m_bytes.data() + entry.offset, entry.length);
    struct stat info;
    bool shown;
    if (entry.kind == Kind::Unknown && ::lstat(path.constData(), &info) == 0 && !S_ISLNK(info.st_mode))
        shown = S_ISREG(info.st_mode) || S_ISDIR(info.st_mode);
    else
        shown = ::stat(path.constData(), &info) == 0; // a link counts while its target exists
    entry.kind = shown ? Kind::Shown : Kind::Hidden;
    return shown;
}

const QString& ksDirectoryListing::nameOf(std::size_t index)
{
    if (m_names.size() < m_entries.size())
        m_names.resize(m_entries.size());
    QString& name = m_names[index];
    if (name.isNull()) {
        const Entry& entry = m_entries[index];
        name = QString::fromLatin1(m_bytes.data() + entry.offset, entry.length);
    }
    return name;
}

QSet<QString> ksDirectoryListing::names(const QString& filter)
{
    ksDirectoryListingFilter matcher(filter);
    const bool asciiMatcher = matcher.hasAsciiMatcher();
    const std::uint64_t mask = matcher.headMask();
    const std::uint64_t value = matcher.headValue();
    const char* bytes = m_bytes.data();

    std::vector<std::size_t> hits;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        Entry& entry = m_entries[i];
        bool match;
        if (entry.ascii && asciiMatcher) {
            if ((entry.head & mask) != value)
                continue;
            match = matcher.matchAscii(bytes + entry.offset, entry.length);
        } else {
            match = matcher.matchQt(nameOf(i));
        }
        // Qt tests the name first and the file type second; so do we, which keeps
        // symlinks that no filter wants from ever being resolved.
        if (match && isShown(entry))
            hits.push_back(i);
    }

    QSet<QString> result;
    result.reserve(int(hits.size()));
    for (const std::size_t i : hits)
        result.insert(nameOf(i));
    return result;
}
