// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/BaseTypes.h"
#include "scenegraph/ByteSink.h"

#include <vector>

namespace osg {

// Collects written bytes in memory.
class MemorySink : public ByteSink {
public:
    void write(const void* data, std::size_t size) override
    {
        const auto* p = static_cast<const UInt8*>(data);
        m_bytes.insert(m_bytes.end(), p, p + size);
    }

    void reserve(std::size_t size) { m_bytes.reserve(size); }
    const std::vector<UInt8>& bytes() const { return m_bytes; }
    std::vector<UInt8> takeBytes() { return std::move(m_bytes); }

private:
    std::vector<UInt8> m_bytes;
};

} // namespace osg
