// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/RegularFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace osg {

RegularFile::~RegularFile()
{
    close();
}

bool RegularFile::fail(std::string message)
{
    close();
    m_error = std::move(message);
    return false;
}

bool RegularFile::open(const std::string& path)
{
    close();
    m_error.clear();
    if (path.empty())
        return fail("no file name");
    m_fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (m_fd < 0)
        return fail(std::strerror(errno));
    struct stat info {};
    if (::fstat(m_fd, &info) != 0)
        return fail(std::strerror(errno));
    if (!S_ISREG(info.st_mode))
        return fail(S_ISDIR(info.st_mode) ? "is a folder" : "not a regular file");
    // Reads of a regular file ignore the flag on Linux; cleared all the same,
    // so that no read can ever return EAGAIN.
    const int flags = ::fcntl(m_fd, F_GETFL);
    if (flags < 0 || ::fcntl(m_fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
        return fail(std::strerror(errno));
    m_size = UInt64(info.st_size);
    return true;
}

void RegularFile::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_size = 0;
}

long RegularFile::readSome(void* buffer, std::size_t size)
{
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, size);
        if (n >= 0 || errno != EINTR)
            return long(n);
    }
}

bool RegularFile::read(void* buffer, std::size_t size)
{
    auto* p = static_cast<char*>(buffer);
    while (size > 0) {
        const long n = readSome(p, size);
        if (n <= 0) {
            m_error = n < 0 ? std::strerror(errno) : "the file ended early (it shrank while being read)";
            return false;
        }
        p += n;
        size -= std::size_t(n);
    }
    return true;
}

bool RegularFile::read(void* buffer, std::size_t size, const ReadProgress& progress)
{
    if (!progress)
        return read(buffer, size);
    const off_t start = ::lseek(m_fd, 0, SEEK_CUR);
    auto* p = static_cast<char*>(buffer);
    for (std::size_t done = 0; done < size;) {
        const std::size_t block = std::min(size - done, ProgressBlock);
        if (!read(p + done, block))
            return false;
        done += block;
        progress(UInt64(std::max<off_t>(start, 0)) + done, m_size);
    }
    return true;
}

bool RegularFile::seek(UInt64 offset)
{
    if (::lseek(m_fd, off_t(offset), SEEK_SET) < 0) {
        m_error = std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace osg
