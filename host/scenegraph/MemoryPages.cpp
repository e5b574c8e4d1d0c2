// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/MemoryPages.h"

#include <cstdint>
#include <sys/mman.h>
#include <unistd.h>

namespace osg {

namespace {

// The whole units of `unit` bytes inside [p, p + size): [begin, end).
bool inner(const void* p, std::size_t size, std::uintptr_t unit, std::uintptr_t& begin, std::uintptr_t& end)
{
    const auto start = reinterpret_cast<std::uintptr_t>(p);
    begin = (start + unit - 1) / unit * unit;
    end = (start + size) / unit * unit;
    return end > begin;
}

} // namespace

void adviseHugePages(void* p, std::size_t size)
{
    std::uintptr_t begin = 0, end = 0;
    if (inner(p, size, std::uintptr_t(2) << 20, begin, end))
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

void releasePages(const void* p, std::size_t size)
{
    static const auto page = std::uintptr_t(::sysconf(_SC_PAGESIZE));
    std::uintptr_t begin = 0, end = 0;
    if (inner(p, size, page, begin, end))
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_DONTNEED);
}

} // namespace osg
