#pragma once
// Large zero-filled blocks of memory for the record store (internal); one implementation per
// platform. On Linux blocks of 2 MiB and more are offered to transparent huge pages and the pages
// of smaller ones are faulted in with one call when the block is taken, which spares a loaded
// table tens of thousands of page faults.

#include <cstddef>

#include "LargeAllocator.h"

namespace kdx {

// AllocateChunk(bytes): a zero-filled block of `bytes` bytes (a multiple of 4 KiB), aligned to a
// page (to a huge page on Linux from 2 MiB on); throws std::bad_alloc. FreeChunk gives it back
// (same size). Declared in LargeAllocator.h.

}  // namespace kdx
