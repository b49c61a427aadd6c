// Top-level windows on Windows: EnumWindows and the window queries.

#include <windows.h>

#include "kdx/platform/TopWindows.h"
#include "kdx/platform/WideText.h"

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
  SetWindowTextW(reinterpret_cast<HWND>(window), Wide(utf8).c_str());
}

}  // namespace kdx::platform
