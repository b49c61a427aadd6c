// The table file's lexing on its own: line framing, values, escapes, definition lines, and the
// record scan's search for the end of a value, on hostile inputs as well as well-formed ones.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "../src/TableFileLexer.h"

using namespace kdx;
using namespace kdx::tablefile;

namespace {

// The lines FindLineEnd cuts from `bytes` the way the reader does: a run of line ends ends one
// line, so empty lines vanish.
std::vector<std::string> Lines(std::string_view bytes) {
  std::vector<std::string> lines;
  const char* p = bytes.data();
  const char* end = p + bytes.size();
  while (p < end) {
    const char* stop = FindLineEnd(p, end);
    if (stop > p) lines.emplace_back(p, stop);
    p = stop == end ? end : stop + 1;
  }
  return lines;
}

struct Value {
  ValueKind kind;
  std::string text;
  bool operator==(const Value&) const = default;
};

// Every value ReadValue finds in `line`, in order.
std::vector<Value> Values(std::string_view line, const TCsvFormat& csv = {}) {
  std::vector<Value> values;
  std::string out;
  std::size_t last = 0;
  ForEachValue(line, csv, out, [&](ValueKind kind, const std::string& text, std::size_t pos) {
    EXPECT_GT(pos, last) << "no progress in " << line;
    // At most one past the end: a closing quote at the end skips the character after it too.
    EXPECT_LE(pos, line.size() + 1);
    last = pos;
    values.push_back({kind, kind == ValueKind::Value ? text : std::string()});
  });
  return values;
}

std::string Unescaped(std::string_view raw) {
  std::string out;
  Unescape(raw, out);
  return out;
}

const Value kNull{ValueKind::Null, {}};
Value V(std::string text) {
  return {ValueKind::Value, std::move(text)};
}

}  // namespace

TEST(TableFileLexer, LinesEndAtCrLfCrLfOrNulAndEmptyLinesVanish) {
  EXPECT_EQ(Lines("a\r\nb\r\n"), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(Lines("a\nb\rc"), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(Lines(std::string_view("a\0b", 3)), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(Lines("\r\n\r\n\n\ra\r\r\n\nb"), (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(Lines("").empty());
  EXPECT_TRUE(Lines("\r\n").empty());
  // A line without its end runs to the end of the bytes.
  EXPECT_EQ(Lines("\"x\",\"y"), (std::vector<std::string>{"\"x\",\"y"}));
  const std::string_view cr = "ab\rcd\nef";
  EXPECT_EQ(FindLineEnd(cr.data(), cr.data() + cr.size()), cr.data() + 2);  // CR before the LF
  EXPECT_EQ(FindLineEnd(cr.data() + 3, cr.data() + cr.size()), cr.data() + 5);
  EXPECT_EQ(FindLineEnd(cr.data() + 6, cr.data() + cr.size()), cr.data() + cr.size());
}

TEST(TableFileLexer, AfterLastLineFeedFindsWhereTheUnfinishedLineStarts) {
  const std::string_view bytes = "a\r\nbc\r\nde";
  const char* begin = bytes.data();
  EXPECT_EQ(AfterLastLineFeed(begin, begin + bytes.size()), begin + 7);
  EXPECT_EQ(AfterLastLineFeed(begin, begin + 7), begin + 7);  // ends with its LF
  EXPECT_EQ(AfterLastLineFeed(begin, begin + 2), begin);      // a CR alone is no LF
  EXPECT_EQ(AfterLastLineFeed(begin, begin), begin);
}

TEST(TableFileLexer, ValuesAreQuotedNullOrAbsent) {
  EXPECT_EQ(Values("\"a\",\"b\","), (std::vector<Value>{V("a"), V("b")}));
  // A delimiter right away is null, the empty quotes are the empty text.
  EXPECT_EQ(Values(",\"\",,\"x\","), (std::vector<Value>{kNull, V(""), kNull, V("x")}));
  // A doubled quote is one quote of the value; commas inside quotes belong to it.
  EXPECT_EQ(Values("\"a\"\"b\",\"c,d\""), (std::vector<Value>{V("a\"b"), V("c,d")}));
  // Characters before an opening quote are skipped; the character after the closing quote too.
  EXPECT_EQ(Values("junk\"a\"X\"b\""), (std::vector<Value>{V("a"), V("b")}));
  EXPECT_TRUE(Values("").empty());
  EXPECT_TRUE(Values("no quotes or commas").empty());
  // Escapes are left for Unescape.
  EXPECT_EQ(Values("\"50%% %n\""), (std::vector<Value>{V("50%% %n")}));
}

TEST(TableFileLexer, AnUnterminatedQuoteKeepsWhatPrecedesTheLastDoubledQuote) {
  EXPECT_EQ(Values("\"abc"), (std::vector<Value>{V("")}));
  EXPECT_EQ(Values("\"ab\"\"cd"), (std::vector<Value>{V("ab\"")}));
  EXPECT_EQ(Values("\"ab\"\"cd\"\"ef"), (std::vector<Value>{V("ab\"cd\"")}));
  EXPECT_EQ(Values("\"x\",\""), (std::vector<Value>{V("x"), V("")}));
  // A doubled quote at the very end is one quote, with no closing quote after it.
  EXPECT_EQ(Values("\"ab\"\""), (std::vector<Value>{V("ab\"")}));
}

TEST(TableFileLexer, TheRecordDelimiterCountsOnlyWhenTheFormatHasOne) {
  TCsvFormat semicolons;
  semicolons.RecordDelimiter = ';';
  EXPECT_EQ(Values(";\"a\";", semicolons), (std::vector<Value>{kNull, V("a")}));
  TCsvFormat none;
  none.RecordDelimiter = '\0';
  // A NUL in the line is then just a character before the quote.
  EXPECT_EQ(Values(std::string_view("\0\"a\"", 4), none), (std::vector<Value>{V("a")}));
}

TEST(TableFileLexer, UnescapingTurnsTheFourEscapesBackAndLeavesOtherPercents) {
  EXPECT_EQ(Unescaped("a%%b%nc%cd"), "a%b\nc\rd");
  EXPECT_EQ(Unescaped("100%"), "100%");             // an escape at the end of the buffer
  EXPECT_EQ(Unescaped("%x%"), "%x%");               // before any other character
  EXPECT_EQ(Unescaped("%%%"), "%%");                // "%%" then a lone '%'
  EXPECT_EQ(Unescaped("before%0after"), "before");  // the text ends at a NUL
  EXPECT_EQ(Unescaped("%0"), "");
  EXPECT_EQ(Unescaped(""), "");
}

TEST(TableFileLexer, UnescapeIntoNeverWritesBeyondItsRoom) {
  char out[8];
  std::string_view raw = "abc%ndef%%ghi";
  std::fill(std::begin(out), std::end(out), '#');
  EXPECT_EQ(UnescapeInto(raw, out, 5), 5u);
  EXPECT_EQ(std::string(out, 8), "abc\nd###");
  // The room ends right at an escape: it is not half taken.
  std::fill(std::begin(out), std::end(out), '#');
  EXPECT_EQ(UnescapeInto("ab%%", out, 2), 2u);
  EXPECT_EQ(std::string(out, 3), "ab#");
  EXPECT_EQ(UnescapeInto("abc", out, 0), 0u);
}

TEST(TableFileLexer, DefinitionLinesSplitAtCommasOutsideQuotes) {
  const TDefinitionLine field =
      SplitDefinitionLine("Nazev=String,255,\"Label, long\",\"\",50,REQ,fkData,\"\"\"x\"\"\"", '"');
  EXPECT_EQ(field.Name, "Nazev");
  EXPECT_EQ(field.Tokens, (std::vector<std::string>{"String", "255", "Label, long", "", "50", "REQ",
                                                    "fkData", "\"x\""}));
  // Only the first '=' separates the name.
  const TDefinitionLine index = SplitDefinitionLine("IDX=\"a=b;c\",\"\",UNIQ", '"');
  EXPECT_EQ(index.Name, "IDX");
  EXPECT_EQ(index.Tokens, (std::vector<std::string>{"a=b;c", "", "UNIQ"}));
  // No '=' at all: the whole text is the name and there is one empty token.
  const TDefinitionLine bare = SplitDefinitionLine("Lonely", '"');
  EXPECT_EQ(bare.Name, "Lonely");
  EXPECT_EQ(bare.Tokens, (std::vector<std::string>{""}));
  // An unterminated quote runs to the end; a trailing comma gives an empty last token.
  EXPECT_EQ(SplitDefinition("a,\"b,c", '"'), (std::vector<std::string>{"a", "b,c"}));
  EXPECT_EQ(SplitDefinition("a,", '"'), (std::vector<std::string>{"a", ""}));
  EXPECT_EQ(SplitDefinition("", '"'), (std::vector<std::string>{""}));
}

TEST(TableFileLexer, SizesAreAtMostNineDecimalDigits) {
  int size = -1;
  EXPECT_TRUE(ParseDecimal("255", size));
  EXPECT_EQ(size, 255);
  EXPECT_TRUE(ParseDecimal("999999999", size));
  EXPECT_EQ(size, 999999999);
  size = 7;
  for (const char* bad : {"", "1000000000", "-1", "+1", " 1", "1 ", "0x10", "12a"}) {
    EXPECT_FALSE(ParseDecimal(bad, size)) << bad;
    EXPECT_EQ(size, 7) << bad;
  }
}

// The record scan's vectorised search and its byte-at-a-time form agree, wherever in a block of
// sixteen the stop and the percents fall.
TEST(TableFileLexer, ValueStopSearchAgreesWithTheBytewiseOne) {
  const TLineBytes bytes{TCsvFormat{}};
  for (std::size_t stopAt = 0; stopAt < 40; ++stopAt) {
    for (const char stop : {'"', '\r', '\n', '\0'}) {
      for (int percentAt : {-1, 0, 15, 16, 17}) {
        if (percentAt >= 0 && static_cast<std::size_t>(percentAt) == stopAt) continue;
        std::string line(stopAt + 1 + kReadAhead, 'x');
        line[stopAt] = stop;
        line[stopAt + 1] = '\n';
        if (percentAt >= 0) line[static_cast<std::size_t>(percentAt)] = '%';
        bool fast = false, slow = false;
        const char* found = bytes.FindValueStop(line.data(), fast);
        const char* expected = bytes.FindValueStopBytewise(line.data(), slow);
        EXPECT_EQ(found, line.data() + stopAt) << stopAt;
        EXPECT_EQ(found, expected) << stopAt;
        EXPECT_EQ(fast, slow) << stopAt << ' ' << percentAt;
        EXPECT_EQ(slow, percentAt >= 0 && static_cast<std::size_t>(percentAt) < stopAt);
      }
    }
  }
  EXPECT_EQ(bytes.Kind(','), TLineBytes::kDelimiter);
  EXPECT_EQ(bytes.Kind('"'), TLineBytes::kQuote);
  EXPECT_EQ(bytes.Kind('%'), TLineBytes::kPercent);
  EXPECT_EQ(bytes.Kind('\0'), TLineBytes::kLineEnd);
  EXPECT_EQ(bytes.Kind('a'), 0);
}
