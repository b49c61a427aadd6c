// Code page 1250 <-> Unicode, table-driven. Shared by both backends so that the program's bytes
// mean the same on every platform.

#include <algorithm>
#include <array>
#include <type_traits>

#include "common/CaseMapping.h"
#include "kdx/platform/Text.h"

namespace kdx::text {

namespace {

// Bytes 0x80..0xFF. The five bytes cp1250 leaves undefined map to the C1 control of the same
// value (as the Windows "best fit" table does), so every byte survives a round trip.
constexpr std::array<char16_t, 128> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0083, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x0088, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,  // 88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x0098, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,  // 98
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,  // A0
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,  // A8
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,  // B8
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,  // C0
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,  // C8
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,  // D0
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,  // D8
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,  // E0
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,  // E8
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,  // F0
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,  // F8
};

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Decodes one UTF-8 sequence at `i`; returns false (and consumes one byte) when malformed.
bool DecodeUtf8(std::string_view s, size_t& i, char32_t& cp) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  int len = 0;
  if (b0 < 0x80) {
    cp = b0;
    ++i;
    return true;
  } else if ((b0 & 0xE0) == 0xC0) {
    len = 2;
    cp = b0 & 0x1F;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3;
    cp = b0 & 0x0F;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4;
    cp = b0 & 0x07;
  } else {
    ++i;
    return false;
  }
  if (i + len > s.size()) {
    ++i;
    return false;
  }
  for (int k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return false;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  const char32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < minimum[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return false;
  }
  i += len;
  return true;
}

}  // namespace

char32_t Cp1250ToUnicode(unsigned char byte) {
  return byte < 0x80 ? char32_t(byte) : char32_t(kHigh[byte - 0x80]);
}

bool UnicodeToCp1250(char32_t cp, unsigned char& byte) {
  if (cp < 0x80) {
    byte = static_cast<unsigned char>(cp);
    return true;
  }
  for (size_t k = 0; k < kHigh.size(); ++k) {
    if (kHigh[k] == cp) {
      byte = static_cast<unsigned char>(0x80 + k);
      return true;
    }
  }
  return false;
}

std::string Cp1250ToUtf8(std::string_view cp1250) {
  std::string out;
  out.reserve(cp1250.size() + cp1250.size() / 4);
  for (const char c : cp1250) AppendUtf8(out, Cp1250ToUnicode(static_cast<unsigned char>(c)));
  return out;
}

std::u16string Cp1250ToUtf16(std::string_view cp1250) {
  std::u16string out;
  out.reserve(cp1250.size());
  for (const char c : cp1250)
    out += static_cast<char16_t>(Cp1250ToUnicode(static_cast<unsigned char>(c)));
  return out;
}

std::string Utf8ToCp1250(std::string_view utf8, bool* lossless) {
  std::string out;
  out.reserve(utf8.size());
  bool ok = true;
  for (size_t i = 0; i < utf8.size();) {
    char32_t cp = 0;
    unsigned char byte = '?';
    if (!DecodeUtf8(utf8, i, cp) || !UnicodeToCp1250(cp, byte)) {
      ok = false;
      byte = '?';
    }
    out += static_cast<char>(byte);
  }
  if (lossless) *lossless = ok;
  return out;
}

std::string Utf16ToCp1250(std::u16string_view utf16, bool* lossless) {
  std::string out;
  out.reserve(utf16.size());
  bool ok = true;
  for (size_t i = 0; i < utf16.size(); ++i) {
    char32_t cp = utf16[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
      ++i;
    }
    unsigned char byte = '?';
    if (!UnicodeToCp1250(cp, byte)) {
      ok = false;
      byte = '?';
    }
    out += static_cast<char>(byte);
  }
  if (lossless) *lossless = ok;
  return out;
}

std::string FileNameToUtf8(std::string_view bytes, bool* wellFormed) {
  std::string out;
  out.reserve(bytes.size());
  bool ok = true;
  for (size_t i = 0; i < bytes.size();) {
    const size_t start = i;
    char32_t cp = 0;
    if (DecodeUtf8(bytes, i, cp)) {
      out.append(bytes.substr(start, i - start));
    } else {
      ok = false;
      AppendUtf8(out, Cp1250ToUnicode(static_cast<unsigned char>(bytes[start])));
    }
  }
  if (wellFormed) *wellFormed = ok;
  return out;
}

std::string UpperFileName(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const size_t start = i;
    char32_t cp = 0;
    if (!DecodeUtf8(utf8, i, cp)) {
      out.append(utf8.substr(start, i - start));
      continue;
    }
    unsigned char byte = 0;
    if (UnicodeToCp1250(cp, byte)) {
      const std::string upper = AnsiUpperCase(std::string(1, static_cast<char>(byte)));
      cp = Cp1250ToUnicode(static_cast<unsigned char>(upper[0]));
    } else {
      cp = UnicodeUpperCase(cp);
    }
    AppendUtf8(out, cp);
  }
  return out;
}

bool IsCp1250Representable(std::string_view utf8) {
  bool ok = true;
  Utf8ToCp1250(utf8, &ok);
  return ok;
}

namespace {

char AsciiUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

std::string AsciiUpperCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiUpper(c);
  return out;
}

bool EqualsAsciiNoCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return AsciiUpper(x) == AsciiUpper(y); });
}

bool StartsWithAsciiNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsAsciiNoCase(text.substr(0, prefix.size()), prefix);
}

namespace {

template <typename Char>
bool IsTrimmed(Char c) {
  return static_cast<std::make_unsigned_t<Char>>(c) <= 32;
}

template <typename Char>
std::basic_string_view<Char> TrimEnd(std::basic_string_view<Char> text) {
  while (!text.empty() && IsTrimmed(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace

std::string TrimControls(std::string_view text) {
  text = TrimEnd(text);
  while (!text.empty() && IsTrimmed(text.front())) text.remove_prefix(1);
  return std::string(text);
}

std::u16string_view TrimControlsRight(std::u16string_view text) {
  return TrimEnd(text);
}

}  // namespace kdx::text
