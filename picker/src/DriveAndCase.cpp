#include "kdx/picker/DriveAndCase.h"

#include "kdx/platform/Text.h"

namespace kdx::picker {

std::string DriveOfPath(const std::string& path, const platform::PathStyle& style,
                        const std::vector<std::string>& volumeRoots) {
  const char sep = style.separator;
  if (style.driveLetters) {
    if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
    if (path.size() >= 2 && path[0] == sep && path[1] == sep) {
      // \\server\share: up to (not including) the separator after the share name.
      const size_t server = path.find(sep, 2);
      if (server == std::string::npos) return path;
      const size_t share = path.find(sep, server + 1);
      return share == std::string::npos ? path : path.substr(0, share);
    }
    return {};
  }
  std::string best;
  for (const std::string& root : volumeRoots) {
    std::string drive = root;
    while (!drive.empty() && drive.back() == sep) drive.pop_back();
    const bool inside =
        path == drive || (path.size() > drive.size() && path.compare(0, drive.size(), drive) == 0 &&
                          path[drive.size()] == sep);
    if (inside && drive.size() > best.size()) best = drive;
  }
  return best;
}

bool SameFileName(const std::string& a, const std::string& b, bool caseSensitive) {
  if (caseSensitive) return a == b;
  // Compared through cp1250 when both can be spelt in it, else byte for byte.
  bool aOk = false, bOk = false;
  const std::string ca = text::Utf8ToCp1250(a, &aOk), cb = text::Utf8ToCp1250(b, &bOk);
  if (!aOk || !bOk) return a == b;
  return text::AnsiUpperCase(ca) == text::AnsiUpperCase(cb);
}

std::string LowerCaseName(const std::string& utf8) {
  bool lossless = false;
  const std::string cp = text::Utf8ToCp1250(utf8, &lossless);
  return lossless ? text::Cp1250ToUtf8(LowerCaseCp1250(cp)) : utf8;
}

namespace {
char32_t LowerCodePoint(char32_t c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 0x20;
  if (c >= 0x100 && c <= 0x137) return c | 1;                    // even upper, odd lower
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))  // odd upper, even lower
    return (c & 1) ? c + 1 : c;
  if (c >= 0x14A && c <= 0x177) return c | 1;
  return c;
}
}  // namespace

std::string LowerCaseCp1250(const std::string& textIn) {
  std::string out = textIn;
  for (char& ch : out) {
    const char32_t lower = LowerCodePoint(text::Cp1250ToUnicode(static_cast<unsigned char>(ch)));
    unsigned char byte = 0;
    if (text::UnicodeToCp1250(lower, byte)) ch = static_cast<char>(byte);
  }
  return out;
}

}  // namespace kdx::picker
