// Fuzzes the table file's lexing on its own (TableFileLexer.h), with arbitrary bytes cut into
// lines as the reader cuts them. Each line lies in a heap block of its exact size plus the
// record scan's read-ahead, so the sanitizers see any read beyond what the reader guarantees.
// Besides their findings it checks:
// - framing: a line holds no CR, LF or NUL and the lines with their ends cover the input;
// - values: ReadValue always advances, ends at most one past the line, and a value is never
//   longer than the line;
// - unescaping: never longer than the raw text, no NUL in it, UnescapeInto stops at its room
//   and writes the beginning of what Unescape gives;
// - the vectorised value scan finds what the byte-at-a-time scan finds, at every start;
// - definition lines: the tokens hold no more characters than the text.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "../src/TableFileLexer.h"

namespace {

using namespace kdx::tablefile;

void Fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

void CheckValues(std::string_view line, const kdx::TCsvFormat& csv) {
  std::string out;
  std::size_t last = 0;
  ForEachValue(line, csv, out, [&](ValueKind kind, const std::string& value, std::size_t pos) {
    if (pos <= last) Fail("ReadValue did not advance");
    if (pos > line.size() + 1) Fail("ReadValue went beyond the line");
    if (kind == ValueKind::Value && value.size() > line.size()) Fail("value longer than its line");
    last = pos;
  });
}

void CheckUnescape(std::string_view raw) {
  std::string whole;
  Unescape(raw, whole);
  if (whole.size() > raw.size()) Fail("unescaped text longer than the raw one");
  if (whole.find('\0') != std::string::npos) Fail("NUL in an unescaped text");
  for (const std::size_t room : {std::size_t{0}, std::size_t{1}, raw.size() / 2}) {
    auto out = std::make_unique<char[]>(room + 1);  // exact room (one byte for room 0)
    const std::size_t n = UnescapeInto(raw, out.get(), room);
    if (n > room) Fail("UnescapeInto beyond its room");
    if (std::string_view(out.get(), n) != std::string_view(whole).substr(0, n))
      Fail("UnescapeInto and Unescape differ");
  }
}

// The record scan from every start of a line, which lies in `padded` followed by its
// line end and kReadAhead - 1 more bytes.
void CheckValueStops(const char* padded, std::size_t length, const TLineBytes& bytes) {
  for (std::size_t start = 0; start <= length; ++start) {
    bool fast = false, slow = false;
    const char* a = bytes.FindValueStop(padded + start, fast);
    const char* b = bytes.FindValueStopBytewise(padded + start, slow);
    if (a != b || fast != slow) Fail("vectorised and bytewise value scans differ");
    if (a > padded + length) Fail("value scan past the line end");
  }
}

void CheckDefinition(std::string_view line) {
  const TDefinitionLine def = SplitDefinitionLine(line, '"');
  std::size_t chars = def.Name.size();
  for (const std::string& token : def.Tokens) chars += token.size();
  if (def.Tokens.empty() || chars > line.size()) Fail("definition tokens out of their line");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* begin = reinterpret_cast<const char*>(data);
  const char* end = begin + size;
  const kdx::TCsvFormat csv;
  kdx::TCsvFormat noRecordDelimiter;
  noRecordDelimiter.RecordDelimiter = '\0';
  const TLineBytes bytes(csv);

  const char* lastLf = AfterLastLineFeed(begin, end);
  if (lastLf != begin && lastLf[-1] != '\n') Fail("AfterLastLineFeed not after an LF");
  std::size_t covered = 0;
  for (const char* p = begin; p < end;) {
    const char* stop = FindLineEnd(p, end);
    if (stop < p || stop > end) Fail("line end outside the input");
    const std::string_view line(p, static_cast<std::size_t>(stop - p));
    if (line.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos)
      Fail("line end inside a line");
    if (stop < end && *stop != '\r' && *stop != '\n' && *stop != '\0') Fail("not a line end");
    if (p < lastLf && stop >= lastLf) Fail("a line before the last LF ends after it");
    covered += line.size() + (stop < end ? 1 : 0);
    if (!line.empty()) {
      CheckValues(line, csv);
      CheckValues(line, noRecordDelimiter);
      CheckUnescape(line);
      CheckDefinition(line);
      // As the reader holds a record line: its end, then the read-ahead.
      const std::size_t padded = line.size() + kReadAhead;
      auto copy = std::make_unique<char[]>(padded);
      std::memcpy(copy.get(), line.data(), line.size());
      std::memset(copy.get() + line.size(), 0, kReadAhead);
      copy[line.size()] = stop < end ? *stop : '\0';
      CheckValueStops(copy.get(), line.size(), bytes);
    }
    p = stop == end ? end : stop + 1;
  }
  if (covered != size) Fail("the lines do not cover the input");
  return 0;
}
