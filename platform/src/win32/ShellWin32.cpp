// Windows backend of Shell.h: ShellExecuteA "open" with the desktop window as owner.
#include <windows.h>
#include <shellapi.h>

#include "kdx/platform/Shell.h"

namespace kdx::platform {

bool ShellOpen(const std::string& target) {
  const HINSTANCE result =
      ShellExecuteA(GetDesktopWindow(), "open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

}  // namespace kdx::platform
