// Library loading on Windows against real DLLs: the test client libraries built beside the tests
// (twelve entry points, eleven, one whose dependency is nowhere to be found) and the system's
// own mapi32.dll, found by its bare name through the loader's search order.

#include <windows.h>
#include <gtest/gtest.h>

#include "WineTestSupport.h"
#include "kdx/mail/MapiClient.h"
#include "kdx/mail/MapiTypes.h"
#include "kdx/platform/Library.h"

using namespace kdx::platform;
using namespace kdx::test;
using namespace kdx::wintest;

namespace {

std::string Dll(const char* name) {
  return TestMapiDir() + "\\" + name;
}

// The names of the table the library exports, in table order, up to the first missing one.
int ExportedPrefix(LibraryHandle lib) {
  int n = 0;
  for (const char* name : kdx::mail::kMapiEntryPointNames) {
    if (!ResolveFunction(lib, name)) break;
    ++n;
  }
  return n;
}

}  // namespace

TEST(Win32Library, InspectionDoesNotRunTheLibraryButUseDoes) {
  ScopedEnv attached("KDX_TESTMAPI_ATTACHED", std::nullopt);
  LibraryHandle lib = LoadLibraryForInspection(Dll("kdxtestmapi12.dll"));
  ASSERT_NE(lib, nullptr);
  EXPECT_EQ(ExportedPrefix(lib), 12);
  EXPECT_EQ(GetEnv("KDX_TESTMAPI_ATTACHED"), std::nullopt) << "DllMain ran during inspection";
  FreeLibraryHandle(lib);
  EXPECT_EQ(GetModuleHandleA("kdxtestmapi12.dll"), nullptr) << "inspection left the DLL loaded";

  lib = LoadLibraryByName(Dll("kdxtestmapi12.dll"));
  ASSERT_NE(lib, nullptr);
  EXPECT_EQ(GetEnv("KDX_TESTMAPI_ATTACHED"), std::optional<std::string>("1"));
  // A resolved entry point is callable: MAPIFreeBuffer answers SUCCESS_SUCCESS.
  auto freeBuffer = reinterpret_cast<LPMAPIFREEBUFFER>(ResolveFunction(lib, "MAPIFreeBuffer"));
  ASSERT_NE(freeBuffer, nullptr);
  EXPECT_EQ(freeBuffer(nullptr), 0u);
  FreeLibraryHandle(lib);
  FreeLibraryHandle(nullptr);  // ignored
}

TEST(Win32Library, ElevenNamesStopAtTheMissingOne) {
  LibraryHandle lib = LoadLibraryForInspection(Dll("kdxtestmapi11.dll"));
  ASSERT_NE(lib, nullptr);
  EXPECT_EQ(ExportedPrefix(lib), 8);  // "MAPIResolveName" is the ninth name
  EXPECT_EQ(ResolveFunction(lib, "MAPIResolveName"), nullptr);
  EXPECT_NE(ResolveFunction(lib, "MAPISendMail"), nullptr);
  EXPECT_EQ(ResolveFunction(lib, "mapisendmail"), nullptr) << "export names are case-sensitive";
  FreeLibraryHandle(lib);
}

TEST(Win32Library, MissingDependencyPassesInspectionButFailsToLoad) {
  LibraryHandle lib = LoadLibraryForInspection(Dll("kdxtestmapi_dep.dll"));
  ASSERT_NE(lib, nullptr) << "inspection must not load the dependencies";
  EXPECT_EQ(ExportedPrefix(lib), 12);
  FreeLibraryHandle(lib);

  LibraryError error;
  EXPECT_EQ(LoadLibraryByName(Dll("kdxtestmapi_dep.dll"), &error), nullptr);
  EXPECT_EQ(error.code, static_cast<unsigned long>(ERROR_MOD_NOT_FOUND));
  EXPECT_FALSE(error.text.empty());
}

TEST(Win32Library, MissingFileReportsTheSystemError) {
  for (bool inspect : {true, false}) {
    LibraryError error;
    const std::string path = Dll("no-such-client.dll");
    EXPECT_EQ(inspect ? LoadLibraryForInspection(path, &error) : LoadLibraryByName(path, &error),
              nullptr);
    EXPECT_EQ(error.code, static_cast<unsigned long>(ERROR_MOD_NOT_FOUND)) << inspect;
    EXPECT_FALSE(error.text.empty()) << inspect;
  }
}

TEST(Win32Library, SystemMapi32IsFoundByItsBareNameAndExportsAllTwelve) {
  LibraryHandle lib = LoadLibraryByName("mapi32.dll");
  ASSERT_NE(lib, nullptr);
  EXPECT_EQ(ExportedPrefix(lib), 12);
  char path[MAX_PATH] = {};
  GetModuleFileNameA(static_cast<HMODULE>(lib), path, sizeof path);
  EXPECT_NE(std::string(path).find("system32"), std::string::npos) << path;
  FreeLibraryHandle(lib);
}
