#pragma once
// The volumes a user can pick from, and switching to one of them.
//
// Windows: the drive letters of GetLogicalDrives, typed by GetDriveTypeA; volume labels come
// from GetVolumeInformationA with critical-error dialogs suppressed, remote names of network
// drives from WNetGetConnectionA. A removable drive is never accessed (no label is read).
//
// Linux has no drive letters. A "drive" is a mounted volume a user would pick from, read from
// /proc/self/mountinfo: the root file system, /home and the volumes below /home, /media, /mnt
// and /run/media (removable media, additional disks), network shares wherever they are
// mounted, and RAM disks mounted directly below /mnt or /media. Pseudo file systems (proc,
// sysfs, cgroup, overlay, squashfs, ...) are left out. The kind comes from the file-system type
// and from /sys (the block device's "removable" flag, sr* devices for CD-ROMs); labels come from
// the symbolic links in /dev/disk/by-label. Building the list reads only /proc, /sys and /dev:
// nothing inside a mounted medium is touched. The root of a volume is its mount point with a
// trailing "/" ("/", "/home/", "/media/petr/USB/"), just as a drive root is "C:\".

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kdx::platform {

// The kind of a drive, which chooses its glyph in the drive list.
enum class DriveKind { Removable, Fixed, Network, CdRom, RamDisk };

struct VolumeInfo {
  std::string root;  // "C:\" or "/media/petr/USB/": always ends with the separator
  DriveKind kind = DriveKind::Fixed;
  std::string label;       // the volume label; empty when there is none or it was not read
  std::string remoteName;  // network drives: "\\server\share" or "//server/share"; else empty
};

// The volumes, Windows: in letter order "a" to "z" (unknown types and drives without a root
// directory left out); Linux: "/" first, then by mount point. Never raises: a volume whose
// details cannot be read is listed with what is known.
std::vector<VolumeInfo> ListVolumes();

// Makes the volume whose root is `root` current and returns the new current directory.
// Windows: the drive's own current directory, which the system remembers per drive (the root
// when there is none). Linux: the mount point itself. Raises EOSError when the volume cannot be
// made current (a drive without a medium, a mount point we may not enter).
std::string EnterVolume(const std::string& root);

// --- Linux mount table (pure text functions; used by the POSIX backend, tested anywhere) ------

// One line of /proc/self/mountinfo.
struct MountEntry {
  std::string mountPoint;  // octal escapes (\040 ...) decoded
  std::string fsType;      // "ext4", "nfs4", "fuse.sshfs", ...
  std::string source;      // "/dev/sdb1", "//server/share", "server:/export", ...
  unsigned major = 0;
  unsigned minor = 0;
};

// Parses the text of /proc/self/mountinfo. Lines that do not have the expected fields are
// skipped. When one mount point appears more than once the last (topmost) mount wins.
std::vector<MountEntry> ParseMountInfo(std::string_view text);

// What the classification needs to know about the machine besides the mount table.
struct MountFacts {
  // The "removable" flag of the whole disk holding block device major:minor.
  std::function<bool(unsigned major, unsigned minor)> isRemovable;
  // The label of block device `source` ("/dev/sdb1"), empty when it has none.
  std::function<std::string(const std::string& source)> labelOf;
};

// Chooses and types the volumes a user would pick from, as described at the top of this file.
// "/" is always first, the others follow sorted by mount point.
std::vector<VolumeInfo> ClassifyMounts(const std::vector<MountEntry>& mounts,
                                       const MountFacts& facts);

// Decodes the escapes of /dev/disk/by-label names ("My\x20Disk" -> "My Disk").
std::string DecodeLabelName(std::string_view name);

}  // namespace kdx::platform
