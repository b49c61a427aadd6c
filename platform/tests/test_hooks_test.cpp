// The guards that replace an input of the program for one test: what a guard installs is in
// force while it lives, and it puts back exactly what it found, also when guards nest (a fixture
// and a test case may both hold one).

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

#include "CoreTestSupport.h"
#include "kdx/platform/Registry.h"
#include "kdx/platform/ScopedReplacement.h"

using kdx::platform::ScopedReplacement;

namespace {

TEST(TestHooks, NestedReplacementsPutBackWhatEachFound) {
  std::optional<std::string> path;
  {
    ScopedReplacement<std::optional<std::string>> outer(path, "outer");
    EXPECT_EQ(path, "outer");
    {
      ScopedReplacement<std::optional<std::string>> inner(path, std::nullopt);
      EXPECT_FALSE(path);
    }
    EXPECT_EQ(path, "outer");
  }
  EXPECT_FALSE(path);

  // A handler that was installed before the guard works again afterwards.
  int calls = 0;
  std::function<void()> handler = [&calls] { ++calls; };
  {
    ScopedReplacement<std::function<void()>> none(handler, {});
    EXPECT_FALSE(handler);
  }
  ASSERT_TRUE(handler);
  handler();
  EXPECT_EQ(calls, 1);
}

#ifndef _WIN32
TEST(TestHooks, TheSystemRegistryFolderGuardNestsAndPutsTheFolderBack) {
  using namespace kdx::platform;
  kdx::test::TempDir dir;
  kdx::test::ScopedEnv only("KDX_REGISTRY", nullptr);
  kdx::test::ScopedEnv config("XDG_CONFIG_HOME", dir / "config");
  dir.MakeDir("admin");
  dir.MakeDir("empty");
  dir.WriteFile("admin/registry.reg",
                "Windows Registry Editor Version 5.00\r\n\r\n"
                "[HKEY_LOCAL_MACHINE\\SOFTWARE\\KdxHookTest]\r\n\"Folder\"=\"admin\"\r\n");
  const auto adminKeyOpens = [] {
    return RegistryKey::Open(RegistryRoot::LocalMachine, "SOFTWARE\\KdxHookTest") != nullptr;
  };

  EXPECT_FALSE(adminKeyOpens());
  {
    ScopedSystemRegistryFolderForTesting admin(dir / "admin");
    EXPECT_TRUE(adminKeyOpens());
    {
      ScopedSystemRegistryFolderForTesting empty(dir / "empty");
      EXPECT_FALSE(adminKeyOpens());
    }
    EXPECT_TRUE(adminKeyOpens());
  }
  EXPECT_FALSE(adminKeyOpens());
}
#endif

}  // namespace
