// Windows backend of Shell.h: ShellExecuteA "open" with the desktop window as owner; the file
// shown selected in its folder by SHOpenFolderAndSelectItems.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include "WideText.h"
#include "kdx/platform/Shell.h"

namespace kdx::platform {

bool ShellOpen(const std::string& target) {
  const HINSTANCE result =
      ShellExecuteA(GetDesktopWindow(), "open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

bool ShowFileInFolder(const std::string& path) {
  std::wstring file = Wide(path);
  for (wchar_t& c : file) {
    if (c == L'/') c = L'\\';
  }
  // The shell's folder windows are COM objects; the call needs COM on this thread (already
  // initialised is fine: S_FALSE, balanced all the same).
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  bool shown = false;
  if (PIDLIST_ABSOLUTE item = ILCreateFromPathW(file.c_str())) {
    shown = SUCCEEDED(SHOpenFolderAndSelectItems(item, 0, nullptr, 0));
    ILFree(item);
  }
  if (SUCCEEDED(com)) CoUninitialize();
  if (shown) return true;
  const std::size_t slash = file.rfind(L'\\');
  if (slash == std::wstring::npos) return false;
  const std::wstring folder =
      file.substr(0, slash == 2 ? 3 : slash);  // a drive root keeps its backslash
  const HINSTANCE result =
      ShellExecuteW(GetDesktopWindow(), L"open", folder.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

}  // namespace kdx::platform
