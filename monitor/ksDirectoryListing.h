// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

// A snapshot of one directory, read once and then matched against any number of name
// filters. For every filter, names() gives exactly what
//   QDir(dir).entryList(QStringList{filter}, QDir::NoFilter, QDir::NoSort)
// would have listed at the time of the read:
// - hidden names (leading '.') are left out, but "." and ".." are kept and matched
//   like any other name;
// - files and directories are in, and so are symlinks whose target exists, whatever
//   that target is; broken symlinks, fifos, sockets and devices are out;
// - names that do not survive a round trip through the local 8-bit encoding are
//   skipped, as Qt's directory iterator skips them.
//
// Reading costs one pass of getdents64 plus a copy of the names; symlinks are only
// resolved once a filter matches them. A snapshot belongs to one thread.
class ksDirectoryListing
{
public:
    // Reads the directory now; one that cannot be opened gives an empty snapshot.
    explicit ksDirectoryListing(const QString& absoluteDir);
    ksDirectoryListing(const ksDirectoryListing&) = delete;
    ksDirectoryListing& operator=(const ksDirectoryListing&) = delete;

    QSet<QString> names(const QString& filter);

    // Entries kept by the read, before any filter ("." and ".." included).
    int entryCount() const { return int(m_entries.size()); }

    // How many directories the calling thread has read so far.
    static std::uint64_t threadReadCount();

private:
    enum class Kind : std::uint8_t { Shown, Hidden, Link, Unknown };

    // Plain data, so that growing the vector is a memmove.
    struct Entry
    {
        std::uint32_t offset;
        std::uint16_t length;
        Kind kind;
        bool ascii;
        std::uint64_t head;
    };

    void read();
    void add(const char* name, std::size_t length, unsigned char type);
    bool isShown(Entry& entry);
    const QString& nameOf(std::size_t index);

    QByteArray m_nativeDir;
    std::string m_bytes;
    std::vector<Entry> m_entries;
    // Parallel to m_entries: decoded at read time for non-ASCII names, made on first
    // match for ASCII ones; empty until some name is needed.
    std::vector<QString> m_names;
};
