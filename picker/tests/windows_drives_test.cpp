// The directory and drive lists over the Windows backend (run under Wine in the Windows stage):
// drive letters, roots with their backslash, hidden and system folders left out.

#ifdef _WIN32

#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "CoreTestSupport.h"
#include "kdx/picker/DirectoryList.h"
#include "kdx/picker/DriveList.h"
#include "kdx/platform/Errors.h"
#include "kdx/platform/Volumes.h"

using namespace kdx::picker;

TEST(WindowsDirectoryList, LettersRootsAndHiddenOrSystemFolders) {
  kdx::test::TempDir tree;
  tree.MakeDir("Alpha\\Deep");
  tree.MakeDir("beta");
  tree.MakeDir("Hidden");
  tree.MakeDir("System");
  ASSERT_TRUE(SetFileAttributesA((tree / "Hidden").c_str(), FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(SetFileAttributesA((tree / "System").c_str(), FILE_ATTRIBUTE_SYSTEM));
  kdx::platform::SetCurrentDir(tree.Path());

  DirectoryList list;
  list.Open();
  const std::string dir = tree.Path();
  ASSERT_GE(dir.size(), 3u);
  EXPECT_EQ(list.Drive(), dir.substr(0, 2));
  EXPECT_EQ(list.Items()[0].text, dir.substr(0, 3));  // "C:\"
  EXPECT_EQ(list.ItemPath(0), dir.substr(0, 3));
  const size_t current = list.CurrentItemIndex();
  ASSERT_EQ(list.Items().size(), current + 3);  // Alpha, beta; no Hidden, no System
  EXPECT_EQ(list.Items()[current + 1].text, "Alpha");
  EXPECT_EQ(list.Items()[current + 2].text, "beta");
  EXPECT_EQ(list.ItemPath(current + 1), tree / "Alpha");

  // Names compare without case on Windows volumes: the same folder in other letters is no change.
  int changes = 0;
  list.onChange = [&] { ++changes; };
  list.SetDirectory(tree / "alpha");
  EXPECT_EQ(changes, 1);
  list.SetDirectory(tree / "ALPHA");
  EXPECT_EQ(changes, 1);
  list.SetDirectory(list.ItemPath(0));
  EXPECT_EQ(list.Directory(), dir.substr(0, 3));
  EXPECT_EQ(list.CurrentItemIndex(), 0u);
  EXPECT_THROW(list.SetDirectory(tree / "gone"), kdx::EOSError);
}

TEST(WindowsDriveList, TheSystemDriveIsListedAndSelected) {
  const auto volumes = kdx::platform::ListVolumes();
  ASSERT_FALSE(volumes.empty());
  for (const auto& v : volumes) {
    ASSERT_EQ(v.root.size(), 3u);
    EXPECT_EQ(v.root.substr(1), ":\\");
  }
  kdx::test::TempDir tree;
  kdx::platform::SetCurrentDir(tree.Path());
  DirectoryList dirs;
  DriveList drives;
  drives.Build(volumes);
  drives.LinkDirectoryList(&dirs);
  dirs.Open();
  drives.SelectRoot(dirs.DriveRoot());
  ASSERT_GE(drives.SelectedIndex(), 0);
  const std::string text = drives.Items()[drives.SelectedIndex()].text;
  EXPECT_EQ(text.substr(0, 2), kdx::picker::LowerCaseCp1250(tree.Path().substr(0, 2)));
}

#endif  // _WIN32
