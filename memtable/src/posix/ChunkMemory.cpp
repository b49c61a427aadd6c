#include "ChunkMemory.h"

#include <sys/mman.h>

#include <cstdint>
#include <new>

namespace kdx {

namespace {
constexpr std::size_t kHugePage = std::size_t{2} << 20;
}

void* AllocateChunk(std::size_t bytes) {
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
  void* chunk = reinterpret_cast<void*>(aligned);
#ifdef MADV_HUGEPAGE
  (void)::madvise(chunk, bytes, MADV_HUGEPAGE);
#endif
  return chunk;
}

void FreeChunk(void* chunk, std::size_t bytes) {
  ::munmap(chunk, bytes);
}

}  // namespace kdx
