// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/BaseTypes.h"

#include <cstddef>
#include <functional>
#include <string>

namespace osg {

// Told the bytes of a file read so far and its size, as a long read goes on.
using ReadProgress = std::function<void(UInt64 read, UInt64 size)>;

// A file opened for reading that is known to be a regular file. Opening a
// FIFO for reading waits for a writer, and some devices wait too, so the
// open never blocks: it is non-blocking, the file is checked with fstat and
// refused unless it is regular, and only then are reads made blocking
// again. Every reader of the host opens its files through this class.
class RegularFile {
public:
    RegularFile() = default;
    ~RegularFile();
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    // False when the file cannot be opened or is not a regular file;
    // getError() then says why ("not a regular file", "Permission denied").
    bool open(const std::string& path);
    void close();
    bool isOpen() const { return m_fd >= 0; }
    int descriptor() const { return m_fd; }
    // The size when it was opened.
    UInt64 size() const { return m_size; }

    // Reads exactly `size` bytes from the current position; false on a read
    // error or an early end of the file.
    bool read(void* buffer, std::size_t size);
    // The same in blocks of ProgressBlock bytes, telling `progress` the file
    // position after each, so that a large file's read can be shown.
    bool read(void* buffer, std::size_t size, const ReadProgress& progress);
    static constexpr std::size_t ProgressBlock = std::size_t(8) << 20;
    // Reads up to `size` bytes; the count read, 0 at the end, -1 on an error.
    long readSome(void* buffer, std::size_t size);
    bool seek(UInt64 offset);

    const std::string& getError() const { return m_error; }

private:
    bool fail(std::string message);

    int m_fd = -1;
    UInt64 m_size = 0;
    std::string m_error;
};

} // namespace osg
