#pragma once
// Text and locale services. Inside the program text is 8-bit cp1250 bytes in std::string; this
// is the one place that knows the code page and the user's locale.
//
// Backends: src/posix (ICU: collation and case mapping of the user's default locale, taken from
// LC_ALL / LC_COLLATE / LANG) and src/win32 (CompareStringA, CharUpperBuffA, LCMapStringA). The
// code-page conversion itself is table-driven and shared by both.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kdx::text {

// The locale id of the user's default locale (LOCALE_USER_DEFAULT), the tables' LocaleID.
inline constexpr unsigned kUserDefaultLocale = 1024;

// --- code page 1250 <-> Unicode (pure, no locale) -------------------------------------------

// Unicode code point of one cp1250 byte. The five bytes that cp1250 leaves undefined
// (0x81, 0x83, 0x88, 0x90, 0x98) map to the C1 control of the same value, so every byte
// round-trips.
char32_t Cp1250ToUnicode(unsigned char byte);

// The cp1250 byte for a code point; false when cp1250 cannot hold it.
bool UnicodeToCp1250(char32_t cp, unsigned char& byte);

std::string Cp1250ToUtf8(std::string_view cp1250);
std::u16string Cp1250ToUtf16(std::string_view cp1250);

// Converts to cp1250. Characters cp1250 cannot hold (and malformed UTF-8) become '?'; `lossless`
// (when given) is set to false if that happened.
std::string Utf8ToCp1250(std::string_view utf8, bool* lossless = nullptr);
std::string Utf16ToCp1250(std::u16string_view utf16, bool* lossless = nullptr);

// A file name or path as the system gave it (bytes), as UTF-8 text: well-formed UTF-8 stays as
// it is, and each byte outside a well-formed UTF-8 sequence is read as its cp1250 character (a
// name written in an 8-bit code page, such as a Latin-2 folder on a UTF-8 system). `wellFormed`
// (when given) is set to false if that happened. For showing and matching a name only: the
// file operations keep the bytes.
std::string FileNameToUtf8(std::string_view bytes, bool* wellFormed = nullptr);

// True when every character of the UTF-8 text has a cp1250 byte.
bool IsCp1250Representable(std::string_view utf8);

// Removes the characters of code 32 and below (blanks, tabs, line breaks, other controls) at
// both ends.
std::string TrimControls(std::string_view text);
// The same at the end only, for UTF-16 text such as the toolkit holds.
std::u16string_view TrimControlsRight(std::u16string_view text);

// --- locale rules -----------------------------------------------------------------------------

// Upper-cases cp1250 text by the user's locale: "příliš žluťoučký" -> "PŘÍLIŠ ŽLUŤOUČKÝ".
// Characters whose upper case form is not a single cp1250 byte (ß, ÿ...) stay as they are.
std::string AnsiUpperCase(std::string_view cp1250);

// ASCII-only upper-casing (a-z -> A-Z, everything else unchanged).
std::string AsciiUpperCase(std::string_view text);

// Comparisons blind to ASCII case only: "a" matches "A", every other byte (a cp1250 or UTF-8
// letter included) only itself. For names and keywords of the program's own ("True", "SMTP:").
bool EqualsAsciiNoCase(std::string_view a, std::string_view b);
bool StartsWithAsciiNoCase(std::string_view text, std::string_view prefix);

// Upper-cases a file name (UTF-8) one character to one: a character that cp1250 holds as
// AnsiUpperCase upper-cases it (so that the name agrees with its cp1250 spelling: "ß" stays
// "ß"), any other by Unicode's upper-case mapping where that gives one character ("ж" becomes
// "Ж"; the ligature "ﬁ", whose capital is "FI", stays). Two names are case variants of each
// other exactly when they give the same result. Bytes that are not well-formed UTF-8 stay as
// they are.
std::string UpperFileName(std::string_view utf8);

// Compares two cp1250 texts by the collation of `localeId` (kUserDefaultLocale: the user's
// default locale), as whole strings. Returns <0, 0 or >0. `ignoreCase` ignores letter case
// only (accents still count). Throws EDatabaseError-derived kdx::Exception
// "Invalid locale. <id>" when the locale id is not known.
int CompareText(std::string_view a, std::string_view b, bool ignoreCase,
                unsigned localeId = kUserDefaultLocale);

// A byte string whose plain byte order (memcmp, shorter-is-less) equals CompareText's order for
// the same `ignoreCase` and locale. For callers that compare one text many times (index
// rebuilds): compute the key once, then compare keys.
std::string CollationKey(std::string_view cp1250, bool ignoreCase,
                         unsigned localeId = kUserDefaultLocale);

// CollationKey for a UTF-8 text (a file name): the same order for what cp1250 can spell, and
// every other character in its place too rather than as '?'.
std::string CollationKeyUtf8(std::string_view utf8, bool ignoreCase,
                             unsigned localeId = kUserDefaultLocale);

// CollationKey for many texts under one rule, written into the caller's memory: for callers
// that compute a key per record (index rebuilds). The locale is looked up once, at the first
// key, which fails as CollationKey does when it is not known. Writers share nothing: each may
// be used on a thread of its own.
class TCollationKeyWriter {
 public:
  explicit TCollationKeyWriter(bool ignoreCase, unsigned localeId = kUserDefaultLocale)
      : ignoreCase_(ignoreCase), localeId_(localeId) {}
  ~TCollationKeyWriter();
  TCollationKeyWriter(const TCollationKeyWriter&) = delete;
  TCollationKeyWriter& operator=(const TCollationKeyWriter&) = delete;

  // The length of CollationKey(cp1250, ...). When it is below `capacity` (at least 1) the key's
  // bytes are in dest[0, length); otherwise dest holds nothing useful and the caller asks again
  // with more room. Never writes beyond `capacity` bytes.
  std::size_t Write(std::string_view cp1250, unsigned char* dest, std::size_t capacity);

 private:
  bool ignoreCase_;
  unsigned localeId_;
  void* collator_ = nullptr;  // the writer's own copy of the platform's collator, once looked up
};

}  // namespace kdx::text
