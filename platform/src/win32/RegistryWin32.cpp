// The registry on Windows: RegOpenKeyExA with KEY_READ and the "A" query calls.

#include <windows.h>

#include <vector>

#include "kdx/platform/Registry.h"

namespace kdx::platform {

namespace {

HKEY RootHandle(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::ClassesRoot:
      return HKEY_CLASSES_ROOT;
    case RegistryRoot::CurrentUser:
      return HKEY_CURRENT_USER;
    case RegistryRoot::LocalMachine:
      return HKEY_LOCAL_MACHINE;
    case RegistryRoot::Users:
      return HKEY_USERS;
  }
  return HKEY_CURRENT_USER;
}

class Win32RegistryKey : public RegistryKey {
 public:
  explicit Win32RegistryKey(HKEY key) : key_(key) {}
  ~Win32RegistryKey() override { RegCloseKey(key_); }

  bool QueryValueInfo(const std::string& name, std::uint32_t& type,
                      std::uint32_t& size) const override {
    DWORD t = 0;
    DWORD s = 0;
    if (RegQueryValueExA(key_, name.c_str(), nullptr, &t, nullptr, &s) != ERROR_SUCCESS) {
      return false;
    }
    type = t;
    size = s;
    return true;
  }

  bool ReadValue(const std::string& name, std::uint32_t size, std::string& data) const override {
    std::vector<BYTE> buffer(size + 1, 0);
    DWORD t = 0;
    DWORD s = size;
    if (RegQueryValueExA(key_, name.c_str(), nullptr, &t, buffer.data(), &s) != ERROR_SUCCESS) {
      return false;
    }
    data.assign(reinterpret_cast<const char*>(buffer.data()), s);
    return true;
  }

  bool QueryInfo(std::uint32_t& subkeyCount, std::uint32_t& maxSubkeyNameLength) const override {
    DWORD count = 0;
    DWORD maxLength = 0;
    if (RegQueryInfoKeyA(key_, nullptr, nullptr, nullptr, &count, &maxLength, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      return false;
    }
    subkeyCount = count;
    maxSubkeyNameLength = maxLength;
    return true;
  }

  bool EnumSubkey(std::uint32_t index, std::uint32_t bufferLength,
                  std::string& name) const override {
    std::vector<char> buffer(bufferLength + 1, '\0');
    DWORD length = bufferLength;
    if (RegEnumKeyExA(key_, index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      return false;
    }
    name.assign(buffer.data(), length);
    return true;
  }

 private:
  HKEY key_;
};

}  // namespace

bool HasOtherRegistryView() {
#ifdef _WIN64
  return true;
#else
  BOOL wow64 = FALSE;
  return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
#endif
}

std::unique_ptr<RegistryKey> RegistryKey::Open(RegistryRoot root, const std::string& path,
                                               RegistryView view) {
  // The own view is named explicitly too, so that a key opened here is never the other
  // view's by a system's redirection rules.
#ifdef _WIN64
  const REGSAM own = KEY_WOW64_64KEY, other = KEY_WOW64_32KEY;
#else
  const REGSAM own = KEY_WOW64_32KEY, other = KEY_WOW64_64KEY;
#endif
  if (view == RegistryView::Other && !HasOtherRegistryView()) return nullptr;
  const REGSAM access = KEY_READ | (view == RegistryView::Own ? own : other);
  HKEY key = nullptr;
  if (RegOpenKeyExA(RootHandle(root), path.c_str(), 0, access, &key) != ERROR_SUCCESS) {
    return nullptr;
  }
  return std::make_unique<Win32RegistryKey>(key);
}

}  // namespace kdx::platform
