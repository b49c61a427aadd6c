// The shared test support: what every other test relies on to leave no files behind, to put the
// process back as it found it, and to read and write bytes and names unchanged.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <iterator>
#include <stdexcept>

#include "CoreTestSupport.h"

namespace fs = std::filesystem;
using namespace kdx::test;

namespace {

TEST(TestSupport, TempDirIsFreshAndGoesWithWhatATestLeftInIt) {
  std::string path;
  {
    TempDir dir, other;
    path = dir.Path();
    EXPECT_NE(dir.Path(), other.Path());
    ASSERT_TRUE(fs::is_directory(PathFromUtf8(path)));
    EXPECT_TRUE(fs::is_empty(PathFromUtf8(path)));
    EXPECT_EQ(PathFromUtf8(path), fs::canonical(PathFromUtf8(path)).make_preferred());

    // Nested folders, a write-protected file in a write-protected folder, an unreadable folder.
    dir.MakeDir("a/b");
    dir.MakeDir("closed");
    const std::string locked = dir.WriteFile("a/b/locked.kdx", "data");
    fs::permissions(PathFromUtf8(locked), fs::perms::owner_read);
    fs::permissions(PathFromUtf8(dir / "a/b"), fs::perms::owner_read | fs::perms::owner_exec);
    fs::permissions(PathFromUtf8(dir / "closed"), fs::perms::none);
  }
  EXPECT_FALSE(fs::exists(PathFromUtf8(path)));
}

TEST(TestSupport, TheCurrentDirectoryComesBack) {
  const fs::path before = fs::current_path();
  {
    TempDir dir;
    {
      ScopedCwd inside(dir.MakeDir("inner"));
      EXPECT_EQ(fs::current_path(), PathFromUtf8(dir / "inner"));
    }
    EXPECT_EQ(fs::current_path(), before);
    fs::current_path(PathFromUtf8(dir.Path()));  // left inside: the folder takes it back
  }
  EXPECT_EQ(fs::current_path(), before);
}

TEST(TestSupport, FilesKeepTheirBytesAndTheirUtf8Names) {
  TempDir dir;
  const std::string name = "\xE6\x97\xA5\xE6\x9C\xAC-\xCE\xB1 \xC4\x8D.kdx";  // CJK, Greek, Czech
  const std::string bytes("a\r\nb\0c\n", 7);
  const std::string path = dir.WriteFile(name, bytes);
  EXPECT_EQ(ReadFile(path), bytes);  // no line-end translation, no stop at a null byte
  const fs::directory_iterator entry(PathFromUtf8(dir.Path()));
  ASSERT_NE(entry, fs::directory_iterator());
  EXPECT_EQ(Utf8Path(entry->path().filename()), name);  // the name the system holds

  WriteFile(path, "");
  EXPECT_EQ(ReadFile(path), "");
  EXPECT_EQ(ReadFile(dir / "missing.kdx"), "<missing>");
  EXPECT_THROW(WriteFile(dir / "no/such/folder/x.kdx", "x"), std::runtime_error);
}

// On Windows the C runtime keeps a copy of the environment beside the system's: both must
// follow, or code reading the other one sees the wrong value.
TEST(TestSupport, ScopedEnvSetsOrRemovesAndPutsBack) {
  const std::string name = "KDX_TEST_SUPPORT_VARIABLE";
  ASSERT_EQ(GetEnv(name), std::nullopt);
  {
    ScopedEnv outer(name, "outer");
    {
      ScopedEnv removed(name, std::nullopt);
      EXPECT_EQ(GetEnv(name), std::nullopt);
      EXPECT_EQ(getenv(name.c_str()), nullptr);
      {
        ScopedEnv inner(name, "inner value");
        EXPECT_EQ(GetEnv(name), "inner value");
        EXPECT_STREQ(getenv(name.c_str()), "inner value");
        const char* const unset = nullptr;  // as getenv reports an unset variable
        ScopedEnv removedAgain(name, unset);
        EXPECT_EQ(GetEnv(name), std::nullopt);
      }
      EXPECT_EQ(GetEnv(name), std::nullopt);
      EXPECT_EQ(getenv(name.c_str()), nullptr);
    }
    EXPECT_EQ(GetEnv(name), "outer");
    EXPECT_STREQ(getenv(name.c_str()), "outer");
  }
  EXPECT_EQ(GetEnv(name), std::nullopt);
  EXPECT_EQ(getenv(name.c_str()), nullptr);
}

TEST(TestSupport, CzechTextsBecomeCp1250AndOthersAreRefused) {
  EXPECT_EQ(Cp("P\xC5\x99\xC3\xADli\xC5\xA1"), "P\xF8\xEDli\x9A");  // "Příliš"
  EXPECT_THROW(Cp("\xE6\x97\xA5"), std::invalid_argument);
}

}  // namespace
