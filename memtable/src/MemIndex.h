#pragma once
// Indexes of a memory table (internal). An index is an ordered list of references to stored
// records. The row order (the first index of every table) keeps the records in the order they
// were placed and is never sorted; every other index is kept sorted by its key fields.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
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
  // The first position whose record's data `below` does not put before what is sought (a binary
  // search: `below` must hold for a front part of the list and for nothing after it).
  template <typename Below>
  std::size_t LowerBound(Below below) const {
    const auto it = std::partition_point(
        list_.begin(), list_.end(), [&below](const TMemRecord* r) { return below(r->Data()); });
    return static_cast<std::size_t>(it - list_.begin());
  }
  // True when a record other than `self` has a key equal to `data` (a sorted list only).
  bool HasOtherEqualKey(const unsigned char* data, const TMemRecord* self, unsigned localeId) const;
  // Puts `record` at `position` of the list and gives it a place between those of its
  // neighbours (renumbering the whole list when there is no room left between them).
  void Insert(std::size_t position, TMemRecord* record);
  void Erase(std::size_t position);
  // Refills the list from the store in slot order and, unless it is the row order, sorts it:
  // equal keys keep slot order. A unique index holding duplicates fails with
  // "Duplicate index value. Operation aborted." (the list stays rebuilt). In MemIndexRebuild.cpp.
  void Rebuild(const TMemTableCommon& store, unsigned localeId);

  // --- keeping the list in step with the store (TMemIndexes calls these for every index) ------
  // A list is kept when the index is maintained, its list up to date and `keep` is set (a load
  // switches index maintenance off); a list that is not kept is only marked out of date and
  // reports no position (-1).

  // Fails with "Duplicate index value. Operation aborted." when this maintained unique index
  // would hold a key equal to `data` twice: a stored record other than `self` has it. An out of
  // date list is not trusted; the store is searched instead.
  void CheckUnique(const unsigned char* data, const TMemRecord* self, const TMemTableCommon& store,
                   unsigned localeId) const;
  // Takes in a record just stored: the row order at `rowOrderAt` (its end when that is beyond
  // it), a sorted index where the record's key goes. Returns the record's position.
  int TakeNew(TMemRecord* record, std::size_t rowOrderAt, unsigned localeId, bool keep);
  // Moves `record`, whose stored bytes are about to become `data`, to where its new key goes.
  // Returns the new position, or -1 when the key does not change. A record that is not in the
  // list fails with "Could'nt perform operation since key fields changed.".
  int Rekey(TMemRecord* record, const unsigned char* data, unsigned localeId, bool keep);
  // Lets go of a record about to be freed, at `position` when that is known (it may be -1 for
  // none). Without a position an out of date list is simply emptied: it is refilled before
  // anyone reads it.
  void Forget(const TMemRecord* record, std::optional<int> position);

 private:
  // Places: consecutive records are numbered kPlaceGap apart, within [kLowestPlace,
  // kHighestPlace], so that 2^31 records fit and the difference of two places never overflows.
  static constexpr std::int64_t kPlaceGap = std::int64_t{1} << 30;
  static constexpr std::int64_t kLowestPlace = -(std::int64_t{1} << 62);
  static constexpr std::int64_t kHighestPlace = std::int64_t{1} << 62;

  bool Kept(bool keep) const { return keep && Maintained() && upToDate_; }

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
  void MarkAllOutOfDate() {
    for (const auto& index : items_) index->MarkOutOfDate();
  }

  // A record is stored, changed or freed: every index follows (see TMemIndex::TakeNew and the
  // others; `keep` is off while a load keeps the indexes out of date). Each returns the record's
  // position in `current`, or -1 when it is not known or, for ChangeRecord, did not change.
  // CheckUnique: before a record with `data` is stored (`self`: the record being changed, else
  // nullptr), over every index but the row order.
  void CheckUnique(const unsigned char* data, const TMemRecord* self, const TMemTableCommon& store,
                   unsigned localeId) const;
  int AddRecord(TMemRecord* record, std::size_t rowOrderAt, const TMemIndex* current,
                unsigned localeId, bool keep);
  // The row order keeps a changed record where it is.
  int ChangeRecord(TMemRecord* record, const unsigned char* data, const TMemIndex* current,
                   unsigned localeId, bool keep);
  // `cursor`: the record's position in `current`.
  void RemoveRecord(const TMemRecord* record, const TMemIndex* current, int cursor);

 private:
  std::vector<std::unique_ptr<TMemIndex>> items_;
};

}  // namespace kdx
