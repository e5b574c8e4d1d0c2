// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <cstddef>

namespace osg {

// Where encoded containers go: a memory buffer, a file, a compressor. Bulk
// arrays arrive as one call, so a sink can pass them on without copying.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual void write(const void* data, std::size_t size) = 0;
};

} // namespace osg
