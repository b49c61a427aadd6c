// Windows backend of Files.h: wide calls on UTF-8 paths.
#include <windows.h>

#include "WideText.h"
#include "kdx/platform/Errors.h"
#include "kdx/platform/Files.h"

namespace kdx::platform {

namespace {

[[noreturn]] void RaiseLastError(const std::string& what) {
  const DWORD code = GetLastError();
  throw EOSError(what + ": system error " + std::to_string(code), code);
}

std::wstring FolderOf(const std::wstring& path) {
  const auto pos = path.find_last_of(L"\\/:");
  if (pos == std::wstring::npos) return L".";
  return path.substr(0, pos + 1);
}

bool Identity(const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
  HANDLE h = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const BOOL ok = GetFileInformationByHandle(h, &info);
  CloseHandle(h);
  return ok != FALSE;
}

}  // namespace

bool FileExists(const std::string& path) {
  if (path.empty()) return false;
  const DWORD a = GetFileAttributesW(Wide(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
  if (path.empty()) return false;
  const DWORD a = GetFileAttributesW(Wide(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool SameFile(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  BY_HANDLE_FILE_INFORMATION ia{}, ib{};
  if (!Identity(Wide(a), ia) || !Identity(Wide(b), ib)) return false;
  return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
         ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

bool IsReadOnlyFile(const std::string& path) {
  if (path.empty()) return false;
  const DWORD a = GetFileAttributesW(Wide(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY) &&
         (a & FILE_ATTRIBUTE_READONLY);
}

void CopyFileReplacing(const std::string& source, const std::string& target) {
  const std::wstring src = Wide(source), dst = Wide(target);
  // As CopyFile over a read-only file: a target the user may not write is refused, even where
  // renaming over it would be allowed (Wine allows it).
  if (IsReadOnlyFile(target)) {
    SetLastError(ERROR_ACCESS_DENIED);
    RaiseLastError("copy to " + target);
  }
  wchar_t temp[MAX_PATH + 1] = {};
  if (!GetTempFileNameW(FolderOf(dst).c_str(), L"kdx", 0, temp)) RaiseLastError("temp " + target);
  if (!CopyFileW(src.c_str(), temp, FALSE)) {
    DeleteFileW(temp);
    RaiseLastError("copy " + source);
  }
  if (!MoveFileExW(temp, dst.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileW(temp);
    RaiseLastError("rename to " + target);
  }
}

void RemoveFile(const std::string& path) {
  if (!DeleteFileW(Wide(path).c_str())) RaiseLastError("delete " + path);
}

std::string ExecutablePath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) RaiseLastError("GetModuleFileName");
    if (n < buffer.size()) {
      buffer.resize(n);
      return Utf8(buffer);
    }
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace kdx::platform
