#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "CoreTestSupport.h"
#include "kdx/platform/Errors.h"
#include "kdx/platform/Files.h"

using namespace kdx::platform;

namespace {

class DirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    temp_.MakeDir("Folder");
    for (const char* name : {"Report.KDX", "notes", "a.txt"}) temp_.WriteFile(name, "x");
  }
  std::vector<std::string> Names(const std::string& mask) {
    std::vector<std::string> names;
    for (const auto& e : ListDirectory(root_.string(), mask)) names.push_back(e.name);
    std::sort(names.begin(), names.end());
    return names;
  }
  kdx::test::TempDir temp_;  // also puts back the current directory the tests change
  const std::filesystem::path root_ = kdx::test::PathFromUtf8(temp_.Path());
};

}  // namespace

TEST_F(DirectoryTest, MasksMatchLikeTheWindowsFileSearch) {
  EXPECT_EQ(Names("*.*"), (std::vector<std::string>{"Folder", "Report.KDX", "a.txt", "notes"}));
  EXPECT_EQ(Names("*"), Names("*.*"));
  EXPECT_EQ(Names("*.kdx"), (std::vector<std::string>{"Report.KDX"}));
  EXPECT_EQ(Names("?.TXT"), (std::vector<std::string>{"a.txt"}));
  const auto entries = ListDirectory(root_.string(), "fold*");
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_TRUE(entries[0].directory);
  EXPECT_FALSE(entries[0].hidden);
  EXPECT_THROW(ListDirectory((root_ / "missing").string()), kdx::EOSError);
}

TEST_F(DirectoryTest, CurrentDirectoryChangesOnlyWhenTheTargetCanBeEntered) {
  SetCurrentDir(root_.string());
  EXPECT_EQ(GetCurrentDir(), root_.string());
  try {
    SetCurrentDir((root_ / "missing").string());
    FAIL() << "no error";
  } catch (const kdx::EOSError& e) {
    EXPECT_NE(std::string(e.what()).find("missing"), std::string::npos) << e.what();
    EXPECT_NE(e.ErrorCode, 0u);
  }
  EXPECT_THROW(SetCurrentDir(""), kdx::EOSError);
  EXPECT_EQ(GetCurrentDir(), root_.string());
}

#ifndef _WIN32
TEST_F(DirectoryTest, HiddenEntriesAndCaseFlags) {
  std::filesystem::create_directories(root_ / ".cache");
  const auto entries = ListDirectory(root_.string(), ".c*");
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_TRUE(entries[0].hidden);
  EXPECT_TRUE(entries[0].directory);
  const VolumeCaseFlags flags = GetVolumeCaseFlags(root_.string());
  EXPECT_TRUE(flags.casePreserved);
}
#endif
