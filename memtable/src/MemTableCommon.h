#pragma once
// TMemTableCommon: the record store of one table. Records live in a list of slots indexed by
// slot number; a new record takes the most recently freed slot number (last freed, first
// reused), otherwise the number after the highest. Every stored record also gets a sequence
// number from a counter that only grows while the table is open.
//
// One re-entrant lock guards the store, its counters and the table's indexes and field data;
// the table takes it around each operation (operations call one another while holding it).

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "LargeAllocator.h"

namespace kdx {

// One stored record: its slot and sequence numbers, then the record's RecordSlot bytes.
class TMemRecord {
 public:
  std::int32_t SlotNumber() const { return slot_; }
  std::int32_t Sequence() const { return sequence_; }
  unsigned char* Data() { return reinterpret_cast<unsigned char*>(this + 1); }
  const unsigned char* Data() const { return reinterpret_cast<const unsigned char*>(this + 1); }

 private:
  friend class TMemTableCommon;
  std::int32_t slot_ = 0;
  std::int32_t sequence_ = 0;
  [[maybe_unused]] std::int64_t align_ = 0;  // keeps the record bytes 16-byte aligned
};

class TMemTableCommon {
 public:
  // The highest sequence number a record may get; an add beyond it fails with
  // "Bookmark counter is out of range. Please close and reopen table."
  static constexpr std::int32_t kMaxSequence = 2147483599;

  TMemTableCommon() = default;
  TMemTableCommon(const TMemTableCommon&) = delete;
  TMemTableCommon& operator=(const TMemTableCommon&) = delete;
  ~TMemTableCommon();

  std::recursive_mutex& Lock() { return lock_; }

  // Bytes of one record's data (the sum of its RecordSlot sizes). Only while the store is empty.
  void SetRecordSize(std::size_t size);
  std::size_t RecordSize() const { return recordSize_; }

  // Stores a copy of `data` (RecordSize() bytes) in a free slot; raises EMemTableError when the
  // sequence counter would pass kMaxSequence (nothing is stored then).
  TMemRecord* AddRecord(const unsigned char* data);
  // Frees the record's slot for reuse; `record` is invalid afterwards.
  void DeleteRecord(TMemRecord* record);
  // Frees every record and resets the free-slot list and both counters.
  void Clear();

  // Slots in slot-number order; an empty slot holds nullptr.
  std::size_t SlotCount() const { return slots_.size(); }
  TMemRecord* Slot(std::size_t slot) const { return slots_[slot]; }
  std::size_t RecordCount() const { return recordCount_; }

  // The last sequence number given out (0 for a fresh store).
  std::int32_t SequenceCounter() const { return sequence_; }
  // Continues numbering after `counter` (for a store that resumes a previous numbering).
  void SetSequenceCounter(std::int32_t counter) { sequence_ = counter; }

  // Reserves room for `count` more records (a hint before a large load).
  void Reserve(std::size_t count);

 private:
  // Records are carved from large chunks (all records of a table have one size); the memory of
  // a deleted record is reused by the next add and given back when the store is cleared.
  void* AllocateRecordMemory();

  std::recursive_mutex lock_;
  std::size_t recordSize_ = 0;
  std::size_t stride_ = 0;  // bytes of one record in a chunk
  struct Chunk {
    void* memory;
    std::size_t bytes;
  };
  std::vector<Chunk> chunks_;  // small at first, growing to huge-page size
  std::size_t chunkUsed_ = 0;  // bytes used of the last chunk
  std::vector<void*> freeMemory_;
  std::vector<TMemRecord*, TLargeAllocator<TMemRecord*>> slots_;
  std::vector<std::int32_t> freeSlots_;  // the last one is reused first
  std::size_t recordCount_ = 0;
  std::int32_t sequence_ = 0;
};

}  // namespace kdx
