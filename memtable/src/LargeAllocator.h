#pragma once
// TLargeAllocator: a std::allocator for the table's big arrays (slot list, index lists, sort
// keys). Blocks of 256 KiB and more come from whole chunks of pages (huge pages where the
// system offers them), which keeps a large load from paying a page fault per 4 KiB; smaller
// blocks come from the ordinary heap.

#include <cstddef>
#include <new>

namespace kdx {

void* AllocateChunk(std::size_t bytes);
void FreeChunk(void* chunk, std::size_t bytes);

template <typename T>
class TLargeAllocator {
 public:
  using value_type = T;
  static constexpr std::size_t kLargeBytes = std::size_t{256} << 10;
  static constexpr std::size_t kChunkUnit = std::size_t{2} << 20;

  TLargeAllocator() = default;
  template <typename U>
  TLargeAllocator(const TLargeAllocator<U>&) {}

  T* allocate(std::size_t n) {
    const std::size_t bytes = n * sizeof(T);
    if (bytes < kLargeBytes) return static_cast<T*>(::operator new(bytes));
    return static_cast<T*>(AllocateChunk(RoundUp(bytes)));
  }
  void deallocate(T* p, std::size_t n) {
    const std::size_t bytes = n * sizeof(T);
    if (bytes < kLargeBytes)
      ::operator delete(p);
    else
      FreeChunk(p, RoundUp(bytes));
  }
  friend bool operator==(const TLargeAllocator&, const TLargeAllocator&) { return true; }

 private:
  static std::size_t RoundUp(std::size_t bytes) {
    return (bytes + kChunkUnit - 1) / kChunkUnit * kChunkUnit;
  }
};

}  // namespace kdx
