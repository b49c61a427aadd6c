#include "kdx/platform/Files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "kdx/platform/Errors.h"

namespace fs = std::filesystem;
using namespace kdx::platform;

namespace {

std::string U8(const fs::path& p) {
  const std::u8string s = p.u8string();
  return std::string(s.begin(), s.end());
}

fs::path FromU8(const std::string& s) {
  return fs::path(std::u8string(s.begin(), s.end()));
}

class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    dir_ = fs::temp_directory_path() / ("kdx-files-" + std::to_string(rd()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir_, ec);
  }
  std::string P(const std::string& name) const { return U8(dir_ / FromU8(name)); }
  static void Write(const std::string& path, const std::string& data) {
    std::ofstream(FromU8(path), std::ios::binary) << data;
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(FromU8(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  size_t EntryCount() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(dir_), {}));
  }
  fs::path dir_;
};

}  // namespace

TEST_F(FilesTest, ExistenceTellsFilesFromFolders) {
  Write(P("a.kdx"), "x");
  fs::create_directory(dir_ / "sub");
  EXPECT_TRUE(FileExists(P("a.kdx")));
  EXPECT_FALSE(FileExists(P("sub")));
  EXPECT_FALSE(FileExists(P("missing")));
  EXPECT_FALSE(FileExists(""));
  EXPECT_TRUE(DirectoryExists(P("sub")));
  EXPECT_FALSE(DirectoryExists(P("a.kdx")));
}

TEST_F(FilesTest, CopyReplacesTargetAndLeavesNoTemporaryFile) {
  const std::string big(300 * 1024, 'k');  // larger than one copy buffer
  Write(P("src.kdx"), big);
  Write(P("dst.kdx"), "old contents");
  CopyFileReplacing(P("src.kdx"), P("dst.kdx"));
  EXPECT_EQ(Read(P("dst.kdx")), big);
  EXPECT_EQ(Read(P("src.kdx")), big);  // copied, not moved
  EXPECT_EQ(EntryCount(), 2u);
}

TEST_F(FilesTest, FailedCopyKeepsTheOldTargetWhole) {
  Write(P("dst.kdx"), "old contents");
  EXPECT_THROW(CopyFileReplacing(P("missing.kdx"), P("dst.kdx")), kdx::EOSError);
  EXPECT_EQ(Read(P("dst.kdx")), "old contents");
  EXPECT_THROW(CopyFileReplacing(P("dst.kdx"), P("no-such-folder/x.kdx")), kdx::EOSError);
  EXPECT_EQ(EntryCount(), 1u);
}

// A rename in a writable folder could replace a file the user may not write; the copy refuses
// it as Windows' copy does, and the file stays as it was.
TEST_F(FilesTest, CopyRefusesAReadOnlyTarget) {
  Write(P("src.kdx"), "new contents");
  Write(P("dst.kdx"), "old contents");
  const auto readOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
  fs::permissions(FromU8(P("dst.kdx")), readOnly);
  EXPECT_TRUE(IsReadOnlyFile(P("dst.kdx")));
  EXPECT_THROW(CopyFileReplacing(P("src.kdx"), P("dst.kdx")), kdx::EOSError);
  EXPECT_EQ(Read(P("dst.kdx")), "old contents");
  EXPECT_EQ(EntryCount(), 2u);  // no temporary file left

  // Writable again: the copy replaces it.
  fs::permissions(FromU8(P("dst.kdx")), fs::perms::owner_write, fs::perm_options::add);
  EXPECT_FALSE(IsReadOnlyFile(P("dst.kdx")));
  CopyFileReplacing(P("src.kdx"), P("dst.kdx"));
  EXPECT_EQ(Read(P("dst.kdx")), "new contents");
  EXPECT_FALSE(IsReadOnlyFile(P("missing.kdx")));
  EXPECT_FALSE(IsReadOnlyFile(dir_.string()));  // a folder is not a file
}

TEST_F(FilesTest, PathsThatCp1250CannotSpellWork) {
  const std::string name = "\xE6\x97\xA5\xE6\x9C\xAC-\xCE\xB1.kdx";  // CJK and Greek in UTF-8
  Write(P(name), "data");
  ASSERT_TRUE(FileExists(P(name)));
  CopyFileReplacing(P(name), P("copy.kdx"));
  EXPECT_EQ(Read(P("copy.kdx")), "data");
  std::vector<std::string> names;
  for (const DirEntry& entry : ListDirectory(U8(dir_), "*")) names.push_back(entry.name);
  EXPECT_NE(std::find(names.begin(), names.end(), name), names.end());
}

TEST_F(FilesTest, SameFileComparesIdentityNotSpelling) {
  Write(P("a.kdx"), "x");
  Write(P("b.kdx"), "x");
  fs::create_directory(dir_ / "sub");
  EXPECT_TRUE(SameFile(P("a.kdx"), P("sub/../a.kdx")));
  EXPECT_FALSE(SameFile(P("a.kdx"), P("b.kdx")));
  EXPECT_FALSE(SameFile(P("a.kdx"), P("missing")));
  EXPECT_TRUE(SameFile(P("sub"), P("sub/.")));
#ifndef _WIN32
  fs::create_hard_link(dir_ / "a.kdx", dir_ / "hard.kdx");
  fs::create_symlink(dir_ / "a.kdx", dir_ / "soft.kdx");
  fs::create_directory_symlink(dir_ / "sub", dir_ / "linkdir");
  EXPECT_TRUE(SameFile(P("a.kdx"), P("hard.kdx")));
  EXPECT_TRUE(SameFile(P("a.kdx"), P("soft.kdx")));
  EXPECT_TRUE(SameFile(P("sub"), P("linkdir")));
#endif
}

#ifndef _WIN32
TEST_F(FilesTest, CopyKeepsTheSourcePermissions) {
  Write(P("src.kdx"), "x");
  fs::permissions(dir_ / "src.kdx",
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  CopyFileReplacing(P("src.kdx"), P("dst.kdx"));
  EXPECT_EQ(fs::status(dir_ / "dst.kdx").permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}
#endif

TEST_F(FilesTest, ExecutablePathNamesThisTestProgram) {
  const std::string self = ExecutablePath();
  EXPECT_TRUE(FileExists(self)) << self;
  EXPECT_NE(self.find("platform_tests"), std::string::npos) << self;
}
