// The reader of the .reg text format, the one the registry editor exports:
//   header      "Windows Registry Editor Version 5.00" or "REGEDIT4" (first non-blank line)
//   comment     a line starting with ';'
//   key         [HKEY_LOCAL_MACHINE\Path\To\Key]   (also HKLM, HKEY_CURRENT_USER/HKCU,
//               HKEY_CLASSES_ROOT/HKCR, HKEY_USERS/HKU); [-HKEY_...\Key] deletes the key
//   value       @=<data> (the key's default value) or "name"=<data>; "name"=- deletes it
//   data        "text"            REG_SZ; \\ and \" are the only escapes
//               dword:0000001f    REG_DWORD
//               hex:01,02,...     REG_BINARY
//               hex(N):..,..      type N (2 = REG_EXPAND_SZ, 7 = REG_MULTI_SZ, ...)
//   A line ending in '\' continues on the next (hex lists are wrapped that way).
// Files may be UTF-16LE with a byte order mark (as the editor writes them), UTF-8, or, when not
// valid UTF-8, cp1250. Texts are kept in cp1250 with their terminating zero, as the registry's
// "A" calls report them; hex(2)/hex(7) bytes of a version 5.00 file are UTF-16LE and converted.

#include <unicode/uchar.h>

#include <cstdlib>

#include "RegFile.h"
#include "kdx/platform/Text.h"

namespace kdx::platform {

std::string FoldRegName(const std::string& cp1250) {
  std::string out = cp1250;
  for (char& c : out) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      if (byte >= 'a' && byte <= 'z') c = static_cast<char>(byte - 'a' + 'A');
      continue;
    }
    const UChar32 upper = u_toupper(static_cast<UChar32>(text::Cp1250ToUnicode(byte)));
    unsigned char folded = 0;
    if (text::UnicodeToCp1250(static_cast<char32_t>(upper), folded)) c = static_cast<char>(folded);
  }
  return out;
}

std::vector<std::string> SplitRegPath(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : path) {
    if (c == '\\') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

namespace {

bool IsValidUtf8(const std::string& s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t n = 0;
    if (c < 0x80)
      n = 0;
    else if ((c & 0xE0) == 0xC0 && c >= 0xC2)
      n = 1;
    else if ((c & 0xF0) == 0xE0)
      n = 2;
    else if ((c & 0xF8) == 0xF0 && c <= 0xF4)
      n = 3;
    else
      return false;
    if (n > 0 && i + n >= s.size()) return false;
    for (std::size_t k = 1; k <= n; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += n + 1;
  }
  return true;
}

std::u16string Utf16LeBytes(const std::string& bytes, std::size_t from) {
  std::u16string out;
  for (std::size_t i = from; i + 1 < bytes.size(); i += 2) {
    out.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                        (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  return out;
}

// The file's text in cp1250.
std::string DecodeFile(const std::string& bytes) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    return text::Utf16ToCp1250(Utf16LeBytes(bytes, 2));
  }
  std::string body = bytes;
  if (body.size() >= 3 && body.compare(0, 3, "\xEF\xBB\xBF") == 0) body.erase(0, 3);
  if (IsValidUtf8(body)) return text::Utf8ToCp1250(body);
  return body;
}

class Parser {
 public:
  Parser(RegTree& tree, std::string fileName) : tree_(tree), fileName_(std::move(fileName)) {}

  void Parse(const std::string& content) {
    std::vector<std::string> lines;
    {
      std::string line;
      for (std::size_t i = 0; i <= content.size(); ++i) {
        if (i == content.size() || content[i] == '\n') {
          if (!line.empty() && line.back() == '\r') line.pop_back();
          lines.push_back(line);
          line.clear();
        } else {
          line += content[i];
        }
      }
    }
    bool headerSeen = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      lineNumber_ = static_cast<int>(i + 1);
      std::string line = text::TrimControls(lines[i]);
      if (line.empty()) continue;
      if (!headerSeen) {
        if (line == "Windows Registry Editor Version 5.00") {
          unicode_ = true;
        } else if (line == "REGEDIT4") {
          unicode_ = false;
        } else {
          Fail("the first line is not \"Windows Registry Editor Version 5.00\" or \"REGEDIT4\"");
        }
        headerSeen = true;
        continue;
      }
      if (line[0] == ';') continue;
      // Continuation lines of a wrapped value.
      while (!line.empty() && line.back() == '\\' && line[0] != '[' && i + 1 < lines.size()) {
        line.pop_back();
        line += text::TrimControls(lines[++i]);
      }
      if (line[0] == '[') {
        KeyLine(line);
      } else {
        ValueLine(line);
      }
    }
    if (!headerSeen) {
      lineNumber_ = 1;
      Fail("the file is empty");
    }
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    throw ERegistryFileError("Registry file \"" + fileName_ + "\", line " +
                             std::to_string(lineNumber_) + ": " + what);
  }

  void KeyLine(const std::string& line) {
    if (line.back() != ']') Fail("a key line does not end with ']'");
    std::string path = line.substr(1, line.size() - 2);
    const bool remove = !path.empty() && path[0] == '-';
    if (remove) path.erase(0, 1);
    std::vector<std::string> parts = SplitRegPath(path);
    if (parts.empty()) Fail("a key line names no key");
    const std::string root = text::AsciiUpperCase(parts[0]);
    RegistryRoot r;
    if (root == "HKEY_LOCAL_MACHINE" || root == "HKLM")
      r = RegistryRoot::LocalMachine;
    else if (root == "HKEY_CURRENT_USER" || root == "HKCU")
      r = RegistryRoot::CurrentUser;
    else if (root == "HKEY_CLASSES_ROOT" || root == "HKCR")
      r = RegistryRoot::ClassesRoot;
    else if (root == "HKEY_USERS" || root == "HKU")
      r = RegistryRoot::Users;
    else
      Fail("unknown root key \"" + parts[0] + "\"");
    RegNode* node = &tree_[r];
    if (remove) {
      for (std::size_t i = 1; node && i + 1 < parts.size(); ++i) {
        auto it = node->children.find(FoldRegName(parts[i]));
        node = it == node->children.end() ? nullptr : &it->second;
      }
      if (node && parts.size() > 1) node->children.erase(FoldRegName(parts.back()));
      current_ = nullptr;  // values after a deleted key belong nowhere
      return;
    }
    for (std::size_t i = 1; i < parts.size(); ++i) {
      RegNode& child = node->children[FoldRegName(parts[i])];
      if (child.name.empty()) child.name = parts[i];
      node = &child;
    }
    current_ = node;
  }

  // Reads a quoted text starting at `pos` (at the opening quote); returns the position after the
  // closing quote.
  std::size_t QuotedText(const std::string& line, std::size_t pos, std::string& out) const {
    out.clear();
    for (std::size_t i = pos + 1; i < line.size(); ++i) {
      if (line[i] == '\\' && i + 1 < line.size()) {
        out += line[++i];
      } else if (line[i] == '"') {
        return i + 1;
      } else {
        out += line[i];
      }
    }
    Fail("a quoted text is not closed");
  }

  void ValueLine(const std::string& line) {
    std::string name;
    std::size_t pos = 0;
    if (line[0] == '@') {
      pos = 1;
    } else if (line[0] == '"') {
      pos = QuotedText(line, 0, name);
    } else {
      Fail("a line is neither a key, a value nor a comment");
    }
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
    if (pos >= line.size() || line[pos] != '=') Fail("'=' expected after the value name");
    std::string data = text::TrimControls(line.substr(pos + 1));
    if (!current_) {
      if (data == "-") return;
      Fail("a value outside of a key");
    }
    if (data == "-") {
      current_->values.erase(FoldRegName(name));
      return;
    }
    RegValue value;
    value.name = name;
    if (!data.empty() && data[0] == '"') {
      std::string text;
      const std::size_t end = QuotedText(data, 0, text);
      if (!text::TrimControls(data.substr(end)).empty()) {
        Fail("unexpected text after a quoted value");
      }
      value.type = kRegSz;
      value.data = text + '\0';
    } else if (data.compare(0, 6, "dword:") == 0) {
      const std::string digits = data.substr(6);
      if (digits.empty() || digits.size() > 8 ||
          digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        Fail("a dword value needs up to eight hexadecimal digits");
      }
      const auto number = static_cast<std::uint32_t>(std::strtoul(digits.c_str(), nullptr, 16));
      value.type = kRegDword;
      for (int i = 0; i < 4; ++i) value.data += static_cast<char>((number >> (8 * i)) & 0xFF);
    } else if (data.compare(0, 3, "hex") == 0) {
      std::size_t p = 3;
      value.type = kRegBinary;
      if (p < data.size() && data[p] == '(') {
        const std::size_t close = data.find(')', p);
        const std::string type =
            close == std::string::npos ? "" : data.substr(p + 1, close - p - 1);
        if (type.empty() || type.size() > 8 ||
            type.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
          Fail("a hex(...) value needs a hexadecimal type");
        }
        value.type = static_cast<std::uint32_t>(std::strtoul(type.c_str(), nullptr, 16));
        p = close + 1;
      }
      if (p >= data.size() || data[p] != ':') Fail("':' expected after hex");
      std::string bytes = HexBytes(data.substr(p + 1));
      const bool textType =
          value.type == kRegSz || value.type == kRegExpandSz || value.type == kRegMultiSz;
      if (textType && unicode_) {
        std::u16string wide = Utf16LeBytes(bytes, 0);
        // Keep the terminating zeros; the conversion keeps U+0000 as a zero byte.
        bytes = text::Utf16ToCp1250(wide);
      }
      value.data = bytes;
    } else {
      Fail("unknown value data \"" + data + "\"");
    }
    current_->values[FoldRegName(name)] = value;
  }

  std::string HexBytes(const std::string& list) const {
    std::string bytes;
    std::string item;
    auto flush = [&] {
      const std::string t = text::TrimControls(item);
      item.clear();
      if (t.empty()) return false;
      if (t.size() > 2 || t.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        Fail("\"" + t + "\" is not a hexadecimal byte");
      }
      bytes += static_cast<char>(std::strtoul(t.c_str(), nullptr, 16));
      return true;
    };
    for (char c : list) {
      if (c == ',') {
        if (!flush()) Fail("an empty byte in a hex list");
      } else {
        item += c;
      }
    }
    flush();
    return bytes;
  }

  RegTree& tree_;
  std::string fileName_;
  int lineNumber_ = 0;
  bool unicode_ = true;
  RegNode* current_ = nullptr;
};

}  // namespace

void ParseRegFile(RegTree& tree, const std::string& bytes, const std::string& fileName) {
  Parser(tree, fileName).Parse(DecodeFile(bytes));
}

}  // namespace kdx::platform
