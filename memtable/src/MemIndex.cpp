#include "MemIndex.h"

#include <algorithm>
#include <cstring>

#include "FieldAccess.h"
#include "kdx/platform/Text.h"

namespace kdx {

namespace {

thread_local std::uint64_t recordsExamined = 0;

int CompareTruth(bool a, bool b) {
  return a == b ? 0 : (a ? 1 : -1);
}

// Appends a memcmp-comparable encoding of one key field of a record to `out`: a null byte for
// null, else 1 followed by the value's sort key, 0x00 and 0x01 escaped, and a 0x00 end mark (so
// a key that is the beginning of another sorts first). A descending field has its bytes
// inverted.
void AppendSortKey(std::string& out, const unsigned char* record, const TKeyField& key,
                   unsigned localeId) {
  const std::size_t start = out.size();
  const unsigned char* slot = TFieldAccess::Slot(*key.Field, record);
  if (TFieldAccess::IsNull(slot)) {
    out.push_back('\0');
  } else if (key.Field->DataType() == TFieldType::Boolean) {
    out.push_back('\1');
    out.push_back(TFieldAccess::Truth(slot) ? '\1' : '\0');
  } else {
    out.push_back('\1');
    const std::string sortKey =
        text::CollationKey(TFieldAccess::Text(*key.Field, slot), key.CaseInsensitive, localeId);
    // Escaped in place: 0x00 and 0x01 become 0x01 0x01 and 0x01 0x02; then the end mark.
    std::size_t at = out.size();
    out.resize(at + 2 * sortKey.size() + 1);
    for (char c : sortKey) {
      if (static_cast<unsigned char>(c) <= 1) {
        out[at++] = '\1';
        out[at++] = static_cast<char>(c + 1);
      } else {
        out[at++] = c;
      }
    }
    out[at++] = '\0';
    out.resize(at);
  }
  if (key.Descending) {
    for (std::size_t i = start; i < out.size(); ++i) out[i] = static_cast<char>(~out[i]);
  }
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

namespace {
// Places: consecutive records are numbered kPlaceGap apart, within [kLowestPlace, kHighestPlace],
// so that 2^31 records fit and the difference of two places never overflows.
constexpr std::int64_t kPlaceGap = std::int64_t{1} << 30;
constexpr std::int64_t kLowestPlace = -(std::int64_t{1} << 62);
constexpr std::int64_t kHighestPlace = std::int64_t{1} << 62;
}  // namespace

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
  std::size_t lo = 0, hi = list_.size();
  while (lo < hi) {
    const std::size_t mid = lo + (hi - lo) / 2;
    if (CompareRecordKeys(list_[mid]->Data(), data, keys_, localeId) < 0)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}

void TMemIndex::Rebuild(const TMemTableCommon& store, unsigned localeId) {
  list_.clear();
  list_.reserve(store.RecordCount());
  for (std::size_t i = 0; i < store.SlotCount(); ++i)
    if (TMemRecord* r = store.Slot(i)) list_.push_back(r);
  upToDate_ = true;
  if (rowOrder_ || list_.size() < 2) {
    NumberPlaces(store.SlotCount());
    return;
  }

  // Each record's key is computed once (the locale's sort key per text field); the sort then
  // compares bytes. Equal keys fall back to slot order, which is the list's order now.
  const std::size_t n = list_.size();
  std::vector<char, TLargeAllocator<char>> keys;
  keys.reserve(n * 40);
  std::vector<std::uint32_t, TLargeAllocator<std::uint32_t>> starts(n + 1);
  std::string one;
  for (std::size_t i = 0; i < n; ++i) {
    starts[i] = static_cast<std::uint32_t>(keys.size());
    one.clear();
    for (const TKeyField& key : keys_) AppendSortKey(one, list_[i]->Data(), key, localeId);
    keys.insert(keys.end(), one.begin(), one.end());
  }
  starts[n] = static_cast<std::uint32_t>(keys.size());
  // Entries carry the first eight key bytes as a number, so most comparisons need no memory
  // beyond the entry itself.
  struct Entry {
    std::uint64_t prefix;
    TMemRecord* record;
    std::uint32_t item;
  };
  std::vector<Entry, TLargeAllocator<Entry>> entries(n);
  for (std::uint32_t i = 0; i < n; ++i) {
    std::uint64_t prefix = 0;
    const std::size_t len = starts[i + 1] - starts[i];
    for (std::size_t b = 0; b < 8; ++b)
      prefix = (prefix << 8) | (b < len ? static_cast<unsigned char>(keys[starts[i] + b]) : 0u);
    entries[i] = {prefix, list_[i], i};
  }
  auto compare = [&](std::uint32_t a, std::uint32_t b) {
    const std::size_t la = starts[a + 1] - starts[a], lb = starts[b + 1] - starts[b];
    const int r = std::memcmp(keys.data() + starts[a], keys.data() + starts[b], std::min(la, lb));
    if (r != 0) return r;
    return la == lb ? 0 : (la < lb ? -1 : 1);
  };
  QuickInsertionSort(entries, [&](const Entry& a, const Entry& b) {
    if (a.prefix != b.prefix) return a.prefix < b.prefix;
    const int r = compare(a.item, b.item);
    return r != 0 ? r < 0 : a.item < b.item;  // list position is slot order
  });
  for (std::size_t i = 0; i < n; ++i) list_[i] = entries[i].record;
  NumberPlaces(store.SlotCount());
  if (Unique()) {
    for (std::size_t i = 1; i < n; ++i)
      if (compare(entries[i - 1].item, entries[i].item) == 0)
        throw EMemTableError("Duplicate index value. Operation aborted.");
  }
}

TMemIndexes::TMemIndexes() {
  items_.push_back(std::make_unique<TMemIndex>(TMemTable::kRowOrderIndexName, std::string(),
                                               TIndexOptions{}, TKeyFields{}, true));
}

}  // namespace kdx
