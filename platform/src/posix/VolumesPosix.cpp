// Volumes on Linux: the mount table of /proc/self/mountinfo, typed with /sys and labelled from
// /dev/disk/by-label (see Volumes.h for which mounts are offered). Nothing below a mount point
// is touched while the list is built.

#include <limits.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "kdx/platform/Files.h"
#include "kdx/platform/Volumes.h"

namespace kdx::platform {

namespace {

std::string ReadSmallFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The "removable" flag of the disk holding a block device: for a partition the flag sits on
// its parent disk (/sys/dev/block/M:m/../removable).
bool IsRemovableDevice(unsigned major, unsigned minor) {
  const std::string base = "/sys/dev/block/" + std::to_string(major) + ":" + std::to_string(minor);
  std::error_code ec;
  const bool partition = std::filesystem::exists(base + "/partition", ec);
  const std::string flag = ReadSmallFile(base + (partition ? "/../removable" : "/removable"));
  return !flag.empty() && flag[0] == '1';
}

std::string RealPath(const std::string& path) {
  char buffer[PATH_MAX];
  return realpath(path.c_str(), buffer) ? std::string(buffer) : path;
}

// Device node -> label, from the links in /dev/disk/by-label.
std::map<std::string, std::string> ReadLabels() {
  std::map<std::string, std::string> labels;
  std::error_code ec;
  for (std::filesystem::directory_iterator it("/dev/disk/by-label", ec), end; !ec && it != end;
       it.increment(ec)) {
    labels[RealPath(it->path().string())] = DecodeLabelName(it->path().filename().string());
  }
  return labels;
}

}  // namespace

std::vector<VolumeInfo> ListVolumes() {
  const auto labels = ReadLabels();
  MountFacts facts;
  facts.isRemovable = IsRemovableDevice;
  facts.labelOf = [&labels](const std::string& source) {
    const auto it = labels.find(RealPath(source));
    return it == labels.end() ? std::string() : it->second;
  };
  return ClassifyMounts(ParseMountInfo(ReadSmallFile("/proc/self/mountinfo")), facts);
}

std::string EnterVolume(const std::string& root) {
  SetCurrentDir(root);
  return GetCurrentDir();
}

}  // namespace kdx::platform
