// The Linux mount table and the choice of the volumes shown in the drive list. Pure text
// functions, so they build (and are tested) on every platform; the POSIX backend feeds them
// /proc/self/mountinfo and the facts it reads from /sys and /dev.
//
// /proc/self/mountinfo, one mount per line (see proc(5)):
//   36 35 98:0 /mnt1 /mnt2 rw,noatime master:1 - ext3 /dev/root rw,errors=continue
//   id parent major:minor root mount-point options [optional fields...] - type source super-options
// Blanks, tabs, newlines and backslashes inside names are written as octal escapes (\040 ...).

#include <algorithm>
#include <array>
#include <cctype>
#include <map>
#include <sstream>

#include "kdx/platform/Volumes.h"

namespace kdx::platform {

namespace {

std::string DecodeOctalEscapes(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      const char a = field[i + 1], b = field[i + 2], c = field[i + 3];
      if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
        out += static_cast<char>((a - '0') * 64 + (b - '0') * 8 + (c - '0'));
        i += 3;
        continue;
      }
    }
    out += field[i];
  }
  return out;
}

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

// Number of path components of `path` below `base` ("/mnt/a/b" below "/mnt/" is 2).
size_t DepthBelow(std::string_view path, std::string_view base) {
  if (!StartsWith(path, base)) return 0;
  std::string_view rest = path.substr(base.size());
  if (rest.empty()) return 0;
  return static_cast<size_t>(std::count(rest.begin(), rest.end(), '/')) + 1;
}

// File systems that hold no user files: kernel interfaces, container layers, images.
constexpr std::array<std::string_view, 30> kPseudoTypes = {
    "proc",        "sysfs",       "devtmpfs",      "devpts",     "cgroup",
    "cgroup2",     "securityfs",  "debugfs",       "tracefs",    "pstore",
    "bpf",         "mqueue",      "hugetlbfs",     "configfs",   "fusectl",
    "autofs",      "binfmt_misc", "efivarfs",      "rpc_pipefs", "nsfs",
    "selinuxfs",   "overlay",     "squashfs",      "nfsd",       "fuse.gvfsd-fuse",
    "fuse.portal", "fuse.lxcfs",  "fuse.snapfuse", "devfs",      "binder"};

constexpr std::array<std::string_view, 15> kNetworkTypes = {
    "nfs",       "nfs4", "cifs",       "smb3",        "smbfs", "ncpfs",       "afs",   "ceph",
    "glusterfs", "9p",   "fuse.sshfs", "fuse.rclone", "davfs", "fuse.davfs2", "lustre"};

template <size_t N>
bool OneOf(const std::array<std::string_view, N>& list, std::string_view value) {
  return std::find(list.begin(), list.end(), value) != list.end();
}

bool IsUserArea(std::string_view mp) {
  return mp == "/home" || StartsWith(mp, "/home/") || StartsWith(mp, "/media/") ||
         StartsWith(mp, "/mnt/") || StartsWith(mp, "/run/media/");
}

// A RAM disk is offered only where a person mounts one on purpose: directly below /mnt or
// /media, or below a user's folder there (/media/<user>/<name>, /run/media/<user>/<name>).
bool IsUserRamDiskPlace(std::string_view mp) {
  return DepthBelow(mp, "/mnt/") == 1 ||
         (DepthBelow(mp, "/media/") >= 1 && DepthBelow(mp, "/media/") <= 2) ||
         DepthBelow(mp, "/run/media/") == 2;
}

bool IsSystemArea(std::string_view mp) {
  for (std::string_view area : {"/proc", "/sys", "/dev", "/run", "/boot", "/snap", "/var/lib"}) {
    if (mp == area || (StartsWith(mp, area) && mp.size() > area.size() && mp[area.size()] == '/'))
      return !StartsWith(mp, "/run/media/");
  }
  return false;
}

}  // namespace

std::vector<MountEntry> ParseMountInfo(std::string_view text) {
  std::vector<MountEntry> result;
  std::map<std::string, size_t> byMountPoint;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::istringstream line{std::string(text.substr(start, end - start))};
    start = end + 1;

    std::vector<std::string> fields;
    for (std::string f; line >> f;) fields.push_back(f);
    const auto dash = std::find(fields.begin(), fields.end(), "-");
    if (fields.size() < 6 || dash == fields.end() || dash - fields.begin() < 6 ||
        fields.end() - dash < 3)
      continue;

    MountEntry entry;
    const std::string& dev = fields[2];
    const size_t colon = dev.find(':');
    if (colon == std::string::npos) continue;
    try {
      entry.major = static_cast<unsigned>(std::stoul(dev.substr(0, colon)));
      entry.minor = static_cast<unsigned>(std::stoul(dev.substr(colon + 1)));
    } catch (const std::exception&) {
      continue;
    }
    entry.mountPoint = DecodeOctalEscapes(fields[4]);
    entry.fsType = DecodeOctalEscapes(*(dash + 1));
    entry.source = DecodeOctalEscapes(*(dash + 2));

    const auto seen = byMountPoint.find(entry.mountPoint);
    if (seen != byMountPoint.end()) {
      result[seen->second] = entry;  // mounted over: the topmost mount is the visible one
    } else {
      byMountPoint.emplace(entry.mountPoint, result.size());
      result.push_back(entry);
    }
  }
  return result;
}

std::vector<VolumeInfo> ClassifyMounts(const std::vector<MountEntry>& mounts,
                                       const MountFacts& facts) {
  std::vector<VolumeInfo> result;
  bool haveRoot = false;
  for (const MountEntry& m : mounts) {
    const std::string& mp = m.mountPoint;
    if (mp.empty() || mp[0] != '/') continue;
    const bool isRoot = mp == "/";
    if (!isRoot && OneOf(kPseudoTypes, m.fsType)) continue;

    const bool blockDevice = StartsWith(m.source, "/dev/");
    const bool network = OneOf(kNetworkTypes, m.fsType);
    const bool ramDisk = m.fsType == "tmpfs" || m.fsType == "ramfs" ||
                         StartsWith(m.source, "/dev/ram") || StartsWith(m.source, "/dev/zram");
    const bool cdRom =
        m.fsType == "iso9660" || m.fsType == "udf" || StartsWith(m.source, "/dev/sr");

    if (!isRoot) {
      if (network) {
        if (IsSystemArea(mp)) continue;
      } else if (ramDisk) {
        if (!IsUserRamDiskPlace(mp)) continue;
      } else if (!IsUserArea(mp)) {
        continue;
      }
    }

    VolumeInfo v;
    v.root = isRoot ? "/" : mp + "/";
    if (network) {
      v.kind = DriveKind::Network;
      v.remoteName = m.source;
    } else if (cdRom) {
      v.kind = DriveKind::CdRom;
    } else if (ramDisk && !isRoot) {
      v.kind = DriveKind::RamDisk;
    } else if (blockDevice && facts.isRemovable && facts.isRemovable(m.major, m.minor)) {
      v.kind = DriveKind::Removable;
    } else {
      v.kind = DriveKind::Fixed;
    }
    // A removable medium is shown by its mount point alone; its label is not looked up.
    if (v.kind != DriveKind::Removable && v.kind != DriveKind::Network && blockDevice &&
        facts.labelOf)
      v.label = facts.labelOf(m.source);

    if (isRoot) {
      haveRoot = true;
      result.insert(result.begin(), v);
    } else {
      result.push_back(v);
    }
  }
  if (!haveRoot) result.insert(result.begin(), VolumeInfo{"/", DriveKind::Fixed, {}, {}});
  std::sort(result.begin() + 1, result.end(),
            [](const VolumeInfo& a, const VolumeInfo& b) { return a.root < b.root; });
  return result;
}

std::string DecodeLabelName(std::string_view name) {
  std::string out;
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x') {
      const std::string hex(name.substr(i + 2, 2));
      if (hex.size() == 2 && std::isxdigit(static_cast<unsigned char>(hex[0])) &&
          std::isxdigit(static_cast<unsigned char>(hex[1]))) {
        out += static_cast<char>(std::stoi(hex, nullptr, 16));
        i += 3;
        continue;
      }
    }
    out += name[i];
  }
  return out;
}

}  // namespace kdx::platform
