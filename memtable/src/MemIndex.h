#pragma once
// Indexes of a memory table (internal). An index is an ordered list of references to stored
// records. The row order (the first index of every table) keeps the records in the order they
// were placed and is never sorted; every other index is kept sorted by its key fields.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "LargeAllocator.h"
#include "MemTableCommon.h"
#include "kdx/memtable/MemTable.h"

namespace kdx {

// One key field of an index or of a search, with its comparison flags.
struct TKeyField {
  const TField* Field = nullptr;
  bool Descending = false;
  bool CaseInsensitive = false;
  bool PartialKey = false;
};
using TKeyFields = std::vector<TKeyField>;

// Stored records looked at so far on this thread by key comparisons and index searches. Lets
// tests check that the work of an operation grows as its algorithm promises, without timing it.
std::uint64_t RecordsExamined();

// Compares one field of two records (their data bytes). Null against null is equal and orders
// before any value; strings compare whole by the locale's collation; false before true.
int CompareRecordKeys(const unsigned char* a, const unsigned char* b, const TKeyFields& keys,
                      unsigned localeId);
// Compares a stored record with search values, one per key field (null, text or truth). With
// PartialKey a stored text is first cut to the length of the searched text.
int CompareRecordToKey(const unsigned char* record, const std::vector<TVariant>& key,
                       const TKeyFields& keys, unsigned localeId);

class TMemIndex {
 public:
  TMemIndex(std::string name, std::string fieldNames, TIndexOptions options, TKeyFields keys,
            bool rowOrder)
      : name_(std::move(name)),
        fieldNames_(std::move(fieldNames)),
        options_(options),
        keys_(std::move(keys)),
        rowOrder_(rowOrder) {}

  const std::string& Name() const { return name_; }
  const std::string& FieldNames() const { return fieldNames_; }
  TIndexOptions Options() const { return options_; }
  const TKeyFields& Keys() const { return keys_; }
  bool IsRowOrder() const { return rowOrder_; }
  bool Maintained() const { return !options_.Contains(ixNonMaintained); }
  bool Unique() const { return options_.Contains(ixUnique); }

  using RecordList = std::vector<TMemRecord*, TLargeAllocator<TMemRecord*>>;
  RecordList& List() { return list_; }
  const RecordList& List() const { return list_; }
  bool UpToDate() const { return upToDate_; }
  void MarkOutOfDate() { upToDate_ = false; }

  // Position of `record` in the list, or -1: a binary search by the record's place when the
  // list is up to date, a walk otherwise.
  int IndexOf(const TMemRecord* record) const;
  // Where a record with `data` goes: before the first record whose key does not sort below it.
  std::size_t SortedPosition(const unsigned char* data, unsigned localeId) const;
  // True when a record other than `self` has a key equal to `data` (a sorted list only).
  bool HasOtherEqualKey(const unsigned char* data, const TMemRecord* self, unsigned localeId) const;
  // Puts `record` at `position` of the list and gives it a place between those of its
  // neighbours (renumbering the whole list when there is no room left between them).
  void Insert(std::size_t position, TMemRecord* record);
  void Erase(std::size_t position);
  // Refills the list from the store in slot order and, unless it is the row order, sorts it:
  // equal keys keep slot order. A unique index holding duplicates fails with
  // "Duplicate index value. Operation aborted." (the list stays rebuilt).
  void Rebuild(const TMemTableCommon& store, unsigned localeId);

 private:
  // Numbers the places along the list, kPlaceGap apart; `slotCount` sizes the table of places.
  void NumberPlaces(std::size_t slotCount);
  // The same for a list that holds every stored record in slot order.
  void NumberPlacesInSlotOrder(const TMemTableCommon& store);
  // Fills the list with every stored record in slot order (not numbered).
  void FillInSlotOrder(const TMemTableCommon& store);
  std::int64_t PlaceOf(const TMemRecord* record) const;
  void SetPlace(const TMemRecord* record, std::int64_t place);

  std::string name_;
  std::string fieldNames_;
  TIndexOptions options_;
  TKeyFields keys_;
  bool rowOrder_;
  RecordList list_;
  // Each listed record's place, by slot number: numbers that grow along the list, with gaps, so
  // that a record is found by binary search whatever its key (and among equal keys).
  std::vector<std::int64_t, TLargeAllocator<std::int64_t>> places_;
  bool upToDate_ = false;
};

// The indexes of an open table; the row order is the first.
class TMemIndexes {
 public:
  TMemIndexes();
  TMemIndex* RowOrder() const { return items_.front().get(); }
  std::size_t Count() const { return items_.size(); }
  TMemIndex* operator[](std::size_t i) const { return items_[i].get(); }
  TMemIndex* Add(std::unique_ptr<TMemIndex> index) {
    items_.push_back(std::move(index));
    return items_.back().get();
  }
  // Discards every index except the row order.
  void DropAllButRowOrder() { items_.resize(1); }

 private:
  std::vector<std::unique_ptr<TMemIndex>> items_;
};

}  // namespace kdx
