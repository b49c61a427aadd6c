#include "ChunkMemory.h"

#include <windows.h>

#include <new>

namespace kdx {

void* AllocateChunk(std::size_t bytes) {
  void* p = VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (!p) throw std::bad_alloc();
  return p;
}

void FreeChunk(void* chunk, std::size_t) {
  VirtualFree(chunk, 0, MEM_RELEASE);
}

}  // namespace kdx
