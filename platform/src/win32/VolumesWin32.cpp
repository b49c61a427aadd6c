// Drives on Windows: GetLogicalDrives, GetDriveTypeW, GetVolumeInformationW (with critical-error
// boxes suppressed) and WNetGetConnectionW. A removable drive is never accessed. Texts in UTF-8.

#include <windows.h>
#include <winnetwk.h>

#include "kdx/platform/Files.h"
#include "kdx/platform/Volumes.h"
#include "kdx/platform/WideText.h"

namespace kdx::platform {

namespace {

std::string VolumeLabel(const std::string& root) {
  wchar_t label[MAX_PATH + 1] = {};
  DWORD serial = 0, maxName = 0, flags = 0;
  const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS);
  const BOOL ok = GetVolumeInformationW(Wide(root).c_str(), label, MAX_PATH + 1, &serial, &maxName,
                                        &flags, nullptr, 0);
  SetErrorMode(previous);
  return ok ? Utf8(label) : std::string();
}

std::string RemoteName(char letter) {
  const wchar_t local[3] = {static_cast<wchar_t>(letter), L':', L'\0'};
  wchar_t remote[MAX_PATH + 1] = {};
  DWORD size = MAX_PATH + 1;
  if (WNetGetConnectionW(local, remote, &size) != NO_ERROR) return {};
  return Utf8(remote);
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
    switch (GetDriveTypeW(Wide(v.root).c_str())) {
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
  wchar_t full[MAX_PATH + 1] = {};
  const DWORD n = GetFullPathNameW(Wide(drive).c_str(), MAX_PATH + 1, full, nullptr);
  SetCurrentDir(n > 0 && n < MAX_PATH + 1 ? Utf8(full) : root);
  return GetCurrentDir();
}

}  // namespace kdx::platform
