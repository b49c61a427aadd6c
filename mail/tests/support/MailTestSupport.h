#pragma once
// Helpers of the mail tests: the registry stand-in's system folder, .reg files naming a client
// library, the test providers' records (providers/ProviderProbe.h). Temporary folders, environment
// variables and files come from the shared test support (CoreTestSupport.h).

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "CoreTestSupport.h"
#include "kdx/platform/Registry.h"
#include "providers/ProviderProbe.h"

namespace kdx::mail::test {

// Points the registry stand-in's system folder (/etc/kdx-manager) elsewhere for one test, so
// that a registry file installed on the host does not take part.
class ScopedSystemRegistryFolder {
 public:
  explicit ScopedSystemRegistryFolder(const std::string& folder) {
    platform::SetSystemRegistryFolder(folder);
  }
  ~ScopedSystemRegistryFolder() { platform::SetSystemRegistryFolder("/etc/kdx-manager"); }
};

// A test whose registry is a .reg file of its own ($KDX_REGISTRY), written by Use().
class RegistryFileTest : public ::testing::Test {
 protected:
  void Use(const std::string& content) { kdx::test::WriteFile(file_, content); }
  kdx::test::TempDir dir_;
  std::string file_ = dir_ / "registry.reg";
  kdx::test::ScopedEnv env_{"KDX_REGISTRY", file_};
};

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

}  // namespace kdx::mail::test
