// Windows backend of Shell.h: ShellExecuteA "open" with the desktop window as owner; the file
// shown selected in its folder by SHOpenFolderAndSelectItems.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include "kdx/platform/Shell.h"
#include "kdx/platform/WideText.h"

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
  // Where the shell offers no folder window to ask (Wine's has none), its file manager's own
  // command line does the same: "explorer.exe /select,<path>".
  const std::wstring select = L"/select,\"" + file + L"\"";
  const HINSTANCE result = ShellExecuteW(GetDesktopWindow(), L"open", L"explorer.exe",
                                         select.c_str(), nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

}  // namespace kdx::platform
