#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CoreTestSupport.h"
#include "kdx/picker/DirectoryList.h"
#include "kdx/picker/DriveList.h"
#include "kdx/platform/Errors.h"
#include "kdx/platform/Text.h"

using namespace kdx::picker;
using kdx::platform::DriveKind;
using kdx::platform::kPosixPaths;
using kdx::platform::kWindowsPaths;
using kdx::platform::VolumeInfo;

namespace {

std::vector<std::string> Texts(const std::vector<DriveItem>& items) {
  std::vector<std::string> texts;
  for (const DriveItem& item : items) texts.push_back(item.text);
  return texts;
}

}  // namespace

TEST(DriveItems, LettersLabelsAndRemoteNamesInTheDisplayCase) {
  const std::vector<VolumeInfo> volumes{
      {"A:\\", DriveKind::Removable, "", ""},
      {"C:\\", DriveKind::Fixed, "Účetnictví", ""},
      {"D:\\", DriveKind::CdRom, "", ""},
      {"R:\\", DriveKind::RamDisk, "Temp", ""},
      {"X:\\", DriveKind::Network, "Ignored", "\\\\Server\\Share"},
      {"Y:\\", DriveKind::Network, "Data", ""},
  };
  EXPECT_EQ(Texts(BuildDriveItems(volumes, kWindowsPaths, DisplayCase::Lower)),
            (std::vector<std::string>{"a:", "c: [účetnictví]", "d: []", "r: [temp]",
                                      "x: \\\\server\\share", "y: [data]"}));
  EXPECT_EQ(Texts(BuildDriveItems(volumes, kWindowsPaths, DisplayCase::Upper)),
            (std::vector<std::string>{"A:", "C: [ÚČETNICTVÍ]", "D: []", "R: [TEMP]",
                                      "X: \\\\SERVER\\SHARE", "Y: [DATA]"}));
  const auto items = BuildDriveItems(volumes, kWindowsPaths, DisplayCase::Lower);
  EXPECT_EQ(items[4].kind, DriveKind::Network);
  EXPECT_EQ(items[4].root, "X:\\");
}

// Labels are UTF-8: one that cp1250 cannot spell is shown as it is, never re-cased byte by byte.
TEST(DriveItems, ALabelOutsideCp1250KeepsItsBytes) {
  const std::vector<VolumeInfo> volumes{{"E:\\", DriveKind::Fixed, "Zálohy \xE6\x97\xA5", ""}};
  EXPECT_EQ(Texts(BuildDriveItems(volumes, kWindowsPaths, DisplayCase::Upper)),
            (std::vector<std::string>{"E: [Zálohy \xE6\x97\xA5]"}));
}

TEST(DriveItems, VolumesAreShownByTheirRootsWithoutCaseChanges) {
  const std::vector<VolumeInfo> volumes{
      {"/", DriveKind::Fixed, "Debian", ""},
      {"/home/", DriveKind::Fixed, "", ""},
      {"/media/petr/USB Disk/", DriveKind::Removable, "", ""},
      {"/mnt/nas/", DriveKind::Network, "", "//NAS/Share"},
  };
  EXPECT_EQ(Texts(BuildDriveItems(volumes, kPosixPaths, DisplayCase::Upper)),
            (std::vector<std::string>{"/ [Debian]", "/home/ []", "/media/petr/USB Disk/",
                                      "/mnt/nas/ //NAS/Share"}));
}

TEST(DriveList, SelectingADriveByLetterIgnoresCaseAndNeedsNoDirectoryList) {
  DriveList drives(kWindowsPaths);
  drives.Build({{"C:\\", DriveKind::Fixed, "", ""}, {"D:\\", DriveKind::Fixed, "", ""}});
  EXPECT_EQ(drives.SelectedIndex(), -1);
  int changes = 0;
  drives.onChange = [&] { ++changes; };
  drives.Choose(1);
  EXPECT_EQ(drives.SelectedIndex(), 1);
  EXPECT_EQ(drives.SelectedRoot(), "d:\\");  // stored in the display case
  drives.Choose(1);
  EXPECT_EQ(changes, 1);
  drives.SelectRoot("c:\\");
  EXPECT_EQ(drives.SelectedIndex(), 0);
  drives.SelectRoot("\\\\srv\\share\\");  // a network path without a letter selects nothing
  EXPECT_EQ(drives.SelectedIndex(), -1);
  EXPECT_EQ(changes, 3);
}

#ifndef _WIN32

TEST(DriveList, FollowsAndSteersTheLinkedDirectoryList) {
  kdx::test::TempDir tree;
  tree.MakeDir("vol/sub");
  tree.MakeDir("other");
  const std::string vol = (tree / "vol") + "/";
  const std::string missing = (tree / "unplugged") + "/";
  const std::vector<VolumeInfo> volumes{{"/", DriveKind::Fixed, "", ""},
                                        {vol, DriveKind::Removable, "", ""},
                                        {missing, DriveKind::Removable, "", ""}};
  kdx::platform::SetCurrentDir(tree / "other");

  DirectoryList dirs(kPosixPaths);
  DriveList drives(kPosixPaths);
  drives.Build(volumes);
  drives.LinkDirectoryList(&dirs);
  dirs.SetVolumeRoots(drives.Roots());
  dirs.Open();
  drives.Build(volumes);  // at creation the drive of the current directory is selected
  EXPECT_EQ(drives.SelectedRoot(), "/");

  // Choosing a volume moves the directory list to its mount point.
  drives.Choose(1);
  EXPECT_EQ(dirs.Directory(), vol);
  EXPECT_EQ(kdx::platform::GetCurrentDir(), tree / "vol");

  // Leaving the volume through a directory change selects the drive that now holds it.
  dirs.SetDirectory(tree / "other");
  EXPECT_EQ(drives.SelectedRoot(), "/");
  dirs.SetDirectory(tree / "vol/sub");
  EXPECT_EQ(drives.SelectedRoot(), vol);
  EXPECT_EQ(dirs.Items()[0].text, vol);

  // A volume that cannot be entered: the error reaches the caller, the directory list stays,
  // the selection returns to its drive, and choosing the volume again tries again.
  EXPECT_THROW(drives.Choose(2), kdx::EOSError);
  EXPECT_EQ(dirs.Directory(), tree / "vol/sub");
  EXPECT_EQ(drives.SelectedRoot(), vol);
  EXPECT_EQ(drives.SelectedIndex(), 1);
  EXPECT_THROW(drives.Choose(2), kdx::EOSError);
}

#endif  // !_WIN32
