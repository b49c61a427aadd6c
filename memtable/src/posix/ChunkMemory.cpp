#include "ChunkMemory.h"

#include <sys/mman.h>

#include <cstdint>
#include <new>

namespace kdx {

namespace {
constexpr std::size_t kHugePage = std::size_t{2} << 20;
// Asks the kernel to fault a whole range in at once (Linux 5.14 and later; older kernels refuse
// the advice and the pages are faulted in one by one as they are first written).
#ifdef MADV_POPULATE_WRITE
constexpr int kPopulateWrite = MADV_POPULATE_WRITE;
#else
constexpr int kPopulateWrite = 23;
#endif
}  // namespace

void* AllocateChunk(std::size_t bytes) {
  void* chunk;
  if (bytes < kHugePage) {
    // Too small for a huge page. The record store fills its small first chunks from the start,
    // so their pages are all wanted: one call that faults them in costs a fraction of taking a
    // fault per page.
    chunk = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (chunk == MAP_FAILED) throw std::bad_alloc();
    (void)::madvise(chunk, bytes, kPopulateWrite);
  } else {
    // Over-allocate and trim so that the block starts on a huge-page boundary: only whole,
    // aligned huge pages can back it.
    const std::size_t mapped = bytes + kHugePage;
    void* p = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(p);
    const std::uintptr_t aligned = (start + kHugePage - 1) & ~(kHugePage - 1);
    if (aligned > start) ::munmap(p, aligned - start);
    const std::uintptr_t end = start + mapped, used = aligned + bytes;
    if (end > used) ::munmap(reinterpret_cast<void*>(used), end - used);
    chunk = reinterpret_cast<void*>(aligned);
#ifdef MADV_HUGEPAGE
    (void)::madvise(chunk, bytes, MADV_HUGEPAGE);
#endif
  }
  return chunk;
}

void FreeChunk(void* chunk, std::size_t bytes) {
  ::munmap(chunk, bytes);
}

}  // namespace kdx
