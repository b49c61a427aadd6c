#pragma once
// The table file's lexing (internal): cutting bytes into lines, reading the values of a line,
// unescaping texts and splitting definition lines, by the rules in TableFileFormat.h. Pure
// functions of their arguments; the reader (TableFileReader.cpp) puts what they find into the
// table.

#include <array>
#include <bit>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define KDX_SCAN_SSE2 1
#endif

#include "kdx/memtable/MemTable.h"

namespace kdx::tablefile {

// Bytes beyond the end of a record line that the record scan may read (and ignore): a record
// line read in place is always followed by its line end and then at least kReadAhead - 1 more
// bytes in memory.
inline constexpr std::size_t kReadAhead = 16;

// --- lines ---------------------------------------------------------------------------------------

// The first CR, LF or NUL in [p, end), or end.
const char* FindLineEnd(const char* p, const char* end);
// Just after the last LF in [begin, end), or begin when there is none: a line that starts before
// it ends within [begin, end).
const char* AfterLastLineFeed(const char* begin, const char* end);

// --- values --------------------------------------------------------------------------------------

enum class ValueKind { None, Null, Value };

// Reads the next value of `line` from `pos`: None when the line has no more, Null for a delimiter
// right away, else Value with the unquoted (not unescaped) value in `out`. `pos` ends after the
// value and the character that follows its closing quote.
ValueKind ReadValue(std::string_view line, std::size_t& pos, std::string& out,
                    const TCsvFormat& csv);

// Calls f(kind, value, pos) for every value ReadValue finds in `line` (kind Null or Value; the
// value in `out`), with the position after it.
template <typename F>
void ForEachValue(std::string_view line, const TCsvFormat& csv, std::string& out, F&& f) {
  std::size_t pos = 0;
  for (ValueKind kind; (kind = ReadValue(line, pos, out, csv)) != ValueKind::None;)
    f(kind, static_cast<const std::string&>(out), pos);
}

// Unescapes `raw` (which holds no NUL) straight into `out`, as a text field stores it: at most
// `room` bytes, ending before the first NUL. Returns the bytes written.
std::size_t UnescapeInto(std::string_view raw, char* out, std::size_t room);
// The same into `out`, whole.
void Unescape(std::string_view raw, std::string& out);

// What a byte of a record line is to the record scan of one format (whose quote and delimiters
// are none of the line ends and not '%'), and the scan for the end of a quoted value.
class TLineBytes {
 public:
  static constexpr unsigned char kLineEnd = 1, kQuote = 2, kDelimiter = 4, kPercent = 8;

  explicit TLineBytes(const TCsvFormat& csv);
  unsigned char Kind(char c) const { return kinds_[static_cast<unsigned char>(c)]; }

  // The first quote or line end from `p` on; sets `escaped` when a '%' comes before it. Sixteen
  // bytes at a time where the processor offers it (reading at most kReadAhead - 1 bytes beyond
  // the line end).
  const char* FindValueStop(const char* p, bool& escaped) const {
#ifdef KDX_SCAN_SSE2
    const __m128i quote = _mm_set1_epi8(quote_), percent = _mm_set1_epi8('%');
    const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n'), nul = _mm_setzero_si128();
    for (;; p += 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      const __m128i stops =
          _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, nul)),
                       _mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)));
      const auto found = static_cast<unsigned>(_mm_movemask_epi8(stops));
      const auto percents = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, percent)));
      if (found) {
        // The bits below the first stop.
        if (percents & ((found & (0u - found)) - 1)) escaped = true;
        return p + std::countr_zero(found);
      }
      if (percents) escaped = true;
    }
#else
    return FindValueStopBytewise(p, escaped);
#endif
  }
  // The same a byte at a time (reading nothing beyond the stop).
  const char* FindValueStopBytewise(const char* p, bool& escaped) const {
    for (;; ++p) {
      const unsigned char kind = Kind(*p);
      if (kind & (kLineEnd | kQuote)) return p;
      if (kind & kPercent) escaped = true;
    }
  }

 private:
  char quote_;
  std::array<unsigned char, 256> kinds_{};
};

// --- definitions ---------------------------------------------------------------------------------

// A definition line "Name=token,token,...": the name before the first '=' (the whole text when
// there is none) and the comma-separated tokens after it, quoted tokens unquoted ("" within
// quotes is one quote). There is always at least one token.
struct TDefinitionLine {
  std::string Name;
  std::vector<std::string> Tokens;
};
TDefinitionLine SplitDefinitionLine(std::string_view text, char quote);
// The comma-separated tokens alone.
std::vector<std::string> SplitDefinition(std::string_view text, char quote);

// A decimal number of at most nine digits, nothing else; false (and `out` untouched) otherwise.
bool ParseDecimal(std::string_view s, int& out);

}  // namespace kdx::tablefile
