#pragma once
// Internal access to how a field's RecordSlot is laid out in a record: one null-flag byte
// (0 null, 1 value), then Size + 1 bytes of NUL-terminated text or a 16-bit truth word.

#include <cstdint>
#include <cstring>
#include <string_view>

#include "kdx/memtable/Field.h"

namespace kdx {

struct TFieldAccess {
  static int Offset(const TField& f) { return f.offset_; }
  static void SetLayout(TField& f, int index, int offset) {
    f.index_ = index;
    f.offset_ = offset;
  }
  // Bytes of the field's slot in a record.
  static std::size_t SlotSize(const TField& f) {
    return f.DataType() == TFieldType::String ? 1 + static_cast<std::size_t>(f.Size()) + 1 : 3;
  }
  static const unsigned char* Slot(const TField& f, const unsigned char* record) {
    return record + f.offset_;
  }
  static unsigned char* Slot(const TField& f, unsigned char* record) { return record + f.offset_; }

  static bool IsNull(const unsigned char* slot) { return slot[0] == 0; }
  static std::string_view Text(const TField& f, const unsigned char* slot) {
    const char* p = reinterpret_cast<const char*>(slot + 1);
    const std::size_t size = static_cast<std::size_t>(f.Size());
    const void* nul = std::memchr(p, 0, size);
    return std::string_view(
        p, nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - p) : size);
  }
  static bool Truth(const unsigned char* slot) {
    std::uint16_t word;
    std::memcpy(&word, slot + 1, sizeof word);
    return word != 0;
  }
  // Stores a text: its first Size bytes, ending at its first NUL.
  static void StoreText(const TField& f, unsigned char* slot, std::string_view text) {
    const std::size_t size = static_cast<std::size_t>(f.Size());
    std::size_t n = text.size() < size ? text.size() : size;
    const void* nul = std::memchr(text.data(), 0, n);
    if (nul) n = static_cast<std::size_t>(static_cast<const char*>(nul) - text.data());
    slot[0] = 1;
    std::memcpy(slot + 1, text.data(), n);
    std::memset(slot + 1 + n, 0, size + 1 - n);
  }
  // For a slot that is all zero (a new record's field not written yet), which keeps the zeros
  // behind the text: marks it as holding a text and returns where the text's bytes go (at most
  // Size of them). StoreTextInClearedSlot stores a text that holds no NUL there.
  static char* ClearedTextSlot(unsigned char* slot) {
    slot[0] = 1;
    return reinterpret_cast<char*>(slot + 1);
  }
  static void StoreTextInClearedSlot(const TField& f, unsigned char* slot, std::string_view text) {
    const std::size_t size = static_cast<std::size_t>(f.Size());
    std::memcpy(ClearedTextSlot(slot), text.data(), text.size() < size ? text.size() : size);
  }
  static void StoreTruth(unsigned char* slot, bool value) {
    const std::uint16_t word = value ? 1 : 0;
    slot[0] = 1;
    std::memcpy(slot + 1, &word, sizeof word);
  }
  static void StoreNull(const TField& f, unsigned char* slot) { std::memset(slot, 0, SlotSize(f)); }
};

}  // namespace kdx
