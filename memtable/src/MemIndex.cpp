// Indexes: key comparisons, the list kept in order with each record's place, and the
// bookkeeping that keeps it in step with the store. The rebuild is in MemIndexRebuild.cpp.

#include "MemIndex.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "FieldAccess.h"
#include "kdx/platform/Text.h"

namespace kdx {

namespace {

thread_local std::uint64_t recordsExamined = 0;

int CompareTruth(bool a, bool b) {
  return a == b ? 0 : (a ? 1 : -1);
}

}  // namespace

std::uint64_t RecordsExamined() {
  return recordsExamined;
}

int CompareRecordKeys(const unsigned char* a, const unsigned char* b, const TKeyFields& keys,
                      unsigned localeId) {
  ++recordsExamined;
  for (const TKeyField& key : keys) {
    const unsigned char* sa = TFieldAccess::Slot(*key.Field, a);
    const unsigned char* sb = TFieldAccess::Slot(*key.Field, b);
    int r;
    const bool na = TFieldAccess::IsNull(sa), nb = TFieldAccess::IsNull(sb);
    if (na || nb) {
      r = na == nb ? 0 : (na ? -1 : 1);
    } else if (key.Field->DataType() == TFieldType::Boolean) {
      r = CompareTruth(TFieldAccess::Truth(sa), TFieldAccess::Truth(sb));
    } else {
      r = text::CompareText(TFieldAccess::Text(*key.Field, sa), TFieldAccess::Text(*key.Field, sb),
                            key.CaseInsensitive, localeId);
    }
    if (key.Descending) r = -r;
    if (r != 0) return r;
  }
  return 0;
}

int CompareRecordToKey(const unsigned char* record, const std::vector<TVariant>& values,
                       const TKeyFields& keys, unsigned localeId) {
  ++recordsExamined;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const TKeyField& key = keys[i];
    const TVariant& value = values[i];
    const unsigned char* slot = TFieldAccess::Slot(*key.Field, record);
    int r;
    const bool na = TFieldAccess::IsNull(slot), nb = value.IsNull();
    if (na || nb) {
      r = na == nb ? 0 : (na ? -1 : 1);
    } else if (key.Field->DataType() == TFieldType::Boolean) {
      r = CompareTruth(TFieldAccess::Truth(slot), value.Boolean());
    } else {
      std::string_view stored = TFieldAccess::Text(*key.Field, slot);
      if (key.PartialKey && stored.size() > value.Text().size())
        stored = stored.substr(0, value.Text().size());
      r = text::CompareText(stored, value.Text(), key.CaseInsensitive, localeId);
    }
    if (key.Descending) r = -r;
    if (r != 0) return r;
  }
  return 0;
}

std::int64_t TMemIndex::PlaceOf(const TMemRecord* record) const {
  const auto slot = static_cast<std::size_t>(record->SlotNumber());
  return slot < places_.size() ? places_[slot] : 0;
}

void TMemIndex::SetPlace(const TMemRecord* record, std::int64_t place) {
  const auto slot = static_cast<std::size_t>(record->SlotNumber());
  if (slot >= places_.size()) places_.resize(std::max(slot + 1, places_.size() * 2));
  places_[slot] = place;
}

int TMemIndex::IndexOf(const TMemRecord* record) const {
  if (upToDate_) {
    const std::int64_t place = PlaceOf(record);
    const auto it = std::lower_bound(list_.begin(), list_.end(), place,
                                     [this](const TMemRecord* r, std::int64_t p) {
                                       ++recordsExamined;
                                       return PlaceOf(r) < p;
                                     });
    if (it != list_.end() && *it == record) return static_cast<int>(it - list_.begin());
  }
  // Not up to date: walked.
  for (std::size_t i = 0; i < list_.size(); ++i) {
    ++recordsExamined;
    if (list_[i] == record) return static_cast<int>(i);
  }
  return -1;
}

bool TMemIndex::HasOtherEqualKey(const unsigned char* data, const TMemRecord* self,
                                 unsigned localeId) const {
  // Equal keys stand together, from the sorted position on; `self` may be one of them.
  for (std::size_t i = SortedPosition(data, localeId);
       i < list_.size() && CompareRecordKeys(list_[i]->Data(), data, keys_, localeId) == 0; ++i)
    if (list_[i] != self) return true;
  return false;
}

void TMemIndex::NumberPlaces(std::size_t slotCount) {
  places_.assign(std::max(slotCount, places_.size()), 0);
  std::int64_t place = 0;
  for (const TMemRecord* r : list_) {
    SetPlace(r, place);
    place += kPlaceGap;
  }
}

void TMemIndex::Insert(std::size_t position, TMemRecord* record) {
  const auto placeAt = [&](std::int64_t& place) {
    const bool hasPrev = position > 0, hasNext = position < list_.size();
    const std::int64_t prev = hasPrev ? PlaceOf(list_[position - 1]) : 0;
    const std::int64_t next = hasNext ? PlaceOf(list_[position]) : 0;
    if (!hasPrev && !hasNext) {
      place = 0;
    } else if (!hasNext) {
      if (prev > kHighestPlace - kPlaceGap) return false;
      place = prev + kPlaceGap;
    } else if (!hasPrev) {
      if (next < kLowestPlace + kPlaceGap) return false;
      place = next - kPlaceGap;
    } else {
      if (next - prev < 2) return false;
      place = prev + (next - prev) / 2;
    }
    return true;
  };
  std::int64_t place = 0;
  if (!placeAt(place)) {
    NumberPlaces(0);
    placeAt(place);  // there is room now
  }
  SetPlace(record, place);
  list_.insert(list_.begin() + static_cast<std::ptrdiff_t>(position), record);
}

void TMemIndex::Erase(std::size_t position) {
  list_.erase(list_.begin() + static_cast<std::ptrdiff_t>(position));
}

std::size_t TMemIndex::SortedPosition(const unsigned char* data, unsigned localeId) const {
  return LowerBound([&](const unsigned char* record) {
    return CompareRecordKeys(record, data, keys_, localeId) < 0;
  });
}

void TMemIndex::CheckUnique(const unsigned char* data, const TMemRecord* self,
                            const TMemTableCommon& store, unsigned localeId) const {
  if (!Unique() || !Maintained()) return;
  bool duplicate = false;
  if (upToDate_) {
    duplicate = HasOtherEqualKey(data, self, localeId);
  } else {
    for (std::size_t s = 0; s < store.SlotCount() && !duplicate; ++s) {
      const TMemRecord* other = store.Slot(s);
      duplicate =
          other && other != self && CompareRecordKeys(other->Data(), data, keys_, localeId) == 0;
    }
  }
  if (duplicate) throw EMemTableError("Duplicate index value. Operation aborted.");
}

int TMemIndex::TakeNew(TMemRecord* record, std::size_t rowOrderAt, unsigned localeId, bool keep) {
  if (!Kept(keep)) {
    MarkOutOfDate();
    return -1;
  }
  const std::size_t at =
      rowOrder_ ? std::min(rowOrderAt, list_.size()) : SortedPosition(record->Data(), localeId);
  Insert(at, record);
  return static_cast<int>(at);
}

int TMemIndex::Rekey(TMemRecord* record, const unsigned char* data, unsigned localeId, bool keep) {
  if (!Kept(keep)) {
    MarkOutOfDate();
    return -1;
  }
  if (CompareRecordKeys(record->Data(), data, keys_, localeId) == 0) return -1;
  const int old = IndexOf(record);
  if (old < 0) throw EMemTableError("Could'nt perform operation since key fields changed.");
  Erase(static_cast<std::size_t>(old));
  const std::size_t at = SortedPosition(data, localeId);
  Insert(at, record);
  return static_cast<int>(at);
}

void TMemIndex::Forget(const TMemRecord* record, std::optional<int> position) {
  if (!position && !upToDate_) {
    list_.clear();
    return;
  }
  const int at = position ? *position : IndexOf(record);
  if (at >= 0) Erase(static_cast<std::size_t>(at));
}

void TMemIndexes::CheckUnique(const unsigned char* data, const TMemRecord* self,
                              const TMemTableCommon& store, unsigned localeId) const {
  for (std::size_t i = 1; i < items_.size(); ++i)
    items_[i]->CheckUnique(data, self, store, localeId);
}

int TMemIndexes::AddRecord(TMemRecord* record, std::size_t rowOrderAt, const TMemIndex* current,
                           unsigned localeId, bool keep) {
  int position = -1;
  for (const auto& index : items_) {
    const int at = index->TakeNew(record, rowOrderAt, localeId, keep);
    if (index.get() == current) position = at;
  }
  return position;
}

int TMemIndexes::ChangeRecord(TMemRecord* record, const unsigned char* data,
                              const TMemIndex* current, unsigned localeId, bool keep) {
  int position = -1;
  for (std::size_t i = 1; i < items_.size(); ++i) {
    const int at = items_[i]->Rekey(record, data, localeId, keep);
    if (items_[i].get() == current && at >= 0) position = at;
  }
  return position;
}

void TMemIndexes::RemoveRecord(const TMemRecord* record, const TMemIndex* current, int cursor) {
  for (const auto& index : items_)
    index->Forget(record, index.get() == current ? std::optional<int>(cursor) : std::nullopt);
}

TMemIndexes::TMemIndexes() {
  items_.push_back(std::make_unique<TMemIndex>(TMemTable::kRowOrderIndexName, std::string(),
                                               TIndexOptions{}, TKeyFields{}, true));
}

}  // namespace kdx
