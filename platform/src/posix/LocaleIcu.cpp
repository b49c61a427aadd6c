// Locale rules on POSIX through ICU: upper-casing and collation of the user's default locale
// (ICU takes it from LC_ALL, LC_COLLATE / LC_MESSAGES and LANG).

#include <unicode/uchar.h>
#include <unicode/ucol.h>
#include <unicode/uloc.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <array>
#include <climits>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "common/CaseMapping.h"
#include "kdx/platform/Errors.h"
#include "kdx/platform/Text.h"

namespace kdx::text {

namespace {

struct CollatorCloser {
  void operator()(UCollator* c) const { ucol_close(c); }
};
using CollatorPtr = std::unique_ptr<UCollator, CollatorCloser>;

// The ICU locale name for a Windows locale id; empty when the id is unknown.
std::string IcuLocaleFor(unsigned localeId) {
  // LOCALE_USER_DEFAULT (1024), LOCALE_SYSTEM_DEFAULT (2048) and the neutral 0: the default.
  if (localeId == 1024 || localeId == 2048 || localeId == 0) {
    // The C/POSIX locale becomes ICU's "en_US_POSIX", whose tailoring orders ASCII bytewise
    // and so breaks case-insensitive equality; a user without a locale gets the root
    // collation instead.
    const std::string def = uloc_getDefault();
    return def == "en_US_POSIX" ? std::string("root") : def;
  }
  char name[ULOC_FULLNAME_CAPACITY] = {};
  UErrorCode status = U_ZERO_ERROR;
  const int32_t len = uloc_getLocaleForLCID(localeId, name, sizeof name, &status);
  if (U_FAILURE(status) || len <= 0) return {};
  return name;
}

// One collator per (locale, case rule), created on first use and kept for the run. The tables
// are used from the user-interface thread only, but the cache is guarded all the same.
UCollator* CollatorFor(unsigned localeId, bool ignoreCase) {
  static std::mutex mutex;
  static std::map<std::pair<unsigned, bool>, CollatorPtr> cache;
  std::lock_guard lock(mutex);
  auto& slot = cache[{localeId, ignoreCase}];
  if (!slot) {
    const std::string name = IcuLocaleFor(localeId);
    if (name.empty()) return nullptr;
    UErrorCode status = U_ZERO_ERROR;
    UCollator* coll = ucol_open(name.c_str(), &status);
    if (U_FAILURE(status) || !coll) return nullptr;
    // Tertiary strength tells letter case apart; secondary ignores case but keeps accents,
    // like the ignore-case flag of the Windows comparison.
    ucol_setStrength(coll, ignoreCase ? UCOL_SECONDARY : UCOL_TERTIARY);
    slot.reset(coll);
  }
  return slot.get();
}

[[noreturn]] void ThrowInvalidLocale(unsigned localeId) {
  throw Exception("Invalid locale. " + std::to_string(localeId));
}

// cp1250 bytes as UTF-16 in a buffer that avoids the heap for short texts.
class Utf16Buffer {
 public:
  explicit Utf16Buffer(std::string_view s) {
    data_ = s.size() <= small_.size() ? small_.data()
                                      : (large_ = std::make_unique<UChar[]>(s.size())).get();
    for (size_t i = 0; i < s.size(); ++i)
      data_[i] = static_cast<UChar>(Cp1250ToUnicode(static_cast<unsigned char>(s[i])));
    size_ = static_cast<int32_t>(s.size());
  }
  const UChar* data() const { return data_; }
  int32_t size() const { return size_; }

 private:
  std::array<UChar, 256> small_;
  std::unique_ptr<UChar[]> large_;
  UChar* data_;
  int32_t size_;
};

// The sort key of a cp1250 text into dest[0, capacity); returns its length without the NUL that
// ends it, which is capacity or more when it did not fit (dest then holds nothing useful).
std::size_t WriteSortKey(const UCollator* coll, std::string_view cp1250, unsigned char* dest,
                         std::size_t capacity) {
  const Utf16Buffer u(cp1250);
  const int32_t room = static_cast<int32_t>(std::min<std::size_t>(capacity, INT32_MAX));
  const int32_t len = ucol_getSortKey(coll, u.data(), u.size(), dest, room);
  return len > 0 ? static_cast<std::size_t>(len) - 1 : 0;
}

}  // namespace

std::string AnsiUpperCase(std::string_view cp1250) {
  // A byte table computed once: the simple upper-case mapping of each byte's character,
  // kept only when the result is itself a cp1250 byte.
  static const std::array<unsigned char, 256> table = [] {
    std::array<unsigned char, 256> t{};
    for (int b = 0; b < 256; ++b) {
      unsigned char out = static_cast<unsigned char>(b);
      const UChar32 upper =
          u_toupper(static_cast<UChar32>(Cp1250ToUnicode(static_cast<unsigned char>(b))));
      unsigned char mapped = 0;
      if (UnicodeToCp1250(static_cast<char32_t>(upper), mapped)) out = mapped;
      t[b] = out;
    }
    return t;
  }();
  std::string out(cp1250);
  for (char& c : out) c = static_cast<char>(table[static_cast<unsigned char>(c)]);
  return out;
}

char32_t UnicodeUpperCase(char32_t cp) {
  // The full mapping of the root locale, kept only when it is one character: the simple
  // mapping (u_toupper) would give "ᾳ" the title-case "ᾼ" where its capital is "ΑΙ".
  UChar in[2] = {};
  int32_t length = 0;
  UBool overflow = false;
  U16_APPEND(in, length, 2, static_cast<UChar32>(cp), overflow);
  if (overflow) return cp;
  UChar out[4] = {};
  UErrorCode status = U_ZERO_ERROR;
  const int32_t outLength = u_strToUpper(out, 4, in, length, "", &status);
  if (U_FAILURE(status) || outLength < 1) return cp;
  UChar32 upper = 0;
  int32_t i = 0;
  U16_NEXT(out, i, outLength, upper);
  return i == outLength ? static_cast<char32_t>(upper) : cp;
}

int CompareText(std::string_view a, std::string_view b, bool ignoreCase, unsigned localeId) {
  UCollator* coll = CollatorFor(localeId, ignoreCase);
  if (!coll) ThrowInvalidLocale(localeId);
  const Utf16Buffer ua(a), ub(b);
  switch (ucol_strcoll(coll, ua.data(), ua.size(), ub.data(), ub.size())) {
    case UCOL_LESS:
      return -1;
    case UCOL_GREATER:
      return 1;
    default:
      return 0;
  }
}

std::string CollationKey(std::string_view cp1250, bool ignoreCase, unsigned localeId) {
  UCollator* coll = CollatorFor(localeId, ignoreCase);
  if (!coll) ThrowInvalidLocale(localeId);
  std::string key(64, '\0');
  const auto write = [&] {
    return WriteSortKey(coll, cp1250, reinterpret_cast<unsigned char*>(key.data()), key.size());
  };
  std::size_t length = write();
  if (length >= key.size()) {
    key.resize(length + 1);
    length = write();
  }
  key.resize(length);
  return key;
}

std::string CollationKeyUtf8(std::string_view utf8, bool ignoreCase, unsigned localeId) {
  UCollator* coll = CollatorFor(localeId, ignoreCase);
  if (!coll) ThrowInvalidLocale(localeId);
  // UTF-16 needs at most one unit per byte; malformed bytes become U+FFFD.
  std::vector<UChar> text(utf8.size() + 1);
  int32_t length = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strFromUTF8WithSub(text.data(), static_cast<int32_t>(text.size()), &length, utf8.data(),
                       static_cast<int32_t>(utf8.size()), 0xFFFD, nullptr, &status);
  if (U_FAILURE(status)) length = 0;
  std::string key(64, '\0');
  for (;;) {
    const int32_t n =
        ucol_getSortKey(coll, text.data(), length, reinterpret_cast<uint8_t*>(key.data()),
                        static_cast<int32_t>(key.size()));
    if (n <= static_cast<int32_t>(key.size())) {
      key.resize(n > 0 ? static_cast<std::size_t>(n) - 1 : 0);  // without the closing NUL
      return key;
    }
    key.resize(static_cast<std::size_t>(n));
  }
}

TCollationKeyWriter::~TCollationKeyWriter() {
  ucol_close(static_cast<UCollator*>(collator_));
}

std::size_t TCollationKeyWriter::Write(std::string_view cp1250, unsigned char* dest,
                                       std::size_t capacity) {
  if (!collator_) {
    // A copy of its own: a collator that other threads use at the same time must not be used.
    const UCollator* shared = CollatorFor(localeId_, ignoreCase_);
    if (!shared) ThrowInvalidLocale(localeId_);
    UErrorCode status = U_ZERO_ERROR;
    UCollator* copy = ucol_clone(shared, &status);
    if (U_FAILURE(status) || !copy) {
      ucol_close(copy);
      throw std::bad_alloc();
    }
    collator_ = copy;
  }
  return WriteSortKey(static_cast<const UCollator*>(collator_), cp1250, dest, capacity);
}

}  // namespace kdx::text
