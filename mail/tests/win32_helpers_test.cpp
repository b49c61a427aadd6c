// The Windows backends under the mail hand-off: the registry helpers on the real registry,
// loading a client library that lacks names, environment expansion and the path helpers.

#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MailTestSupport.h"
#include "kdx/mail/MailErrors.h"
#include "kdx/mail/MailRegistry.h"
#include "kdx/mail/MapiClient.h"
#include "kdx/platform/Environment.h"
#include "kdx/platform/Library.h"
#include "kdx/platform/PathSearch.h"

namespace kdx::mail {
namespace {

const auto HKLM = RegistryRoot::LocalMachine;
const char* const kCurrentVersion = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

TEST(Win32Registry, HelpersReadTheRealRegistry) {
  EXPECT_TRUE(RegistryKeyExists(HKLM, kCurrentVersion));
  EXPECT_TRUE(RegistryKeyExists(HKLM, std::string("\\") + kCurrentVersion));
  EXPECT_FALSE(RegistryKeyExists(HKLM, "SOFTWARE\\KDX manager\\no such key"));
  EXPECT_FALSE(ReadRegistryString(HKLM, kCurrentVersion, "CurrentVersion", "").empty());
  EXPECT_EQ(ReadRegistryString(HKLM, kCurrentVersion, "no such value", "def"), "def");
  std::vector<std::string> names = {"stale"};
  EXPECT_TRUE(ListSubkeyNames(HKLM, "SOFTWARE\\Microsoft", names));
  EXPECT_FALSE(names.empty());
  EXPECT_NE(names[0], "stale");
  EXPECT_TRUE(test::Raises<ERegistryError>(
      [&] { ListSubkeyNames(HKLM, "SOFTWARE\\KDX manager\\no such key", names); },
      "Unable to open key \"SOFTWARE\\KDX manager\\no such key\" for read"));
  EXPECT_TRUE(names.empty());
  EXPECT_TRUE(IsWindowsNtFamily);
}

TEST(Win32Library, InspectionFindsMissingNamesAndLoadingReportsTheSystemError) {
  struct Case {
    const char* path;
    const char* firstMissing;
  } cases[] = {{KDX_TEST_PROVIDER_FULL, nullptr},
               {KDX_TEST_PROVIDER_ELEVEN, "MAPIReadMail"},
               {KDX_TEST_PROVIDER_TEN, "MAPIDetails"}};
  for (const Case& c : cases) {
    platform::LibraryHandle library = platform::LoadLibraryForInspection(c.path);
    ASSERT_NE(library, nullptr) << c.path;
    const char* missing = nullptr;
    for (const char* name : kMapiEntryPointNames) {
      if (!platform::ResolveFunction(library, name)) {
        missing = name;
        break;
      }
    }
    platform::FreeLibraryHandle(library);
    if (c.firstMissing) {
      ASSERT_NE(missing, nullptr);
      EXPECT_STREQ(missing, c.firstMissing);
    } else {
      EXPECT_EQ(missing, nullptr);
    }
  }
  platform::LibraryError error;
  EXPECT_EQ(platform::LoadLibraryByName("C:\\no\\such\\library.dll", &error), nullptr);
  EXPECT_NE(error.code, 0u);
  EXPECT_FALSE(error.text.empty());
}

TEST(Win32Environment, ExpandsSetVariablesOnly) {
  kdx::test::ScopedEnv dir("KDX_TEST_DIR", "C:\\mail");
  kdx::test::ScopedEnv unset("KDX_TEST_UNSET", std::nullopt);
  std::string t = "%KDX_TEST_DIR%\\client.dll;%KDX_TEST_UNSET%";
  ExpandEnvironment(t);
  EXPECT_EQ(t, "C:\\mail\\client.dll;%KDX_TEST_UNSET%");
}

TEST(Win32Paths, ExistenceBySearchAndFullPaths) {
  kdx::test::TempDir temp;
  const std::string dir = temp.Path();
  const std::string file = temp.WriteFile("EXPORT.KDX", "");

  EXPECT_TRUE(platform::FileExistsBySearch(file));
  EXPECT_TRUE(platform::FileExistsBySearch(dir));  // folders count
  EXPECT_FALSE(platform::FileExistsBySearch(dir + "\\missing.kdx"));
  EXPECT_FALSE(platform::FileExistsBySearch(dir + "\\*.KDX"));  // a pattern is no name
  EXPECT_FALSE(platform::FileExistsBySearch(""));

  kdx::test::ScopedCwd inDir(dir);
  EXPECT_TRUE(platform::FileExistsBySearch("EXPORT.KDX"));
  const std::string full = platform::ExpandFullPath("sub\\..\\EXPORT.KDX");
  EXPECT_EQ(
      CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, full.c_str(), -1, file.c_str(), -1),
      CSTR_EQUAL)
      << full << " vs " << file;
}

}  // namespace
}  // namespace kdx::mail
