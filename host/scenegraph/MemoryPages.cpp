// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/MemoryPages.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
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

PageBuffer::~PageBuffer()
{
    resize(0);
}

bool PageBuffer::resize(std::size_t size)
{
    if (size == m_size)
        return true;
    void* grown = nullptr;
    if (size == 0) {
        if (m_data)
            ::munmap(m_data, m_size);
    } else if (m_data) {
        grown = ::mremap(m_data, m_size, size, MREMAP_MAYMOVE);
        if (grown == MAP_FAILED) {
            // A mapping the kernel keeps in parts cannot be remapped whole:
            // copied instead.
            grown = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (grown == MAP_FAILED)
                return false;
            std::memcpy(grown, m_data, std::min(size, m_size));
            ::munmap(m_data, m_size);
        }
    } else {
        grown = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (grown == MAP_FAILED)
            return false;
    }
    // The whole mapping, not only its aligned inner part: advice on a part
    // splits the mapping, and a split mapping cannot grow by mremap.
    if (grown && size >= LargeArrayBytes)
        ::madvise(grown, size, MADV_HUGEPAGE);
    m_data = static_cast<unsigned char*>(grown);
    m_size = size;
    return true;
}

void releasePages(const void* p, std::size_t size)
{
    static const auto page = std::uintptr_t(::sysconf(_SC_PAGESIZE));
    std::uintptr_t begin = 0, end = 0;
    if (inner(p, size, page, begin, end))
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_DONTNEED);
}

} // namespace osg
