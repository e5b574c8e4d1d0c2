// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/BaseTypes.h"

#include <cstddef>
#include <cstring>

namespace osg {

// Reads little-endian values from bytes it does not trust: every read checks
// the bounds first and fails (returns false, moves nothing) when the bytes
// run out.
class ByteCursor {
public:
    ByteCursor(const UInt8* data, std::size_t size) : m_data(data), m_size(size) {}

    std::size_t offset() const { return m_pos; }
    std::size_t remaining() const { return m_size - m_pos; }
    bool atEnd() const { return m_pos == m_size; }

    bool readU16(UInt16& v) { return readRaw(&v, sizeof v); }
    bool readU32(UInt32& v) { return readRaw(&v, sizeof v); }
    bool readU64(UInt64& v) { return readRaw(&v, sizeof v); }

    // Points `out` at the next `n` bytes, inside the buffer.
    bool take(UInt64 n, const UInt8*& out)
    {
        if (n > remaining())
            return false;
        out = m_data + m_pos;
        m_pos += std::size_t(n);
        return true;
    }

private:
    bool readRaw(void* out, std::size_t n)
    {
        if (n > remaining())
            return false;
        std::memcpy(out, m_data + m_pos, n);
        m_pos += n;
        return true;
    }

    const UInt8* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

} // namespace osg
