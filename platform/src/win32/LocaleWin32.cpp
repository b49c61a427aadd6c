// Locale rules on Windows: CompareStringA, CharUpperBuffA and LCMapStringA with the locale id
// the tables carry (LOCALE_USER_DEFAULT), exactly the calls the table engine was defined on.

#include <windows.h>

#include <algorithm>
#include <climits>
#include <string>

#include "common/CaseMapping.h"
#include "kdx/platform/Errors.h"
#include "kdx/platform/Text.h"
#include "kdx/platform/WideText.h"

namespace kdx::text {

namespace {
[[noreturn]] void ThrowInvalidLocale(unsigned localeId) {
  throw Exception("Invalid locale. " + std::to_string(localeId));
}
}  // namespace

std::string AnsiUpperCase(std::string_view cp1250) {
  std::string out(cp1250);
  if (!out.empty()) CharUpperBuffA(out.data(), static_cast<DWORD>(out.size()));
  return out;
}

char32_t UnicodeUpperCase(char32_t cp) {
  // The Greek small letters with ypogegrammeni ("ᾳ") have a capital of two letters ("ΑΙ"); the
  // system's one-letter mapping gives their title-case form instead.
  if ((cp >= 0x1F80 && cp <= 0x1FAF && (cp & 0x0F) < 8) || cp == 0x1FB3 || cp == 0x1FC3 ||
      cp == 0x1FF3)
    return cp;
  // As UTF-16 (a surrogate pair beyond the first plane); a mapping that changes the length is
  // no one-to-one one.
  wchar_t in[2] = {};
  int length = 1;
  if (cp < 0x10000) {
    in[0] = static_cast<wchar_t>(cp);
  } else {
    in[0] = static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10));
    in[1] = static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    length = 2;
  }
  wchar_t out[2] = {};
  if (LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, in, length, out, 2) != length) return cp;
  if (length == 1) return out[0];
  if (out[0] < 0xD800 || out[0] > 0xDBFF || out[1] < 0xDC00 || out[1] > 0xDFFF) return cp;
  return 0x10000 + ((static_cast<char32_t>(out[0]) - 0xD800) << 10) +
         (static_cast<char32_t>(out[1]) - 0xDC00);
}

int CompareText(std::string_view a, std::string_view b, bool ignoreCase, unsigned localeId) {
  // CompareStringA refuses a null pointer even with length 0 (ERROR_INVALID_PARAMETER), which
  // would read as an unknown locale: an empty view may carry one.
  const char* pa = a.data() ? a.data() : "";
  const char* pb = b.data() ? b.data() : "";
  const int r = CompareStringA(static_cast<LCID>(localeId), ignoreCase ? NORM_IGNORECASE : 0, pa,
                               static_cast<int>(a.size()), pb, static_cast<int>(b.size()));
  if (r == 0) ThrowInvalidLocale(localeId);
  return r - 2;
}

std::string CollationKey(std::string_view cp1250, bool ignoreCase, unsigned localeId) {
  const DWORD flags = LCMAP_SORTKEY | (ignoreCase ? NORM_IGNORECASE : 0);
  const int len = LCMapStringA(static_cast<LCID>(localeId), flags, cp1250.data(),
                               static_cast<int>(cp1250.size()), nullptr, 0);
  if (len <= 0) {
    if (cp1250.empty()) return {};
    ThrowInvalidLocale(localeId);
  }
  std::string key(static_cast<size_t>(len), '\0');
  LCMapStringA(static_cast<LCID>(localeId), flags, cp1250.data(), static_cast<int>(cp1250.size()),
               key.data(), len);
  // The key ends with a NUL terminator that is not part of the ordering.
  if (!key.empty() && key.back() == '\0') key.pop_back();
  return key;
}

std::string CollationKeyUtf8(std::string_view utf8, bool ignoreCase, unsigned localeId) {
  const std::wstring wide = platform::Wide(utf8);
  const DWORD flags = LCMAP_SORTKEY | (ignoreCase ? NORM_IGNORECASE : 0);
  const LCID lcid = static_cast<LCID>(localeId);
  const int len =
      LCMapStringW(lcid, flags, wide.c_str(), static_cast<int>(wide.size()), nullptr, 0);
  if (len <= 0) {
    if (wide.empty()) return {};
    ThrowInvalidLocale(localeId);
  }
  // With LCMAP_SORTKEY the destination is a byte array and its length counts bytes.
  std::string key(static_cast<size_t>(len), '\0');
  LCMapStringW(lcid, flags, wide.c_str(), static_cast<int>(wide.size()),
               reinterpret_cast<LPWSTR>(key.data()), len);
  if (!key.empty() && key.back() == '\0') key.pop_back();
  return key;
}

TCollationKeyWriter::~TCollationKeyWriter() = default;

std::size_t TCollationKeyWriter::Write(std::string_view cp1250, unsigned char* dest,
                                       std::size_t capacity) {
  // Nothing to look up: the locale id goes with every call, and an unknown one fails there.
  const DWORD flags = LCMAP_SORTKEY | (ignoreCase_ ? NORM_IGNORECASE : 0);
  const LCID lcid = static_cast<LCID>(localeId_);
  const int src = static_cast<int>(cp1250.size());
  const int room = static_cast<int>(std::min<std::size_t>(capacity, INT_MAX));
  int len = LCMapStringA(lcid, flags, cp1250.data(), src, reinterpret_cast<char*>(dest), room);
  if (len > 0) return static_cast<std::size_t>(dest[len - 1] == 0 ? len - 1 : len);
  // Too little room, or a text or locale the call refuses: as CollationKey decides.
  len = LCMapStringA(lcid, flags, cp1250.data(), src, nullptr, 0);
  if (len <= 0) {
    if (cp1250.empty()) return 0;
    ThrowInvalidLocale(localeId_);
  }
  // It did not fit: the length without the terminator (never below `capacity`, so that the
  // caller asks again).
  return std::max(static_cast<std::size_t>(len) - 1, capacity);
}

}  // namespace kdx::text
