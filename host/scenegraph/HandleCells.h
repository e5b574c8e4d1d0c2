// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <cstddef>

namespace osg::detail {

// Heap cells for single handles. Qt 5's QList keeps an element larger than a
// pointer (a handle is a pointer and an id) in a heap cell of its own, and
// lists of handles run to the hundred thousand: the pool's listing of every
// reference core is one. The general heap keeps freed small blocks aside and
// merges them at its next large request, so the cost of freeing one list
// would land, unpredictably, in the making of the next. These cells come from
// slabs kept for the life of the process, handed out through a small cache
// per thread: taking or giving back a cell is a push or a pop.
constexpr std::size_t HandleCellSize = 16;

void* allocateHandleCell();
void freeHandleCell(void* cell) noexcept;

} // namespace osg::detail
