// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/FileTransaction.h"

#include <cstdint>
#include <string>
#include <sys/stat.h>

// Whether a file exists and its modification time, from one stat() of its
// UTF-8 path (of the new content while a save has it staged). The time is whole seconds as
// QFileInfo::lastModified().toSecsSinceEpoch() gives them (milliseconds
// divided by 1000, truncated), without the trip through the local time zone,
// which rereads the zone file at every call and cost a fifth of a project
// load.
inline bool ksStatFile(const char* path, std::uint64_t& modified, struct stat& info)
{
    if (!path || !*path)
        return false;
    // A file that the save in progress wrote is seen as the save leaves it,
    // so records taken during a save describe the files after it.
    const std::string staged = osg::FileTransaction::isOpen() ? osg::FileTransaction::stagedPath(path) : std::string();
    if (::stat(staged.empty() ? path : staged.c_str(), &info) != 0)
        return false;
    const std::int64_t msecs = std::int64_t(info.st_mtim.tv_sec) * 1000 + std::int64_t(info.st_mtim.tv_nsec) / 1000000;
    modified = std::uint64_t(msecs / 1000);
    return true;
}

inline bool ksStatFile(const char* path, std::uint64_t& modified)
{
    struct stat info;
    return ksStatFile(path, modified, info);
}
