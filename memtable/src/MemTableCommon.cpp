#include "MemTableCommon.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "ChunkMemory.h"
#include "kdx/memtable/Errors.h"

namespace kdx {

namespace {
// The first chunk is small (a table of a few definitions stays small); each further one is
// twice as big, up to two megabytes, one huge page where the system offers them.
constexpr std::size_t kFirstChunkBytes = std::size_t{64} << 10;
constexpr std::size_t kChunkBytes = std::size_t{2} << 20;
}  // namespace

TMemTableCommon::~TMemTableCommon() {
  Clear();
}

void TMemTableCommon::SetRecordSize(std::size_t size) {
  std::lock_guard guard(lock_);
  Clear();
  recordSize_ = size;
  stride_ = (sizeof(TMemRecord) + size + 15) / 16 * 16;
}

void* TMemTableCommon::AllocateRecordMemory() {
  if (!freeMemory_.empty()) {
    void* memory = freeMemory_.back();
    freeMemory_.pop_back();
    return memory;
  }
  if (stride_ == 0) SetRecordSize(recordSize_);
  if (chunks_.empty() || chunkUsed_ + stride_ > chunks_.back().bytes) {
    std::size_t bytes =
        chunks_.empty() ? kFirstChunkBytes : std::min(chunks_.back().bytes * 2, kChunkBytes);
    if (bytes < stride_) bytes = (stride_ + 4095) / 4096 * 4096;
    if (chunks_.size() == chunks_.capacity())
      chunks_.reserve(chunks_.empty() ? 8 : chunks_.size() * 2);
    chunks_.push_back({AllocateChunk(bytes), bytes});
    chunkUsed_ = 0;
  }
  void* memory = static_cast<char*>(chunks_.back().memory) + chunkUsed_;
  chunkUsed_ += stride_;
  return memory;
}

TMemRecord* TMemTableCommon::AddRecord(const unsigned char* data) {
  std::lock_guard guard(lock_);
  if (sequence_ >= kMaxSequence)
    throw EMemTableError("Bookmark counter is out of range. Please close and reopen table.");
  // Room first, so that nothing can fail once the record is placed.
  if (freeSlots_.empty() && slots_.size() == slots_.capacity())
    slots_.reserve(slots_.empty() ? 64 : slots_.size() * 2);
  TMemRecord* record = new (AllocateRecordMemory()) TMemRecord();
  if (recordSize_ > 0) std::memcpy(record->Data(), data, recordSize_);  // (no fields: no data)
  if (!freeSlots_.empty()) {
    record->slot_ = freeSlots_.back();
    freeSlots_.pop_back();
    slots_[static_cast<std::size_t>(record->slot_)] = record;
  } else {
    record->slot_ = static_cast<std::int32_t>(slots_.size());
    slots_.push_back(record);
  }
  record->sequence_ = ++sequence_;
  ++recordCount_;
  return record;
}

void TMemTableCommon::DeleteRecord(TMemRecord* record) {
  std::lock_guard guard(lock_);
  freeMemory_.reserve(freeMemory_.size() + 1 > freeMemory_.capacity() ? freeMemory_.size() * 2 + 8
                                                                      : 0);
  freeSlots_.reserve(freeSlots_.size() + 1 > freeSlots_.capacity() ? freeSlots_.size() * 2 + 8 : 0);
  const std::int32_t slot = record->slot_;
  slots_[static_cast<std::size_t>(slot)] = nullptr;
  freeSlots_.push_back(slot);
  --recordCount_;
  record->~TMemRecord();
  freeMemory_.push_back(record);
}

void TMemTableCommon::Clear() {
  std::lock_guard guard(lock_);
  for (const Chunk& chunk : chunks_) FreeChunk(chunk.memory, chunk.bytes);
  chunks_.clear();
  chunkUsed_ = 0;
  freeMemory_.clear();
  slots_.clear();
  slots_.shrink_to_fit();
  freeSlots_.clear();
  recordCount_ = 0;
  sequence_ = 0;
}

void TMemTableCommon::Reserve(std::size_t count) {
  std::lock_guard guard(lock_);
  slots_.reserve(slots_.size() + count);
}

}  // namespace kdx
