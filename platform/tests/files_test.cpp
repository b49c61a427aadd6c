#include "kdx/platform/Files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "CoreTestSupport.h"
#include "kdx/platform/Errors.h"
#include "kdx/platform/Path.h"

namespace fs = std::filesystem;
using namespace kdx::platform;

namespace {

using kdx::test::PathFromUtf8;
using kdx::test::ReadFile;
using kdx::test::Utf8Path;
using kdx::test::WriteFile;

class FilesTest : public ::testing::Test {
 protected:
  std::string P(const std::string& name) const { return Utf8Path(dir_ / PathFromUtf8(name)); }
  size_t EntryCount() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(dir_), {}));
  }
  kdx::test::TempDir temp_;
  const fs::path dir_ = PathFromUtf8(temp_.Path());
};

}  // namespace

// How a path splits into folder and name, in both styles on every system.
TEST(PathTest, SplittingFollowsTheStyle) {
  struct Row {
    PathStyle style;
    const char* path;
    const char* folder;      // FolderPart
    const char* name;        // BareName
    const char* containing;  // ContainingFolder
    bool full;               // IsFullPath
  };
  const Row rows[] = {
      {kPosixPaths, "/tmp/in/POB1_PB.KDX", "/tmp/in/", "POB1_PB.KDX", "/tmp/in", true},
      {kPosixPaths, "POB1_PB.KDX", "", "POB1_PB.KDX", ".", false},
      {kPosixPaths, "/tmp/in/", "/tmp/in/", "", "/tmp/in", true},
      {kPosixPaths, "/POB1_PB.KDX", "/", "POB1_PB.KDX", "/", true},
      // '\\' and ':' belong to a POSIX name.
      {kPosixPaths, "in/C:\\POB1_PB.KDX", "in/", "C:\\POB1_PB.KDX", "in", false},
      {kWindowsPaths, "C:\\in\\POB1_PB.KDX", "C:\\in\\", "POB1_PB.KDX", "C:\\in", true},
      {kWindowsPaths, "C:\\POB1_PB.KDX", "C:\\", "POB1_PB.KDX", "C:\\", true},
      // The drive colon ends the folder part; '/' belongs to the name.
      {kWindowsPaths, "C:POB1_PB.KDX", "C:", "POB1_PB.KDX", "C:", false},
      {kWindowsPaths, "C:\\in/POB1_PB.KDX", "C:\\", "in/POB1_PB.KDX", "C:\\", true},
      {kWindowsPaths, "C:/in/POB1_PB.KDX", "C:", "/in/POB1_PB.KDX", "C:", true},
      {kWindowsPaths, "\\\\srv\\share\\POB1_PB.KDX", "\\\\srv\\share\\", "POB1_PB.KDX",
       "\\\\srv\\share", true},
      {kWindowsPaths, "\\in\\POB1_PB.KDX", "\\in\\", "POB1_PB.KDX", "\\in", false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.path);
    EXPECT_EQ(FolderPart(r.path, r.style), r.folder);
    EXPECT_EQ(BareName(r.path, r.style), r.name);
    EXPECT_EQ(ContainingFolder(r.path, r.style), r.containing);
    EXPECT_EQ(IsFullPath(r.path, r.style), r.full);
  }
}

TEST_F(FilesTest, ExistenceTellsFilesFromFolders) {
  WriteFile(P("a.kdx"), "x");
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
  WriteFile(P("src.kdx"), big);
  WriteFile(P("dst.kdx"), "old contents");
  CopyFileReplacing(P("src.kdx"), P("dst.kdx"));
  EXPECT_EQ(ReadFile(P("dst.kdx")), big);
  EXPECT_EQ(ReadFile(P("src.kdx")), big);  // copied, not moved
  EXPECT_EQ(EntryCount(), 2u);
}

TEST_F(FilesTest, FailedCopyKeepsTheOldTargetWhole) {
  WriteFile(P("dst.kdx"), "old contents");
  EXPECT_THROW(CopyFileReplacing(P("missing.kdx"), P("dst.kdx")), kdx::EOSError);
  EXPECT_EQ(ReadFile(P("dst.kdx")), "old contents");
  EXPECT_THROW(CopyFileReplacing(P("dst.kdx"), P("no-such-folder/x.kdx")), kdx::EOSError);
  EXPECT_EQ(EntryCount(), 1u);
}

// A rename in a writable folder could replace a file the user may not write; the copy refuses
// it as Windows' copy does, and the file stays as it was.
TEST_F(FilesTest, CopyRefusesAReadOnlyTarget) {
  WriteFile(P("src.kdx"), "new contents");
  WriteFile(P("dst.kdx"), "old contents");
  const auto readOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
  fs::permissions(PathFromUtf8(P("dst.kdx")), readOnly);
  EXPECT_TRUE(IsReadOnlyFile(P("dst.kdx")));
  EXPECT_THROW(CopyFileReplacing(P("src.kdx"), P("dst.kdx")), kdx::EOSError);
  EXPECT_EQ(ReadFile(P("dst.kdx")), "old contents");
  EXPECT_EQ(EntryCount(), 2u);  // no temporary file left

  // Writable again: the copy replaces it.
  fs::permissions(PathFromUtf8(P("dst.kdx")), fs::perms::owner_write, fs::perm_options::add);
  EXPECT_FALSE(IsReadOnlyFile(P("dst.kdx")));
  CopyFileReplacing(P("src.kdx"), P("dst.kdx"));
  EXPECT_EQ(ReadFile(P("dst.kdx")), "new contents");
  EXPECT_FALSE(IsReadOnlyFile(P("missing.kdx")));
  EXPECT_FALSE(IsReadOnlyFile(temp_.Path()));  // a folder is not a file
}

TEST_F(FilesTest, PathsThatCp1250CannotSpellWork) {
  const std::string name = "\xE6\x97\xA5\xE6\x9C\xAC-\xCE\xB1.kdx";  // CJK and Greek in UTF-8
  WriteFile(P(name), "data");
  ASSERT_TRUE(FileExists(P(name)));
  CopyFileReplacing(P(name), P("copy.kdx"));
  EXPECT_EQ(ReadFile(P("copy.kdx")), "data");
  std::vector<std::string> names;
  for (const DirEntry& entry : ListDirectory(Utf8Path(dir_), "*")) names.push_back(entry.name);
  EXPECT_NE(std::find(names.begin(), names.end(), name), names.end());
}

TEST_F(FilesTest, SameFileComparesIdentityNotSpelling) {
  WriteFile(P("a.kdx"), "x");
  WriteFile(P("b.kdx"), "x");
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
// A mail client's copy is read-only; the copy gets what a new file gets (0666 less the umask),
// over an existing file too.
TEST_F(FilesTest, CopyGetsTheModeOfANewFileNotTheSources) {
  WriteFile(P("src.kdx"), "x");
  WriteFile(P("old.kdx"), "old");
  fs::permissions(dir_ / "src.kdx", fs::perms::owner_read);
  fs::permissions(dir_ / "old.kdx", fs::perms::owner_all | fs::perms::others_all);
  const mode_t mask = ::umask(022);
  CopyFileReplacing(P("src.kdx"), P("dst.kdx"));
  CopyFileReplacing(P("src.kdx"), P("old.kdx"));
  ::umask(mask);
  for (const char* name : {"dst.kdx", "old.kdx"})
    EXPECT_EQ(fs::status(dir_ / name).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                  fs::perms::others_read)
        << name;
}
#endif

TEST_F(FilesTest, ExecutablePathNamesThisTestProgram) {
  const std::string self = ExecutablePath();
  EXPECT_TRUE(FileExists(self)) << self;
  EXPECT_NE(self.find("platform_tests"), std::string::npos) << self;
}
