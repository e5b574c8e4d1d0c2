// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <cstddef>

namespace osg {

// Memory for containers: blocks of a few fixed sizes carved from large slabs,
// with a free list per size. Scenes make and drop containers by the million;
// a pointer pop is far cheaper than the general heap, which also fragments
// and consolidates under that load. Slabs are kept for reuse, so the pool
// holds the peak it reached. Main thread only, like the scene graph. Builds
// with AddressSanitizer use the plain heap, so that it still sees every
// container's lifetime.
class ContainerAllocator {
public:
    static void* allocate(std::size_t size);
    static void deallocate(void* p, std::size_t size);
};

} // namespace osg
