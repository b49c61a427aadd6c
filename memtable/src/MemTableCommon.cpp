#include "kdx/memtable/MemTableCommon.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "kdx/memtable/Errors.h"

namespace kdx {

TMemTableCommon::~TMemTableCommon() { Clear(); }

void TMemTableCommon::SetRecordSize(std::size_t size) {
  std::lock_guard guard(lock_);
  recordSize_ = size;
}

TMemRecord* TMemTableCommon::AddRecord(const unsigned char* data) {
  std::lock_guard guard(lock_);
  if (sequence_ >= kMaxSequence)
    throw EMemTableError("Bookmark counter is out of range. Please close and reopen table.");
  // The record's header and its slot bytes are one allocation.
  void* memory = std::malloc(sizeof(TMemRecord) + recordSize_);
  if (!memory) throw std::bad_alloc();
  TMemRecord* record = new (memory) TMemRecord();
  std::memcpy(record->Data(), data, recordSize_);
  if (!freeSlots_.empty()) {
    record->slot_ = freeSlots_.back();
    freeSlots_.pop_back();
    slots_[record->slot_] = record;
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
  const std::int32_t slot = record->slot_;
  slots_[slot] = nullptr;
  freeSlots_.push_back(slot);
  --recordCount_;
  record->~TMemRecord();
  std::free(record);
}

void TMemTableCommon::Clear() {
  std::lock_guard guard(lock_);
  for (TMemRecord* record : slots_) {
    if (!record) continue;
    record->~TMemRecord();
    std::free(record);
  }
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
