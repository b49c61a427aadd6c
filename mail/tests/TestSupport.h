#pragma once
// Helpers of the mail tests: temporary folders, environment variables set for one test, files.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "kdx/platform/Registry.h"
#include "providers/RecordedSend.h"

namespace kdx::mail::test {

// A fresh folder, removed with everything in it at the end of the test.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kdx-mail-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// Sets (or unsets, with nullopt) an environment variable and restores it afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old;
    if (value)
      setenv(name, value->c_str(), 1);
    else
      unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_)
      setenv(name_.c_str(), old_->c_str(), 1);
    else
      unsetenv(name_.c_str());
  }

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// Points the registry stand-in's system folder (/etc/kdx-manager) elsewhere for one test, so
// that a registry file installed on the host does not take part.
class ScopedSystemRegistryFolder {
 public:
  explicit ScopedSystemRegistryFolder(const std::string& folder) {
    platform::SetSystemRegistryFolder(folder);
  }
  ~ScopedSystemRegistryFolder() { platform::SetSystemRegistryFolder("/etc/kdx-manager"); }
};

// Changes the current directory for one test.
class ScopedCwd {
 public:
  explicit ScopedCwd(const std::filesystem::path& dir) : old_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
  }
  ~ScopedCwd() { std::filesystem::current_path(old_); }

 private:
  std::filesystem::path old_;
};

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

// A .reg file registering `dllPath` as the only mail client and the default.
inline std::string RegWithClient(const std::string& keyName, const std::string& dllPath,
                                 const std::string& defaultName = "") {
  std::string escaped;
  for (char c : dllPath) {
    if (c == '\\' || c == '"') escaped += '\\';
    escaped += c;
  }
  return "Windows Registry Editor Version 5.00\r\n\r\n"
         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail]\r\n"
         "@=\"" +
         (defaultName.empty() ? keyName : defaultName) +
         "\"\r\n\r\n"
         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail\\" +
         keyName +
         "]\r\n"
         "@=\"Test client\"\r\n"
         "\"DLLPath\"=\"" +
         escaped + "\"\r\n";
}

// Keeps a test provider loaded for the whole test and gives access to its recorder.
class ProviderProbe {
 public:
  explicit ProviderProbe(const char* path) : handle_(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {
    if (!handle_) throw std::runtime_error(dlerror());
    auto fn = reinterpret_cast<KdxTestRecorderFn>(dlsym(handle_, "KdxTestRecorder"));
    recorder_ = fn();
    *recorder_ = RecordedSend{};
  }
  ~ProviderProbe() { dlclose(handle_); }
  RecordedSend& operator*() { return *recorder_; }
  RecordedSend* operator->() { return recorder_; }

 private:
  void* handle_;
  RecordedSend* recorder_ = nullptr;
};

}  // namespace kdx::mail::test
