// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/HandleCells.h"

#include "scenegraph/FCPtr.h"
#include "scenegraph/FieldContainer.h"
#include "scenegraph/PlainHeap.h"

#include <mutex>
#include <new>
#include <vector>

namespace osg::detail {

static_assert(sizeof(FCPtr<FieldContainer>) == HandleCellSize, "a handle fills one cell");

#ifndef OSG_PLAIN_HEAP
namespace {

constexpr std::size_t SlabCells = 1 << 14;
constexpr int CacheCells = 256;
constexpr int Batch = CacheCells / 2;

struct alignas(HandleCellSize) Cell {
    unsigned char bytes[HandleCellSize];
};

// Free cells of all threads, and the slab that new cells are cut from.
class Depot
{
public:
    // Puts `count` cells in `out`: free ones first, then new ones.
    void take(void** out, int count)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        int n = 0;
        while (n < count && !m_free.empty()) {
            out[n++] = m_free.back();
            m_free.pop_back();
        }
        while (n < count) {
            if (m_next == m_end) {
                m_next = new Cell[SlabCells];
                m_end = m_next + SlabCells;
            }
            out[n++] = m_next++;
        }
    }
    void give(void* const* cells, int count)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_free.insert(m_free.end(), cells, cells + count);
    }

private:
    std::mutex m_mutex;
    std::vector<void*> m_free;
    Cell* m_next = nullptr;
    Cell* m_end = nullptr;
};

// Never destroyed: handles may be freed during exit, after static objects.
Depot& depot()
{
    static Depot* const instance = new Depot();
    return *instance;
}

// Plain data, so that it stays usable for the whole life of its thread; the
// flusher below gives its cells back when the thread ends, and a cell freed
// after that goes to the depot directly.
struct Cache {
    void* cells[CacheCells];
    int count;
    bool closed;
};
thread_local Cache t_cache;

struct CacheFlusher {
    ~CacheFlusher()
    {
        depot().give(t_cache.cells, t_cache.count);
        t_cache.count = 0;
        t_cache.closed = true;
    }
};

// On a thread's first refill: from then on its cache is flushed at its end.
void armFlusher()
{
    thread_local CacheFlusher flusher;
    (void)flusher;
}

} // namespace
#endif

void* allocateHandleCell()
{
#ifdef OSG_PLAIN_HEAP
    return ::operator new(HandleCellSize);
#else
    Cache& cache = t_cache;
    if (cache.count == 0) {
        if (cache.closed) {
            void* cell = nullptr;
            depot().take(&cell, 1);
            return cell;
        }
        armFlusher();
        depot().take(cache.cells, Batch);
        cache.count = Batch;
    }
    return cache.cells[--cache.count];
#endif
}

void freeHandleCell(void* cell) noexcept
{
#ifdef OSG_PLAIN_HEAP
    ::operator delete(cell);
#else
    if (!cell)
        return;
    Cache& cache = t_cache;
    if (cache.closed) {
        depot().give(&cell, 1);
        return;
    }
    if (cache.count == CacheCells) {
        depot().give(cache.cells + CacheCells - Batch, Batch);
        cache.count -= Batch;
    }
    cache.cells[cache.count++] = cell;
#endif
}

} // namespace osg::detail
