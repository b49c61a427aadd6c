// Drives on Windows: GetLogicalDrives, GetDriveTypeA, GetVolumeInformationA (with critical-error
// boxes suppressed) and WNetGetConnectionA. A removable drive is never accessed.

#include <windows.h>
#include <winnetwk.h>

#include "kdx/platform/Directory.h"
#include "kdx/platform/Volumes.h"

namespace kdx::fs {

namespace {

std::string VolumeLabel(const std::string& root) {
  char label[MAX_PATH + 1] = {};
  DWORD serial = 0, maxName = 0, flags = 0;
  const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS);
  const BOOL ok = GetVolumeInformationA(root.c_str(), label, sizeof label, &serial, &maxName,
                                        &flags, nullptr, 0);
  SetErrorMode(previous);
  return ok ? std::string(label) : std::string();
}

std::string RemoteName(char letter) {
  const char local[3] = {letter, ':', '\0'};
  char remote[MAX_PATH + 1] = {};
  DWORD size = sizeof remote;
  if (WNetGetConnectionA(local, remote, &size) != NO_ERROR) return {};
  return remote;
}

}  // namespace

std::vector<VolumeInfo> ListVolumes() {
  std::vector<VolumeInfo> result;
  const DWORD present = GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if (!(present & (1u << i))) continue;
    const char letter = static_cast<char>('A' + i);
    VolumeInfo v;
    v.root = std::string(1, letter) + ":\\";
    switch (GetDriveTypeA(v.root.c_str())) {
      case DRIVE_REMOVABLE:
        v.kind = DriveKind::Removable;
        result.push_back(v);  // no access to the medium
        continue;
      case DRIVE_FIXED:
        v.kind = DriveKind::Fixed;
        break;
      case DRIVE_REMOTE:
        v.kind = DriveKind::Network;
        break;
      case DRIVE_CDROM:
        v.kind = DriveKind::CdRom;
        break;
      case DRIVE_RAMDISK:
        v.kind = DriveKind::RamDisk;
        break;
      default:
        continue;  // unknown type, or no root directory
    }
    if (v.kind == DriveKind::Network) v.remoteName = RemoteName(letter);
    if (v.kind != DriveKind::Network || v.remoteName.empty()) v.label = VolumeLabel(v.root);
    result.push_back(v);
  }
  return result;
}

std::string EnterVolume(const std::string& root) {
  // "X:" alone names the drive's own current directory, which the system remembers per drive.
  std::string drive = root.substr(0, 2);
  char full[MAX_PATH + 1] = {};
  const DWORD n = GetFullPathNameA(drive.c_str(), sizeof full, full, nullptr);
  SetCurrentDir(n > 0 && n < sizeof full ? std::string(full) : root);
  return GetCurrentDir();
}

}  // namespace kdx::fs
