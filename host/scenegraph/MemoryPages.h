// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <cstddef>

namespace osg {

// Advice to the kernel about large blocks of memory. On the virtual machines
// this runs on, the first touch of a fresh 4 KiB page costs 20 to 30 us, as
// much as reading the bytes that fill it.

// Asks for huge pages for the 2 MiB-aligned part of [p, p + size), before
// it is first written: one fault per 2 MiB instead of one per 4 KiB.
void adviseHugePages(void* p, std::size_t size);

// Gives back the whole pages inside [p, p + size), whose bytes are not read
// again: a reader that has copied an array out of its input buffer need not
// hold both until the end. The memory stays mapped and reads as zeros.
void releasePages(const void* p, std::size_t size);

// Arrays and buffers from this size on get the advice (one huge page).
constexpr std::size_t LargeArrayBytes = std::size_t(2) << 20;

// Bytes that are not cleared when allocated or grown: large buffers (file
// contents, unpacked sections) are written once, and touching fresh pages
// twice costs as much as the read itself. Mapped directly; large ones get
// the huge-page advice, and growth remaps in place where it can.
class PageBuffer {
public:
    PageBuffer() = default;
    ~PageBuffer();
    PageBuffer(const PageBuffer&) = delete;
    PageBuffer& operator=(const PageBuffer&) = delete;
    bool resize(std::size_t size);
    unsigned char* data() const { return m_data; }
    std::size_t size() const { return m_size; }

private:
    unsigned char* m_data = nullptr;
    std::size_t m_size = 0;
};

} // namespace osg
