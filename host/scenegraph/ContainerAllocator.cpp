// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/ContainerAllocator.h"

#include "scenegraph/PlainHeap.h"

#include <new>
#include <vector>

namespace osg {

#ifndef OSG_PLAIN_HEAP
namespace {

constexpr std::size_t Granule = 16;
constexpr std::size_t MaxPooled = 256;
constexpr std::size_t SlabSize = 1 << 20;

struct FreeBlock {
    FreeBlock* next;
};

struct Pool {
    FreeBlock* free[MaxPooled / Granule + 1] = {};
    char* slab = nullptr;
    std::size_t slabLeft = 0;
};

// Never destroyed: containers may be freed during process exit.
Pool& pool()
{
    static Pool* p = new Pool();
    return *p;
}

} // namespace
#endif

void* ContainerAllocator::allocate(std::size_t size)
{
#ifdef OSG_PLAIN_HEAP
    return ::operator new(size);
#else
    if (size > MaxPooled)
        return ::operator new(size);
    Pool& p = pool();
    const std::size_t cls = (size + Granule - 1) / Granule;
    if (FreeBlock* b = p.free[cls]) {
        p.free[cls] = b->next;
        return b;
    }
    const std::size_t bytes = cls * Granule;
    if (p.slabLeft < bytes) {
        // The tail of the old slab is too small for this class; it serves no
        // one, which costs at most one block per slab.
        p.slab = static_cast<char*>(::operator new(SlabSize));
        p.slabLeft = SlabSize;
    }
    void* block = p.slab;
    p.slab += bytes;
    p.slabLeft -= bytes;
    return block;
#endif
}

void ContainerAllocator::deallocate(void* ptr, std::size_t size)
{
#ifdef OSG_PLAIN_HEAP
    (void)size;
    ::operator delete(ptr);
#else
    if (!ptr)
        return;
    if (size > MaxPooled) {
        ::operator delete(ptr);
        return;
    }
    Pool& p = pool();
    const std::size_t cls = (size + Granule - 1) / Granule;
    auto* b = static_cast<FreeBlock*>(ptr);
    b->next = p.free[cls];
    p.free[cls] = b;
#endif
}

} // namespace osg
