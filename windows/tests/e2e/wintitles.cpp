// Lists the top-level windows as Windows itself shows them, for the end-to-end tests under Wine:
// one line per visible top-level window, fields separated by tabs, the caption as
// GetWindowTextW returns it, written as UTF-8:
//   <handle> <owner handle> <x> <y> <width> <height> <window class> <caption> <state>
// (the rectangle is GetWindowRect's, in screen pixels; the state is "enabled" or "disabled",
// followed by ",hung" when the system takes the window for not responding, IsHungAppWindow). With
// an argument, only windows whose class begins with it are listed.

#include <windows.h>

#include <cstdio>
#include <string>

#include "kdx/platform/WideText.h"

namespace {

std::string Utf8(const wchar_t* text, int length) {
  return length > 0 ? kdx::platform::Utf8(std::wstring_view(text, length)) : std::string();
}

BOOL CALLBACK Visit(HWND window, LPARAM prefixParam) {
  if (!IsWindowVisible(window)) return TRUE;
  wchar_t className[256] = {};
  const int classLength = GetClassNameW(window, className, 256);
  const auto* prefix = reinterpret_cast<const wchar_t*>(prefixParam);
  if (prefix && wcsncmp(className, prefix, wcslen(prefix)) != 0) return TRUE;
  wchar_t caption[1024] = {};
  const int captionLength = GetWindowTextW(window, caption, 1024);
  RECT r{};
  GetWindowRect(window, &r);
  const HWND owner = GetWindow(window, GW_OWNER);
  std::printf("%llu\t%llu\t%ld\t%ld\t%ld\t%ld\t%s\t%s\t%s%s\n",
              static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window)),
              static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(owner)), r.left, r.top,
              r.right - r.left, r.bottom - r.top, Utf8(className, classLength).c_str(),
              Utf8(caption, captionLength).c_str(),
              IsWindowEnabled(window) ? "enabled" : "disabled",
              IsHungAppWindow(window) ? ",hung" : "");
  return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  EnumWindows(Visit, reinterpret_cast<LPARAM>(argc > 1 ? argv[1] : nullptr));
  std::fflush(stdout);
  return 0;
}
