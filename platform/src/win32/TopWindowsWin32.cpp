// Top-level windows on Windows: EnumWindows and the window queries.

#include <windows.h>

#include "kdx/platform/TopWindows.h"

namespace kdx::platform {

namespace {

BOOL CALLBACK Collect(HWND window, LPARAM param) {
  auto* list = reinterpret_cast<std::vector<TopWindowInfo>*>(param);
  TopWindowInfo info;
  info.handle = reinterpret_cast<WindowHandle>(window);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  info.processId = processId;
  info.visible = IsWindowVisible(window) != FALSE;
  info.owner = static_cast<WindowHandle>(GetWindowLongPtrA(window, GWLP_HWNDPARENT));
  info.exStyle = static_cast<std::uint32_t>(GetWindowLongA(window, GWL_EXSTYLE));
  list->push_back(info);
  return TRUE;
}

}  // namespace

std::vector<TopWindowInfo> ListTopWindows() {
  std::vector<TopWindowInfo> list;
  EnumWindows(Collect, reinterpret_cast<LPARAM>(&list));
  return list;
}

WindowHandle DesktopWindow() {
  return reinterpret_cast<WindowHandle>(GetDesktopWindow());
}

void SetTopWindowProvider(TopWindowProvider) {}

void SetNativeCaption(WindowHandle window, const std::string& utf8) {
  std::wstring wide(utf8.size() + 1, L'\0');
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                    wide.data(), static_cast<int>(wide.size()));
  wide.resize(n > 0 ? static_cast<size_t>(n) : 0);
  SetWindowTextW(reinterpret_cast<HWND>(window), wide.c_str());
}

}  // namespace kdx::platform
