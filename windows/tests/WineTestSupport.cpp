#include "WineTestSupport.h"

#include <windows.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "kdx/platform/Text.h"

namespace kdx::wintest {

std::string HostPathToWindows(const std::string& posixPath) {
  if (posixPath.empty() || posixPath[0] != '/') return posixPath;
  std::string out = "Z:" + posixPath;
  for (char& c : out)
    if (c == '/') c = '\\';
  return out;
}

std::string TestMapiDir() {
  return HostPathToWindows(KDX_TESTMAPI_DIR);
}

void ExportTestMapiDir() {
  SetEnvironmentVariableA("KDX_TESTMAPI_DIR", TestMapiDir().c_str());
}

std::string Cp(const char* utf8) {
  return kdx::text::Utf8ToCp1250(utf8);
}

namespace {
HKEY Root(bool localMachine) {
  return localMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}
}  // namespace

ScopedRegistryValue::ScopedRegistryValue(bool localMachine, const std::string& key,
                                         const std::string& name,
                                         const std::optional<std::string>& value)
    : localMachine_(localMachine), key_(key), name_(name) {
  HKEY h = nullptr;
  if (RegOpenKeyExA(Root(localMachine_), key_.c_str(), 0, KEY_READ, &h) == ERROR_SUCCESS) {
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(h, name_.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
      std::string data(size, '\0');
      if (RegQueryValueExA(h, name_.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                           &size) == ERROR_SUCCESS) {
        data.resize(size);
        while (!data.empty() && data.back() == '\0') data.pop_back();
        previous_ = data;
        previousType_ = type;
      }
    }
    RegCloseKey(h);
  }
  Write(value);
}

ScopedRegistryValue::~ScopedRegistryValue() {
  try {
    Write(previous_);
  } catch (...) {
  }
}

void ScopedRegistryValue::Write(const std::optional<std::string>& value) const {
  HKEY h = nullptr;
  if (RegCreateKeyExA(Root(localMachine_), key_.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h,
                      nullptr) != ERROR_SUCCESS)
    throw std::runtime_error("cannot create registry key " + key_);
  LONG rc = ERROR_SUCCESS;
  if (value) {
    rc = RegSetValueExA(h, name_.c_str(), 0, value == previous_ ? previousType_ : REG_SZ,
                        reinterpret_cast<const BYTE*>(value->c_str()),
                        static_cast<DWORD>(value->size() + 1));
  } else {
    rc = RegDeleteValueA(h, name_.c_str());
    if (rc == ERROR_FILE_NOT_FOUND) rc = ERROR_SUCCESS;
  }
  RegCloseKey(h);
  if (rc != ERROR_SUCCESS) throw std::runtime_error("cannot write registry value " + name_);
}

TempFolder::TempFolder() {
  char base[MAX_PATH + 1] = {};
  GetTempPathA(sizeof base, base);
  for (unsigned n = GetTickCount() ^ GetCurrentProcessId();; ++n) {
    path_ = std::string(base) + "kdxwin" + std::to_string(n % 1000000u);
    if (CreateDirectoryA(path_.c_str(), nullptr)) break;
    if (GetLastError() != ERROR_ALREADY_EXISTS)
      throw std::runtime_error("cannot create a temporary folder in " + std::string(base));
  }
}

namespace {
void RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA data;
  HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &data);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      const std::string full = folder + "\\" + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(full);
      } else {
        SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(full.c_str());
      }
    } while (FindNextFileA(h, &data));
    FindClose(h);
  }
  RemoveDirectoryA(folder.c_str());
}
}  // namespace

TempFolder::~TempFolder() {
  RemoveTree(path_);
}

std::string TempFolder::WriteFile(const std::string& name, const std::string& bytes) const {
  const std::string full = path_ + "\\" + name;
  HANDLE h = CreateFileA(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot create " + full);
  DWORD written = 0;
  ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(h);
  return full;
}

std::optional<std::string> GetEnv(const std::string& name) {
  const DWORD n = GetEnvironmentVariableA(name.c_str(), nullptr, 0);
  if (n == 0) return std::nullopt;
  std::string value(n, '\0');
  const DWORD got = GetEnvironmentVariableA(name.c_str(), value.data(), n);
  value.resize(got);
  return value;
}

ScopedEnv::ScopedEnv(const std::string& name, const std::optional<std::string>& value)
    : name_(name), previous_(GetEnv(name)) {
  SetEnvironmentVariableA(name_.c_str(), value ? value->c_str() : nullptr);
}

ScopedEnv::~ScopedEnv() {
  SetEnvironmentVariableA(name_.c_str(), previous_ ? previous_->c_str() : nullptr);
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

namespace {

std::string Unhex(const std::string& hex) {
  if (hex == "-") return "<null>";
  if (hex == "\"\"") return "";
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

// "word k1=v1 k2=v2" -> {k1: v1, k2: v2}; the leading word (without '=') is skipped.
std::map<std::string, std::string> Fields(const std::string& line) {
  std::map<std::string, std::string> out;
  std::istringstream in(line);
  std::string item;
  while (in >> item) {
    const auto eq = item.find('=');
    if (eq != std::string::npos) out[item.substr(0, eq)] = item.substr(eq + 1);
  }
  return out;
}

}  // namespace

std::vector<RecordedSend> ParseSendRecord(const std::string& text) {
  std::vector<RecordedSend> out;
  std::istringstream in(text);
  std::string line;
  RecordedSend* cur = nullptr;
  while (std::getline(in, line)) {
    if (line.rfind("call=", 0) == 0) {
      out.emplace_back();
      cur = &out.back();
      cur->call = Fields(line);
    } else if (!cur) {
      continue;
    } else if (line.rfind("message ", 0) == 0) {
      cur->message = Fields(line);
    } else if (line.rfind("recips=", 0) == 0) {
      cur->arrays = Fields(line);
    } else if (line.rfind("recip ", 0) == 0) {
      auto f = Fields(line);
      f["name"] = Unhex(f["name"]);
      f["address"] = Unhex(f["address"]);
      cur->recips.push_back(f);
    } else if (line.rfind("file ", 0) == 0) {
      auto f = Fields(line);
      f["path"] = Unhex(f["path"]);
      f["name"] = Unhex(f["name"]);
      cur->files.push_back(f);
    } else if (line == "end") {
      cur = nullptr;
    } else {
      const auto eq = line.find('=');
      if (eq != std::string::npos) cur->texts[line.substr(0, eq)] = Unhex(line.substr(eq + 1));
    }
  }
  return out;
}

}  // namespace kdx::wintest
