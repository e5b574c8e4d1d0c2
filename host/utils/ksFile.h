// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <string>

// File utilities of the host. Paths are UTF-8 byte strings (as scene-graph
// fields hold them) or Qt strings. Every function is safe to call from any
// thread; the update monitor takes checksums from its own thread. While a
// save is open (osg::FileTransaction), the functions that read a file read
// the new content staged for it, which becomes the file at commit.
class ksFile
{
public:
    // True when a regular file (a directory only with acceptDirectories) is
    // at the path. With ignoreCase, a name that differs only in letter case
    // in an existing directory counts too, as scenes made on case-blind file
    // systems name their files.
    static bool exists(const std::string& path, bool acceptDirectories = false, bool ignoreCase = false);
    static bool exists(const QString& path, bool acceptDirectories = false, bool ignoreCase = false);
    static bool exists(const char* path, bool acceptDirectories = false, bool ignoreCase = false);

    // 32-bit checksum of the file's content, read in one streaming pass.
    // 0 means "no checksum": it is returned for a path that is not a
    // readable regular file, and never for real content (an empty file
    // included). The value is stable across runs and builds; the seed gives
    // independent families of checksums, 0 being the one the host stores.
    static std::uint32_t getChecksum(const std::string& path, std::uint64_t seed = 0);
    static std::uint32_t getChecksum(const QString& path, std::uint64_t seed = 0);
    static std::uint32_t getChecksum(const char* path, std::uint64_t seed = 0);
    // The same checksum of content held in memory.
    static std::uint32_t getDataChecksum(const void* data, std::size_t size, std::uint64_t seed = 0);

    // Name of the file's owner; the numeric user id when it has no name,
    // empty when the file does not exist.
    static std::string getOwner(const std::string& path);
    static std::string getOwner(const QString& path);
    static std::string getOwner(const char* path);
    // The user name of a user id (the number when the user is unknown).
    static std::string getOwnerName(unsigned int uid);

    // File-name functions. They work on the text alone, accept '\' as a separator
    // too, and do not touch the file system.
    // The file name without its last suffix ("a/b.tar.gz" gives "b.tar");
    // a leading dot does not start a suffix (".cache" stays ".cache").
    static std::string getBaseName(const std::string& path);
    static QString getBaseName(const QString& path);
    static std::string getBaseName(const char* path);
    // The file name with its suffixes ("a\b.stp" gives "b.stp").
    static std::string getFileName(const std::string& path);
    static QString getFileName(const QString& path);
    static std::string getFileName(const char* path);
    // Every '\' made '/'.
    static std::string convertToUnixSeparators(const std::string& path);
    static QString convertToUnixSeparators(const QString& path);
    static std::string convertToUnixSeparators(const char* path);

    // Where a file that moved is looked for, nearest first: `relativePath`
    // below the master directory (when it is relative), the file `name`
    // there, then `name` in each search directory. Without a master
    // directory only the search directories are asked.
    static QStringList getSearchCandidates(const QString& relativePath, const QString& name,
                                           const QString& masterDirectory, const QStringList& searchDirectories);
    // A candidate counts only as an absolute path to a regular file; a
    // relative one would be found against the process's working directory.
    static bool isFound(const QString& candidate);

    // Read size of the checksum; content up to this size is hashed in one
    // call, so a test can probe both sides of the boundary.
    static constexpr std::size_t checksumBufferSize = 256 * 1024;
};
