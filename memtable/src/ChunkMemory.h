#pragma once
// Large zero-filled blocks of memory for the record store (internal); one implementation per
// platform. On Linux the blocks are offered to transparent huge pages, which spares a loaded
// table tens of thousands of page faults.

#include <cstddef>

#include "kdx/memtable/LargeAllocator.h"

namespace kdx {

// AllocateChunk(bytes): a zero-filled block of `bytes` bytes, aligned to 16 (to a huge page on
// Linux); throws std::bad_alloc. FreeChunk gives it back (same size). Declared in
// kdx/memtable/LargeAllocator.h.

}  // namespace kdx
