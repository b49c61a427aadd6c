// The POSIX stand-in of the registry: a read-only view over files in the .reg text format.
//
// Format read here (the one the registry editor exports):
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

#include <sys/stat.h>
#include <unicode/uchar.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <vector>

#include "kdx/platform/Registry.h"
#include "kdx/platform/Text.h"

namespace kdx::platform {

namespace {

struct Value {
  std::string name;
  std::uint32_t type = kRegNone;
  std::string data;
};

struct Node {
  std::string name;
  std::map<std::string, Node> children;  // by upper-cased name: the enumeration order
  std::map<std::string, Value> values;   // by upper-cased name
};

using Tree = std::map<RegistryRoot, Node>;

// Key and value names compare without regard to letter case, the same in every locale.
std::string Fold(const std::string& cp1250) {
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

std::vector<std::string> SplitPath(const std::string& path) {
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

// --- decoding the file ------------------------------------------------------------------------

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

// --- parsing ----------------------------------------------------------------------------------

class Parser {
 public:
  Parser(Tree& tree, std::string fileName) : tree_(tree), fileName_(std::move(fileName)) {}

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
      std::string line = Trim(lines[i]);
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
        line += Trim(lines[++i]);
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

  static std::string Trim(const std::string& s) {
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return s.substr(b, e - b);
  }

  void KeyLine(const std::string& line) {
    if (line.back() != ']') Fail("a key line does not end with ']'");
    std::string path = line.substr(1, line.size() - 2);
    const bool remove = !path.empty() && path[0] == '-';
    if (remove) path.erase(0, 1);
    std::vector<std::string> parts = SplitPath(path);
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
    Node* node = &tree_[r];
    if (remove) {
      for (std::size_t i = 1; node && i + 1 < parts.size(); ++i) {
        auto it = node->children.find(Fold(parts[i]));
        node = it == node->children.end() ? nullptr : &it->second;
      }
      if (node && parts.size() > 1) node->children.erase(Fold(parts.back()));
      current_ = nullptr;  // values after a deleted key belong nowhere
      return;
    }
    for (std::size_t i = 1; i < parts.size(); ++i) {
      Node& child = node->children[Fold(parts[i])];
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
    std::string data = Trim(line.substr(pos + 1));
    if (!current_) {
      if (data == "-") return;
      Fail("a value outside of a key");
    }
    if (data == "-") {
      current_->values.erase(Fold(name));
      return;
    }
    Value value;
    value.name = name;
    if (!data.empty() && data[0] == '"') {
      std::string text;
      const std::size_t end = QuotedText(data, 0, text);
      if (Trim(data.substr(end)).size() != 0) Fail("unexpected text after a quoted value");
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
    current_->values[Fold(name)] = value;
  }

  std::string HexBytes(const std::string& list) const {
    std::string bytes;
    std::string item;
    auto flush = [&] {
      const std::string t = Trim(item);
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

  Tree& tree_;
  std::string fileName_;
  int lineNumber_ = 0;
  bool unicode_ = true;
  Node* current_ = nullptr;
};

// --- the files and the built-in default -------------------------------------------------------

std::string ExecutableDirectory() {
  char buffer[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
  if (n <= 0) return {};  // never the current folder: the folder picker moves it
  std::string path(buffer, static_cast<std::size_t>(n));
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool IsFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The bundled provider: beside the executable (installed layout), or in the build tree's
// mapi-provider folder beside the executable's folder (the program and the tests run there).
std::string BundledProviderPath() {
  const std::string dir = ExecutableDirectory();
  if (dir.empty()) return {};
  const std::string candidates[] = {dir + "/libkdxmapi.so", dir + "/../mapi-provider/libkdxmapi.so",
                                    dir + "/../lib/kdx-manager/libkdxmapi.so"};
  for (const std::string& candidate : candidates) {
    if (IsFile(candidate)) return candidate;
  }
  return candidates[0];
}

void AddBuiltInDefault(Tree& tree) {
  const std::string clientName = "KDX manager mail hand-off";
  Node& mail = tree[RegistryRoot::LocalMachine].children["SOFTWARE"];
  mail.name = "SOFTWARE";
  Node& clients = mail.children["CLIENTS"];
  clients.name = "Clients";
  Node& mailKey = clients.children["MAIL"];
  mailKey.name = "Mail";
  mailKey.values[""] = Value{"", kRegSz, clientName + '\0'};
  Node& client = mailKey.children[Fold(clientName)];
  client.name = clientName;
  client.values[""] = Value{"", kRegSz, clientName + '\0'};
  client.values["DLLPATH"] =
      Value{"DLLPath", kRegSz, text::Utf8ToCp1250(BundledProviderPath()) + '\0'};
}

// The files that make up the registry, lowest layer first; empty when the built-in default
// applies.
std::vector<std::string> RegistryFiles() {
  if (const char* only = std::getenv("KDX_REGISTRY")) return {only};
  std::vector<std::string> files;
  if (IsFile("/etc/kdx-manager/registry.reg")) files.push_back("/etc/kdx-manager/registry.reg");
  std::string config;
  // Relative folders would be taken in the current folder, wherever the user last browsed.
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') {
    config = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home == '/') {
    config = std::string(home) + "/.config";
  }
  if (!config.empty() && IsFile(config + "/kdx-manager/registry.reg")) {
    files.push_back(config + "/kdx-manager/registry.reg");
  }
  return files;
}

std::string Signature(const std::vector<std::string>& files) {
  std::ostringstream out;
  for (const std::string& file : files) {
    struct stat st {};
    out << file << '\n';
    if (::stat(file.c_str(), &st) == 0) {
      out << st.st_ino << ':' << st.st_size << ':' << st.st_mtim.tv_sec << '.' << st.st_mtim.tv_nsec
          << '\n';
    }
  }
  if (files.empty()) out << "built-in:" << BundledProviderPath();
  return out.str();
}

std::shared_ptr<const Tree> LoadTree() {
  static std::mutex mutex;
  static std::string cachedSignature;
  static std::shared_ptr<const Tree> cached;

  const std::vector<std::string> files = RegistryFiles();
  const std::string signature = Signature(files);
  std::lock_guard<std::mutex> lock(mutex);
  if (cached && signature == cachedSignature) return cached;

  auto tree = std::make_shared<Tree>();
  if (files.empty()) {
    AddBuiltInDefault(*tree);
  }
  for (const std::string& file : files) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw ERegistryFileError("Cannot read registry file \"" + file + "\"");
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw ERegistryFileError("Cannot read registry file \"" + file + "\"");
    Parser(*tree, file).Parse(DecodeFile(bytes));
  }
  cached = tree;
  cachedSignature = signature;
  return cached;
}

// --- the key --------------------------------------------------------------------------------

class FileRegistryKey : public RegistryKey {
 public:
  FileRegistryKey(std::shared_ptr<const Tree> tree, const Node* node)
      : tree_(std::move(tree)), node_(node) {}

  bool QueryValueInfo(const std::string& name, std::uint32_t& type,
                      std::uint32_t& size) const override {
    const Value* value = Find(name);
    if (!value) return false;
    type = value->type;
    size = static_cast<std::uint32_t>(value->data.size());
    return true;
  }

  bool ReadValue(const std::string& name, std::uint32_t size, std::string& data) const override {
    const Value* value = Find(name);
    if (!value || value->data.size() > size) return false;
    data = value->data;
    return true;
  }

  bool QueryInfo(std::uint32_t& subkeyCount, std::uint32_t& maxSubkeyNameLength) const override {
    subkeyCount = static_cast<std::uint32_t>(node_->children.size());
    maxSubkeyNameLength = 0;
    for (const auto& [folded, child] : node_->children) {
      maxSubkeyNameLength =
          std::max(maxSubkeyNameLength, static_cast<std::uint32_t>(child.name.size()));
    }
    return true;
  }

  bool EnumSubkey(std::uint32_t index, std::uint32_t bufferLength,
                  std::string& name) const override {
    if (index >= node_->children.size()) return false;
    auto it = node_->children.begin();
    std::advance(it, index);
    if (it->second.name.size() + 1 > bufferLength) return false;
    name = it->second.name;
    return true;
  }

 private:
  const Value* Find(const std::string& name) const {
    auto it = node_->values.find(Fold(name));
    return it == node_->values.end() ? nullptr : &it->second;
  }

  std::shared_ptr<const Tree> tree_;
  const Node* node_;
};

}  // namespace

std::unique_ptr<RegistryKey> RegistryKey::Open(RegistryRoot root, const std::string& path) {
  std::shared_ptr<const Tree> tree = LoadTree();
  auto rootIt = tree->find(root);
  if (rootIt == tree->end()) return nullptr;
  const Node* node = &rootIt->second;
  for (const std::string& part : SplitPath(path)) {
    auto it = node->children.find(Fold(part));
    if (it == node->children.end()) return nullptr;
    node = &it->second;
  }
  return std::make_unique<FileRegistryKey>(tree, node);
}

}  // namespace kdx::platform
