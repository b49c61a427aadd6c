#include "kdx/platform/Volumes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace kdx::platform;

namespace {

// A mount table as a desktop machine has it, with the pseudo file systems around the volumes.
constexpr const char* kMountInfo =
    "21 26 0:20 / /proc rw,relatime - proc proc rw\n"
    "22 26 0:21 / /sys rw,relatime shared:7 - sysfs sysfs rw\n"
    "26 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw\n"
    "27 26 8:3 / /home rw,relatime shared:2 - ext4 /dev/sda3 rw\n"
    "28 26 8:1 / /boot/efi rw,relatime - vfat /dev/sda1 rw\n"
    "29 26 0:24 / /run/user/1000 rw - tmpfs tmpfs rw\n"
    "30 26 8:17 / /media/petr/USB\\040Disk rw,nosuid - vfat /dev/sdb1 rw\n"
    "31 26 0:40 / /mnt/nas rw - cifs //nas/Share rw\n"
    "32 26 0:41 / /mnt/ram rw - tmpfs ramdisk rw\n"
    "33 26 0:42 / /mnt/sandbox/tools/env/python ro - tmpfs tools ro\n"
    "34 26 7:0 / /snap/core/1 ro - squashfs /dev/loop0 ro\n"
    "35 26 11:0 / /media/cdrom ro - iso9660 /dev/sr0 ro\n"
    "36 26 0:43 / /run/user/1000/gvfs rw - fuse.gvfsd-fuse gvfsd-fuse rw\n"
    "37 26 0:44 / /home/petr/remote rw - fuse.sshfs petr@host:/srv rw\n"
    "garbage line\n"
    "38 26 8:18 / /mnt/data rw - ext4 /dev/sdb2 rw\n"
    "39 26 8:19 / /mnt/data rw - xfs /dev/sdc1 rw\n";

}  // namespace

TEST(MountTable, ParsesFieldsDecodesEscapesAndKeepsTheTopmostMount) {
  const auto mounts = ParseMountInfo(kMountInfo);
  ASSERT_EQ(mounts.size(), 15u);  // 17 lines, one malformed, /mnt/data mounted twice
  EXPECT_EQ(mounts[2].mountPoint, "/");
  EXPECT_EQ(mounts[2].fsType, "ext4");
  EXPECT_EQ(mounts[2].source, "/dev/sda2");
  EXPECT_EQ(mounts[6].mountPoint, "/media/petr/USB Disk");
  EXPECT_EQ(mounts[6].major, 8u);
  EXPECT_EQ(mounts[6].minor, 17u);
  EXPECT_EQ(mounts.back().mountPoint, "/mnt/data");
  EXPECT_EQ(mounts.back().fsType, "xfs");
  EXPECT_TRUE(ParseMountInfo("").empty());
}

TEST(MountTable, OffersTheVolumesAUserPicksFromWithTheirKinds) {
  std::vector<std::string> labelAsked;
  MountFacts facts;
  facts.isRemovable = [](unsigned major, unsigned minor) { return major == 8 && minor >= 16; };
  facts.labelOf = [&](const std::string& source) {
    labelAsked.push_back(source);
    return source == "/dev/sda2" ? std::string("debian") : std::string();
  };
  const auto volumes = ClassifyMounts(ParseMountInfo(kMountInfo), facts);

  std::vector<std::string> roots;
  for (const auto& v : volumes) roots.push_back(v.root);
  EXPECT_EQ(roots, (std::vector<std::string>{"/", "/home/", "/home/petr/remote/", "/media/cdrom/",
                                             "/media/petr/USB Disk/", "/mnt/data/", "/mnt/nas/",
                                             "/mnt/ram/"}));
  auto find = [&](const std::string& root) {
    for (const auto& v : volumes)
      if (v.root == root) return v;
    return VolumeInfo{};
  };
  EXPECT_EQ(find("/").kind, DriveKind::Fixed);
  EXPECT_EQ(find("/").label, "debian");
  EXPECT_EQ(find("/home/petr/remote/").kind, DriveKind::Network);
  EXPECT_EQ(find("/home/petr/remote/").remoteName, "petr@host:/srv");
  EXPECT_EQ(find("/mnt/nas/").remoteName, "//nas/Share");
  EXPECT_EQ(find("/media/cdrom/").kind, DriveKind::CdRom);
  EXPECT_EQ(find("/media/petr/USB Disk/").kind, DriveKind::Removable);
  EXPECT_EQ(find("/mnt/ram/").kind, DriveKind::RamDisk);
  EXPECT_EQ(find("/mnt/data/").kind, DriveKind::Removable);  // sdc1 is 8:19 here

  // The removable medium's label is never looked up.
  for (const auto& source : labelAsked) {
    EXPECT_NE(source, "/dev/sdb1");
    EXPECT_NE(source, "/dev/sdc1");
  }
}

TEST(MountTable, TheRootIsAlwaysOffered) {
  const auto volumes = ClassifyMounts(ParseMountInfo("21 1 0:20 / /proc rw - proc proc rw\n"), {});
  ASSERT_EQ(volumes.size(), 1u);
  EXPECT_EQ(volumes[0].root, "/");
  // A container's overlay root is still the root.
  const auto overlay = ClassifyMounts(ParseMountInfo("1 0 0:50 / / rw - overlay overlay rw\n"), {});
  ASSERT_EQ(overlay.size(), 1u);
  EXPECT_EQ(overlay[0].kind, DriveKind::Fixed);
}

TEST(MountTable, LabelNamesAreDecoded) {
  EXPECT_EQ(DecodeLabelName("My\\x20Disk"), "My Disk");
  EXPECT_EQ(DecodeLabelName("A\\x2fB\\x"), "A/B\\x");
  EXPECT_EQ(DecodeLabelName("plain"), "plain");
}

#ifndef _WIN32
TEST(Volumes, ThisMachineOffersItsRoot) {
  const auto volumes = ListVolumes();
  ASSERT_FALSE(volumes.empty());
  EXPECT_EQ(volumes[0].root, "/");
  for (const auto& v : volumes) EXPECT_EQ(v.root.back(), '/') << v.root;
}
#endif
