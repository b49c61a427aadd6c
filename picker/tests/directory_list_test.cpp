#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "CoreTestSupport.h"
#include "kdx/picker/DirectoryList.h"
#include "kdx/platform/Errors.h"

using namespace kdx::picker;
using kdx::platform::kPosixPaths;
using kdx::platform::kWindowsPaths;
using kdx::test::TempDir;

namespace {

std::vector<std::string> Texts(const std::vector<DirItem>& items) {
  std::vector<std::string> texts;
  for (const DirItem& item : items) texts.push_back(item.text);
  return texts;
}

std::vector<DirItemKind> Kinds(const std::vector<DirItem>& items) {
  std::vector<DirItemKind> kinds;
  for (const DirItem& item : items) kinds.push_back(item.kind);
  return kinds;
}

constexpr auto kOpen = DirItemKind::OpenFolder;
constexpr auto kCurrent = DirItemKind::CurrentFolder;
constexpr auto kClosed = DirItemKind::ClosedFolder;

}  // namespace

TEST(DirectoryItems, PathItemsAndTheirPathsForDrivesNetworkRootsAndVolumes) {
  // Drive letter: the root written with its separator, then every folder down to the current.
  auto items = BuildPathItems("C:\\Alpha\\Beta\\Gamma", "C:", kWindowsPaths);
  EXPECT_EQ(Texts(items), (std::vector<std::string>{"C:\\", "Alpha", "Beta", "Gamma"}));
  EXPECT_EQ(Kinds(items), (std::vector<DirItemKind>{kOpen, kOpen, kOpen, kCurrent}));
  EXPECT_EQ(OpenItemPath("C:\\Alpha\\Beta\\Gamma", "C:", 0, kWindowsPaths), "C:\\");
  EXPECT_EQ(OpenItemPath("C:\\Alpha\\Beta\\Gamma", "C:", 1, kWindowsPaths), "C:\\Alpha");
  EXPECT_EQ(OpenItemPath("C:\\Alpha\\Beta\\Gamma", "C:", 2, kWindowsPaths), "C:\\Alpha\\Beta");

  // A drive root alone is the single current-folder item.
  items = BuildPathItems("C:\\", "C:", kWindowsPaths);
  EXPECT_EQ(Texts(items), (std::vector<std::string>{"C:\\"}));
  EXPECT_EQ(Kinds(items), (std::vector<DirItemKind>{kCurrent}));

  // A network path: its root is the first item, and is current when nothing follows it.
  EXPECT_EQ(DriveOfPath("\\\\srv\\share\\Dir\\Sub", kWindowsPaths, {}), "\\\\srv\\share");
  items = BuildPathItems("\\\\srv\\share\\Dir\\Sub", "\\\\srv\\share", kWindowsPaths);
  EXPECT_EQ(Texts(items), (std::vector<std::string>{"\\\\srv\\share\\", "Dir", "Sub"}));
  EXPECT_EQ(OpenItemPath("\\\\srv\\share\\Dir\\Sub", "\\\\srv\\share", 1, kWindowsPaths),
            "\\\\srv\\share\\Dir");
  items = BuildPathItems("\\\\srv\\share\\", "\\\\srv\\share", kWindowsPaths);
  EXPECT_EQ(Kinds(items), (std::vector<DirItemKind>{kCurrent}));

  // Linux: the drive is the mount point of the innermost offered volume.
  const std::vector<std::string> roots{"/", "/home/", "/media/petr/USB/"};
  EXPECT_EQ(DriveOfPath("/etc/ssl", kPosixPaths, roots), "");
  EXPECT_EQ(DriveOfPath("/home", kPosixPaths, roots), "/home");
  EXPECT_EQ(DriveOfPath("/homework/x", kPosixPaths, roots), "");
  EXPECT_EQ(DriveOfPath("/media/petr/USB/Faktury", kPosixPaths, roots), "/media/petr/USB");
  items = BuildPathItems("/media/petr/USB/Faktury/2024", "/media/petr/USB", kPosixPaths);
  EXPECT_EQ(Texts(items), (std::vector<std::string>{"/media/petr/USB/", "Faktury", "2024"}));
  EXPECT_EQ(OpenItemPath("/media/petr/USB/Faktury/2024", "/media/petr/USB", 1, kPosixPaths),
            "/media/petr/USB/Faktury");
  items = BuildPathItems("/", "", kPosixPaths);
  EXPECT_EQ(Texts(items), (std::vector<std::string>{"/"}));
  EXPECT_EQ(Kinds(items), (std::vector<DirItemKind>{kCurrent}));
}

#ifndef _WIN32

class DirectoryListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tree.MakeDir("alpha/deep");
    tree.MakeDir("Beta");
    tree.MakeDir("gamma");
    tree.MakeDir(".hidden");
    tree.WriteFile("file.txt", "x");
    kdx::platform::SetCurrentDir(tree.Path());
  }
  TempDir tree;
};

TEST_F(DirectoryListTest, ListsTheWayDownAndTheVisibleSubfoldersOfTheCurrentDirectory) {
  DirectoryList list;
  list.Open();
  ASSERT_EQ(list.Directory(), tree.Path());
  EXPECT_EQ(list.Drive(), "");

  // "/", the folders down to the tree, the tree, then its subfolders without the hidden one.
  const auto& items = list.Items();
  const std::string name = std::filesystem::path(tree.Path()).filename().string();
  ASSERT_GE(items.size(), 5u);
  EXPECT_EQ(items[0].text, "/");
  EXPECT_EQ(items[list.CurrentItemIndex()].text, name);
  EXPECT_EQ(items[list.CurrentItemIndex()].kind, kCurrent);
  const std::vector<DirItem> subs(items.begin() + list.CurrentItemIndex() + 1, items.end());
  EXPECT_EQ(Texts(subs), (std::vector<std::string>{"alpha", "Beta", "gamma"}));
  EXPECT_EQ(Kinds(subs), (std::vector<DirItemKind>(3, kClosed)));

  // What each item opens.
  EXPECT_EQ(list.ItemPath(0), "/");
  EXPECT_EQ(list.ItemPath(list.CurrentItemIndex()), tree.Path());
  EXPECT_EQ(list.ItemPath(list.CurrentItemIndex() - 1),
            std::filesystem::path(tree.Path()).parent_path().string());
  EXPECT_EQ(list.ItemPath(list.CurrentItemIndex() + 2), tree / "Beta");

  // Glyph indents: path items step by 4 from 2; subfolders 4 per separator plus 6.
  const std::string path = tree.Path();
  const int separators = static_cast<int>(std::count(path.begin(), path.end(), '/'));
  EXPECT_EQ(list.GlyphIndent(0), 2);
  EXPECT_EQ(list.GlyphIndent(list.CurrentItemIndex()),
            4 * static_cast<int>(list.CurrentItemIndex()) + 2);
  EXPECT_EQ(list.GlyphIndent(list.CurrentItemIndex() + 1), 4 * separators + 6);
  EXPECT_FALSE(list.ShowLowerCase());
}

TEST_F(DirectoryListTest, OpeningMovesTheProcessCurrentDirectoryAndAnnouncesTheChange) {
  DirectoryList list;
  list.Open();
  int changes = 0;
  list.onChange = [&] { ++changes; };

  list.SetDirectory(list.ItemPath(list.CurrentItemIndex() + 1));  // "alpha"
  EXPECT_EQ(list.Directory(), tree / "alpha");
  EXPECT_EQ(kdx::platform::GetCurrentDir(), tree / "alpha");
  EXPECT_EQ(list.Items()[list.CurrentItemIndex()].text, "alpha");
  EXPECT_EQ(list.Items().back().text, "deep");
  EXPECT_EQ(changes, 1);

  // The same directory again changes nothing; relative and bracketed paths are taken from the
  // process's current directory.
  list.SetDirectory(tree / "alpha");
  EXPECT_EQ(changes, 1);
  list.SetDirectory("[deep]");
  EXPECT_EQ(list.Directory(), tree / "alpha/deep");
  list.SetDirectory("../..");
  EXPECT_EQ(list.Directory(), tree.Path());
  EXPECT_EQ(changes, 3);

  // Up through an open-folder item.
  list.SetDirectory(list.ItemPath(list.CurrentItemIndex() - 1));
  EXPECT_EQ(list.Directory(), std::filesystem::path(tree.Path()).parent_path().string());
}

TEST_F(DirectoryListTest, AFolderThatVanishedOrNeverExistedChangesNothing) {
  DirectoryList list;
  list.Open();
  const std::string gamma = list.ItemPath(list.Items().size() - 1);
  ASSERT_EQ(gamma, tree / "gamma");
  std::filesystem::remove(gamma);

  int changes = 0;
  list.onChange = [&] { ++changes; };
  EXPECT_THROW(list.SetDirectory(gamma), kdx::EOSError);
  EXPECT_THROW(list.SetDirectory(tree / "no/such/start"), kdx::EOSError);
  EXPECT_EQ(list.Directory(), tree.Path());
  EXPECT_EQ(kdx::platform::GetCurrentDir(), tree.Path());
  EXPECT_EQ(changes, 0);

  // Reading the list again drops the vanished folder.
  list.Rebuild();
  EXPECT_EQ(list.Items().back().text, "Beta");
}

TEST_F(DirectoryListTest, ManySubfoldersAreAllListedInCaseInsensitiveOrder) {
  for (int i = 0; i < 300; ++i) {
    const std::string n = std::to_string(1000 + i);
    tree.MakeDir((i % 2 ? "Sub" : "sub") + n);
  }
  DirectoryList list;
  list.Open();
  std::vector<std::string> subs;
  for (size_t i = list.CurrentItemIndex() + 1; i < list.Items().size(); ++i)
    subs.push_back(list.Items()[i].text);
  ASSERT_EQ(subs.size(), 303u);
  EXPECT_EQ(subs[0], "alpha");
  EXPECT_EQ(subs[1], "Beta");
  EXPECT_EQ(subs[2], "gamma");
  for (size_t i = 3; i + 1 < subs.size(); ++i)
    EXPECT_LT(strcasecmp(subs[i].c_str(), subs[i + 1].c_str()), 0) << subs[i];
}

TEST_F(DirectoryListTest, TheFileSystemRootIsASingleCurrentItemWithItsSeparator) {
  DirectoryList list;
  list.Open();
  list.SetDirectory("/");
  EXPECT_EQ(list.Directory(), "/");
  EXPECT_EQ(list.Items()[0].text, "/");
  EXPECT_EQ(list.Items()[0].kind, kCurrent);
  EXPECT_EQ(list.CurrentItemIndex(), 0u);
  EXPECT_EQ(list.ItemPath(0), "/");
  ASSERT_GT(list.Items().size(), 1u);
  EXPECT_EQ(list.GlyphIndent(1), 10);
  EXPECT_EQ(list.ItemPath(1), "/" + list.Items()[1].text);
}

// A volume is simulated by offering the tree's folders as volume roots: the directory list does
// not care whether they are real mount points.
TEST_F(DirectoryListTest, VolumeRootsKeepTheirSeparatorAndMovingOntoAnotherVolumeChangesDrive) {
  DirectoryList list;
  const std::string volume = tree.Path() + "/";
  const std::string inner = (tree / "alpha") + "/";
  list.SetVolumeRoots({volume, inner});
  list.Open();
  EXPECT_EQ(list.Directory(), volume);
  EXPECT_EQ(list.Drive(), tree.Path());
  EXPECT_EQ(Texts(list.Items()), (std::vector<std::string>{volume, "alpha", "Beta", "gamma"}));

  std::vector<std::string> driveChanges;
  list.onDriveChange = [&](const std::string& root) { driveChanges.push_back(root); };
  list.SetDirectory(tree / "Beta");
  EXPECT_TRUE(driveChanges.empty());
  EXPECT_EQ(list.ItemPath(0), volume);

  list.SetDirectory(tree / "alpha/deep");
  EXPECT_EQ(driveChanges, (std::vector<std::string>{inner}));
  EXPECT_EQ(list.Drive(), tree / "alpha");
  EXPECT_EQ(Texts(list.Items()), (std::vector<std::string>{inner, "deep"}));
  list.SetDirectory(list.ItemPath(0));
  EXPECT_EQ(list.Directory(), inner);

  // A drive change from the drive list goes to the volume's mount point ...
  list.ChangeDrive(volume);
  EXPECT_EQ(list.Directory(), volume);
  EXPECT_EQ(kdx::platform::GetCurrentDir(), tree.Path());
  // ... and one that cannot be entered leaves everything as it was.
  EXPECT_THROW(list.ChangeDrive((tree / "gone") + "/"), kdx::EOSError);
  EXPECT_EQ(list.Directory(), volume);
  EXPECT_EQ(kdx::platform::GetCurrentDir(), tree.Path());
}

#endif  // !_WIN32

TEST(DirectoryNames, CzechNamesAndNamesOutsideCp1250StandInTheUsersOrder) {
  // Accented capitals among plain ones, a lower-case first letter, and a Cyrillic name, which
  // cp1250 cannot spell: Latin letters first, each accented one beside its plain letter.
  TempDir tree;
  for (const char* name : {"Zápisy", "Daně", "Отчёты", "Účty", "Čtvrtletí", "Cenik", "archiv"})
    tree.MakeDir(name);
  EXPECT_EQ(ReadSubdirectoryNames(tree.Path()),
            (std::vector<std::string>{"archiv", "Cenik", "Čtvrtletí", "Daně", "Účty", "Zápisy",
                                      "Отчёты"}));
}
