#pragma once
// The mail layer's test support (kdx_mail_test_support): the checks of the errors the hand-off
// raises, the registry stand-in's system folder, .reg files naming a client library, the test
// providers' records (providers/ProviderProbe.h). Temporary folders, environment variables and
// files come from the shared test support (CoreTestSupport.h).

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>

#include "CoreTestSupport.h"
#include "kdx/mail/MailErrors.h"
#include "kdx/platform/Registry.h"
#ifndef _WIN32
#include "providers/ProviderProbe.h"
#endif

namespace kdx::mail::test {

// Whether `action` raises E with exactly the message `message`:
// EXPECT_TRUE(Raises<ERegistryError>([&] { ... }, "Unable to open key ...")).
template <class E, class Action>
::testing::AssertionResult Raises(Action&& action, const std::string& message) {
  try {
    action();
  } catch (const E& e) {
    if (e.what() == message) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "raised \"" << e.what() << "\" instead of \"" << message << "\"";
  }
  return ::testing::AssertionFailure() << "no exception, expected \"" << message << "\"";
}

// Whether `action` raises EMapiError with exactly the message `message` and the result code
// `code` (0 for a failure that is not a Simple MAPI result).
template <class Action>
::testing::AssertionResult RaisesMapiError(Action&& action, const std::string& message,
                                           std::uint32_t code) {
  std::uint32_t raised = 0;
  const auto result = Raises<EMapiError>(
      [&] {
        try {
          action();
        } catch (const EMapiError& e) {
          raised = e.ErrorCode;
          throw;
        }
      },
      message);
  if (!result || raised == code) return result;
  return ::testing::AssertionFailure()
         << "\"" << message << "\" with the code " << raised << " instead of " << code;
}

#ifndef _WIN32

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

#endif  // !_WIN32

}  // namespace kdx::mail::test
