#include "WineTestSupport.h"

#include <windows.h>

#include <sstream>
#include <stdexcept>

#include "MailTestSupport.h"
#include "kdx/mail/MapiEmail.h"

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

std::string TestMapi32Dir() {
  return HostPathToWindows(KDX_TESTMAPI32_DIR);
}

void ExportTestMapiDir() {
  kdx::test::SetEnv("KDX_TESTMAPI_DIR", TestMapiDir());
  kdx::test::SetEnv("KDX_TESTMAPI32_DIR", TestMapi32Dir());
}

namespace {
HKEY Root(bool localMachine) {
  return localMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}
}  // namespace

ScopedRegistryValue::ScopedRegistryValue(bool localMachine, const std::string& key,
                                         const std::string& name,
                                         const std::optional<std::string>& value, bool view32)
    : localMachine_(localMachine),
      view_(view32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY),
      key_(key),
      name_(name) {
  HKEY h = nullptr;
  if (RegOpenKeyExA(Root(localMachine_), key_.c_str(), 0, KEY_READ | view_, &h) == ERROR_SUCCESS) {
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
  if (RegCreateKeyExA(Root(localMachine_), key_.c_str(), 0, nullptr, 0, KEY_WRITE | view_, nullptr,
                      &h, nullptr) != ERROR_SUCCESS)
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

void ExpectClientAnswersAsInProcess(kdx::mail::TMapiEmail& mail) {
  {
    kdx::test::ScopedEnv cancel("KDX_TESTMAPI_RESULT", std::string("1"));
    EXPECT_FALSE(mail.Send(true)) << "user abort is a cancel, not an error";
  }
  kdx::test::ScopedEnv unknown("KDX_TESTMAPI_RESULT", std::string("14"));
  EXPECT_TRUE(kdx::mail::test::RaisesMapiError([&] { mail.Send(false); },
                                               "MAPI Error: (14) \"Unknown recipient\"", 14));
}

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

std::vector<RecordedSend> SendActionCalls(const std::string& record, std::uintptr_t owner) {
  std::vector<RecordedSend> sends = ParseSendRecord(record);
  if (sends.size() != 2) {
    ADD_FAILURE() << sends.size() << " calls recorded instead of 2: " << record;
    return {};
  }
  EXPECT_EQ(sends[0].call.at("flags"), "9");
  EXPECT_EQ(sends[1].call.at("flags"), "1");
  for (const RecordedSend& s : sends) {
    EXPECT_EQ(s.call.at("session"), "0");
    EXPECT_EQ(s.call.at("reserved"), "0");
    EXPECT_EQ(s.call.at("uiparam"), std::to_string(owner));
  }
  return sends;
}

}  // namespace kdx::wintest
