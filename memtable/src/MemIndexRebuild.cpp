// An index rebuild: every record's key made once as bytes (the locale's collation keys), then a
// radix sort of the keys' first bytes and a sort of the rest where they tie.

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "FieldAccess.h"
#include "MemIndex.h"
#include "kdx/platform/Text.h"

namespace kdx {

namespace {

// The collation key writers of one rebuild, one per case rule; each looks its locale up at the
// first text it is given.
struct TKeyWriters {
  explicit TKeyWriters(unsigned localeId) : exact(false, localeId), ignoringCase(true, localeId) {}
  text::TCollationKeyWriter exact;
  text::TCollationKeyWriter ignoringCase;
};

// Appends a memcmp-comparable encoding of one key field of a record to `out`: a null byte for
// null, else 1 followed by the value. A truth value is one byte. A text is its collation key
// with 0x00 and 0x01 escaped and a 0x00 end mark, so that a key that is the beginning of another
// sorts first and the next field's bytes never meet a longer key's; the last field of the key,
// when ascending, needs neither, as the end of the whole key orders the shorter first by itself.
// A descending field has its bytes inverted.
void AppendSortKey(std::string& out, const unsigned char* record, const TKeyField& key,
                   bool lastField, TKeyWriters& writers) {
  const std::size_t start = out.size();
  const unsigned char* slot = TFieldAccess::Slot(*key.Field, record);
  if (TFieldAccess::IsNull(slot)) {
    out.push_back('\0');
  } else if (key.Field->DataType() == TFieldType::Boolean) {
    out.push_back('\1');
    out.push_back(TFieldAccess::Truth(slot) ? '\1' : '\0');
  } else {
    out.push_back('\1');
    const std::string_view text = TFieldAccess::Text(*key.Field, slot);
    text::TCollationKeyWriter& writer = key.CaseInsensitive ? writers.ignoringCase : writers.exact;
    // The key is written straight behind what is there, in room that fits most keys at once.
    const std::size_t at = out.size();
    std::size_t room = 2 * text.size() + 32;
    for (;;) {
      out.resize(at + room);
      const std::size_t length =
          writer.Write(text, reinterpret_cast<unsigned char*>(out.data() + at), room);
      if (length < room) {
        out.resize(at + length);
        break;
      }
      room = length + 1;
    }
    if (!lastField || key.Descending) {
      // Escaped in place, from the back: 0x00 and 0x01 become 0x01 0x01 and 0x01 0x02; then
      // the end mark.
      std::size_t escapes = 0;
      for (std::size_t i = at; i < out.size(); ++i)
        escapes += static_cast<unsigned char>(out[i]) <= 1;
      std::size_t from = out.size(), to = from + escapes;
      out.resize(to + 1);
      out[to] = '\0';
      while (to > from) {
        const unsigned char c = static_cast<unsigned char>(out[--from]);
        if (c <= 1) {
          out[--to] = static_cast<char>(c + 1);
          out[--to] = '\1';
        } else {
          out[--to] = static_cast<char>(c);
        }
      }
    }
  }
  if (key.Descending) {
    for (std::size_t i = start; i < out.size(); ++i) out[i] = static_cast<char>(~out[i]);
  }
}

// An entry of an index rebuild: the first eight bytes of the record's key as a number, and
// where the key's length and its bytes after the eighth wait in the rebuild's tails (the length
// in one byte below 255, else 255 and four bytes).
struct TRebuildEntry {
  std::uint64_t prefix;
  std::uint32_t slot;
  std::uint32_t tail;
};
using TRebuildTails = std::vector<unsigned char, TLargeAllocator<unsigned char>>;

// Tables of at least this many records have their keys computed on two threads.
constexpr std::size_t kParallelRecords = 8192;

// The entries of the `count` records in slots [first, last), into out[0, count), their tails
// appended to `tails`. Uses collation key writers of its own, so two calls may run side by side.
void MakeEntries(const TMemTableCommon& store, const TKeyFields& keys, unsigned localeId,
                 std::size_t first, std::size_t last, std::size_t count, TRebuildEntry* out,
                 TRebuildTails& tails) {
  TKeyWriters writers(localeId);
  constexpr std::size_t kSample = 256;  // keys whose size sets the room for all of them
  const std::size_t base = tails.size();
  tails.reserve(base + std::min(count, kSample) * 32);
  std::string key;
  std::size_t i = 0;
  // The records lie far apart in memory, and reading a key field's text waits for memory
  // unless asked for early: the start of the first key field of a record a few slots ahead
  // (its null byte and its text's first bytes, which may cross into the next cache line).
  constexpr std::size_t kAhead = 8;
  const int keyOffset = keys.empty() ? 0 : TFieldAccess::Offset(*keys.front().Field);
  for (std::size_t slot = first; slot < last; ++slot) {
    if (slot + kAhead < last) {
      if (const TMemRecord* ahead = store.Slot(slot + kAhead)) {
        __builtin_prefetch(ahead->Data() + keyOffset);
        __builtin_prefetch(ahead->Data() + keyOffset + 32);
      }
    }
    const TMemRecord* record = store.Slot(slot);
    if (!record) continue;
    if (i == kSample) tails.reserve(base + (tails.size() - base) / kSample * count * 5 / 4 + 4096);
    key.clear();
    for (std::size_t k = 0; k < keys.size(); ++k)
      AppendSortKey(key, record->Data(), keys[k], k + 1 == keys.size(), writers);
    std::uint64_t prefix = 0;
    for (std::size_t b = 0; b < 8; ++b)
      prefix = (prefix << 8) | (b < key.size() ? static_cast<unsigned char>(key[b]) : 0u);
    out[i++] = {prefix, static_cast<std::uint32_t>(slot), static_cast<std::uint32_t>(tails.size())};
    const auto length = static_cast<std::uint32_t>(key.size());
    if (length < 255) {
      tails.push_back(static_cast<unsigned char>(length));
    } else {
      tails.push_back(255);
      const auto* bytes = reinterpret_cast<const unsigned char*>(&length);
      tails.insert(tails.end(), bytes, bytes + sizeof length);
    }
    if (length > 8)
      tails.insert(tails.end(), reinterpret_cast<const unsigned char*>(key.data()) + 8,
                   reinterpret_cast<const unsigned char*>(key.data()) + length);
  }
}
}  // namespace

void TMemIndex::NumberPlacesInSlotOrder(const TMemTableCommon& store) {
  places_.assign(std::max(store.SlotCount(), places_.size()), 0);
  std::int64_t place = 0;
  for (std::size_t i = 0; i < store.SlotCount(); ++i) {
    if (store.Slot(i)) {
      places_[i] = place;
      place += kPlaceGap;
    }
  }
}

void TMemIndex::FillInSlotOrder(const TMemTableCommon& store) {
  list_.clear();
  list_.reserve(store.RecordCount());
  for (std::size_t i = 0; i < store.SlotCount(); ++i)
    if (TMemRecord* r = store.Slot(i)) list_.push_back(r);
  upToDate_ = true;
}

void TMemIndex::Rebuild(const TMemTableCommon& store, unsigned localeId) {
  const std::size_t n = store.RecordCount();
  if (rowOrder_ || n < 2) {
    FillInSlotOrder(store);
    NumberPlacesInSlotOrder(store);
    return;
  }
  // The list is filled from the sorted entries below; until then it is empty.
  list_.clear();

  // Each record's key is computed once (the locale's collation key per text field); the sort
  // then compares bytes (see TRebuildEntry). Entries are made in slot order; in a large table
  // the second half of the slots has its keys computed on a second thread meanwhile.
  using Entry = TRebuildEntry;
  std::vector<Entry, TLargeAllocator<Entry>> entries(n);
  TRebuildTails tails;
  try {
    const std::size_t slots = store.SlotCount();
    std::size_t half = slots, firstCount = n;  // the first part: its slots and its records
    if (n >= kParallelRecords && std::thread::hardware_concurrency() > 1) {
      half = slots / 2;
      firstCount = 0;
      for (std::size_t slot = 0; slot < half; ++slot) firstCount += store.Slot(slot) != nullptr;
    }
    TRebuildTails secondTails;
    std::exception_ptr secondFailure;
    const auto second = [&] {
      try {
        MakeEntries(store, keys_, localeId, half, slots, n - firstCount,
                    entries.data() + firstCount, secondTails);
      } catch (...) {
        secondFailure = std::current_exception();
      }
    };
    std::thread worker;
    if (half < slots) {
      try {
        worker = std::thread(second);
      } catch (const std::system_error&) {
        // No thread to be had: this one does both parts.
      }
    }
    std::exception_ptr firstFailure;
    try {
      MakeEntries(store, keys_, localeId, 0, half, firstCount, entries.data(), tails);
    } catch (...) {
      firstFailure = std::current_exception();
    }
    if (worker.joinable()) {
      worker.join();
    } else if (half < slots) {
      second();
    }
    if (firstFailure) std::rethrow_exception(firstFailure);
    if (secondFailure) std::rethrow_exception(secondFailure);
    // The second part's tails follow the first's.
    if (!secondTails.empty()) {
      const auto shift = static_cast<std::uint32_t>(tails.size());
      tails.insert(tails.end(), secondTails.begin(), secondTails.end());
      for (std::size_t i = firstCount; i < n; ++i) entries[i].tail += shift;
    }
  } catch (...) {
    // A key that cannot be computed (an unknown locale) leaves the list whole, in slot order.
    FillInSlotOrder(store);
    throw;
  }

  // Sorted by prefix, least significant byte first: each pass is stable, so entries with equal
  // prefixes stay in slot order. A pass over a byte that all prefixes share is skipped.
  {
    std::vector<Entry, TLargeAllocator<Entry>> other(n);
    std::array<std::array<std::size_t, 256>, 8> counts{};
    for (const Entry& e : entries)
      for (std::size_t b = 0; b < 8; ++b) ++counts[b][(e.prefix >> (8 * b)) & 0xFF];
    for (std::size_t b = 0; b < 8; ++b) {
      std::array<std::size_t, 256>& at = counts[b];
      if (at[(entries[0].prefix >> (8 * b)) & 0xFF] == n) continue;
      std::size_t sum = 0;
      for (std::size_t& count : at) sum += std::exchange(count, sum);
      for (const Entry& e : entries) other[at[(e.prefix >> (8 * b)) & 0xFF]++] = e;
      entries.swap(other);
    }
  }
  // Then each run of equal prefixes by the rest of the keys, the shorter key first, and equal
  // keys by slot number.
  const auto rest = [&tails](const Entry& e, std::uint32_t& length) {
    const unsigned char* p = tails.data() + e.tail;
    length = *p++;
    if (length == 255) {
      std::memcpy(&length, p, sizeof length);
      p += sizeof length;
    }
    return p;
  };
  const auto compareRest = [&rest](const Entry& a, const Entry& b) {
    std::uint32_t la, lb;
    const unsigned char* ra = rest(a, la);
    const unsigned char* rb = rest(b, lb);
    const std::uint32_t common = std::min(la, lb);
    if (common > 8) {
      const int r = std::memcmp(ra, rb, common - 8);
      if (r != 0) return r;
    }
    return la == lb ? 0 : (la < lb ? -1 : 1);
  };
  for (auto run = entries.begin(); run != entries.end();) {
    const auto end = std::find_if(run + 1, entries.end(),
                                  [&](const Entry& e) { return e.prefix != run->prefix; });
    if (end - run > 1) {
      std::sort(run, end, [&](const Entry& a, const Entry& b) {
        const int r = compareRest(a, b);
        return r != 0 ? r < 0 : a.slot < b.slot;
      });
    }
    run = end;
  }
  bool duplicate = false;
  if (Unique()) {
    for (std::size_t i = 1; i < n && !duplicate; ++i)
      duplicate = entries[i - 1].prefix == entries[i].prefix &&
                  compareRest(entries[i - 1], entries[i]) == 0;
  }
  tails = {};  // given back before the list and the places take their memory

  list_.resize(n);
  places_.assign(std::max(store.SlotCount(), places_.size()), 0);
  std::int64_t place = 0;
  for (std::size_t i = 0; i < n; ++i) {
    list_[i] = store.Slot(entries[i].slot);
    places_[entries[i].slot] = place;
    place += kPlaceGap;
  }
  upToDate_ = true;
  if (duplicate) throw EMemTableError("Duplicate index value. Operation aborted.");
}
}  // namespace kdx
