// Existence by directory search and full-path expansion on Windows.

#include <windows.h>

#include <vector>

#include "kdx/platform/PathSearch.h"
#include "kdx/platform/WideText.h"

namespace kdx::platform {

bool FileExistsBySearch(const std::string& path) {
  if (path.empty()) return false;
  // A search pattern with wildcards would find other entries; no entry can be named so.
  if (path.find_first_of("*?") != std::string::npos) return false;
  const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS);
  WIN32_FIND_DATAW data;
  HANDLE handle = FindFirstFileW(Wide(path).c_str(), &data);
  const bool found = handle != INVALID_HANDLE_VALUE;
  if (found) FindClose(handle);
  SetErrorMode(previous);
  return found;
}

std::string ExpandFullPath(const std::string& path) {
  if (path.empty()) return path;
  const std::wstring wide = Wide(path);
  const DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return path;
  std::vector<wchar_t> buffer(needed + 1, L'\0');
  const DWORD n = GetFullPathNameW(wide.c_str(), needed + 1, buffer.data(), nullptr);
  if (n == 0 || n > needed) return path;
  return Utf8(std::wstring(buffer.data(), n));
}

}  // namespace kdx::platform
