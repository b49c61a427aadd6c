// The table file's lexing: lines, values, escapes and definition lines (see TableFileLexer.h).

#include "TableFileLexer.h"

#include <cstring>

namespace kdx::tablefile {

// memchr finds the next LF (which ends CR LF and LF lines alike); the span before it is then
// searched for a CR or NUL.
const char* FindLineEnd(const char* p, const char* end) {
  const char* limit =
      static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
  if (!limit) limit = end;
  if (const void* cr = std::memchr(p, '\r', static_cast<std::size_t>(limit - p)))
    limit = static_cast<const char*>(cr);
  if (const void* nul = std::memchr(p, '\0', static_cast<std::size_t>(limit - p)))
    limit = static_cast<const char*>(nul);
  return limit;
}

const char* AfterLastLineFeed(const char* begin, const char* end) {
  while (end > begin && end[-1] != '\n') --end;
  return end;
}

ValueKind ReadValue(std::string_view line, std::size_t& pos, std::string& out,
                    const TCsvFormat& csv) {
  const std::size_t n = line.size();
  while (pos < n && line[pos] != csv.Quote && line[pos] != csv.FieldDelimiter &&
         (csv.RecordDelimiter == '\0' || line[pos] != csv.RecordDelimiter))
    ++pos;
  if (pos >= n) return ValueKind::None;
  if (line[pos] != csv.Quote) {
    ++pos;
    return ValueKind::Null;
  }
  out.clear();
  ++pos;
  std::size_t kept = 0;  // what survives if no closing quote comes
  while (pos < n) {
    const char* start = line.data() + pos;
    const char* q = static_cast<const char*>(std::memchr(start, csv.Quote, n - pos));
    if (!q) break;
    const std::size_t at = static_cast<std::size_t>(q - line.data());
    out.append(start, q);
    if (at + 1 < n && line[at + 1] == csv.Quote) {
      out.push_back(csv.Quote);
      pos = at + 2;
      kept = out.size();
      continue;
    }
    pos = at + 2;  // the closing quote and the character after it
    return ValueKind::Value;
  }
  pos = n;
  out.resize(kept);
  return ValueKind::Value;
}

// A byte at a time: the values are short and their escapes close together.
std::size_t UnescapeInto(std::string_view raw, char* out, std::size_t room) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < raw.size() && n < room; ++i) {
    char c = raw[i];
    if (c == '%' && i + 1 < raw.size()) {
      switch (raw[i + 1]) {
        case '%':
          ++i;
          break;
        case '0':
          return n;  // the text ends at a NUL
        case 'c':
          c = '\r';
          ++i;
          break;
        case 'n':
          c = '\n';
          ++i;
          break;
        default:
          break;  // a '%' before any other character stands for itself
      }
    }
    out[n++] = c;
  }
  return n;
}

void Unescape(std::string_view raw, std::string& out) {
  out.resize(raw.size());
  out.resize(UnescapeInto(raw, out.data(), raw.size()));
}

TLineBytes::TLineBytes(const TCsvFormat& csv) : quote_(csv.Quote) {
  for (char c : {'\r', '\n', '\0'}) kinds_[static_cast<unsigned char>(c)] = kLineEnd;
  kinds_['%'] = kPercent;
  kinds_[static_cast<unsigned char>(csv.FieldDelimiter)] = kDelimiter;
  if (csv.RecordDelimiter != '\0')
    kinds_[static_cast<unsigned char>(csv.RecordDelimiter)] = kDelimiter;
  kinds_[static_cast<unsigned char>(csv.Quote)] = kQuote;
}

std::vector<std::string> SplitDefinition(std::string_view text, char quote) {
  std::vector<std::string> tokens;
  std::string token;
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == quote) {
        if (i + 1 < text.size() && text[i + 1] == quote) {
          token.push_back(quote);
          ++i;
        } else {
          quoted = false;
        }
      } else {
        token.push_back(c);
      }
    } else if (c == quote) {
      quoted = true;
    } else if (c == ',') {
      tokens.push_back(std::move(token));
      token.clear();
    } else {
      token.push_back(c);
    }
  }
  tokens.push_back(std::move(token));
  return tokens;
}

TDefinitionLine SplitDefinitionLine(std::string_view text, char quote) {
  const std::size_t eq = text.find('=');
  TDefinitionLine line;
  line.Name = std::string(text.substr(0, eq));
  line.Tokens = SplitDefinition(
      eq == std::string_view::npos ? std::string_view() : text.substr(eq + 1), quote);
  return line;
}

bool ParseDecimal(std::string_view s, int& out) {
  if (s.empty() || s.size() > 9) return false;
  int v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  out = v;
  return true;
}

}  // namespace kdx::tablefile
