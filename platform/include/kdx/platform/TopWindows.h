#pragma once
// The top-level windows of the desktop, with the facts the mail hand-off needs to pick the
// program's main window as the owner of the mail client's dialogs.
//
// Windows (src/win32): EnumWindows, GetWindowThreadProcessId, IsWindowVisible, GetWindowLongA
// with GWL_HWNDPARENT and GWL_EXSTYLE, GetDesktopWindow.
// POSIX (src/posix): this layer cannot see the toolkit's windows, so the Qt application installs
// a provider at start-up (SetTopWindowProvider) that lists its own top-level windows; without a
// provider the list is empty.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kdx::platform {

// A native window handle (HWND on Windows, the toolkit's window id on POSIX); 0 is no window.
using WindowHandle = std::uintptr_t;

// Extended window style bits the rule looks at.
inline constexpr std::uint32_t kWsExToolWindow = 0x80;
inline constexpr std::uint32_t kWsExAppWindow = 0x40000;

struct TopWindowInfo {
  WindowHandle handle = 0;
  unsigned long processId = 0;  // the process that owns the window
  bool visible = false;         // IsWindowVisible
  WindowHandle owner = 0;       // GWL_HWNDPARENT: the owner window, 0 for none
  std::uint32_t exStyle = 0;    // GWL_EXSTYLE: kWsExToolWindow, kWsExAppWindow, ...
};

// The top-level windows in the platform's enumeration order (Windows: z-order, top first).
std::vector<TopWindowInfo> ListTopWindows();

// The desktop window (GetDesktopWindow); 0 on POSIX.
WindowHandle DesktopWindow();

// Sets the caption the window system shows for a top-level window to exactly `utf8`, an empty
// caption included (the toolkit would show the application's name for an empty title). Windows:
// SetWindowTextW. POSIX: nothing here; on X11 the folder picker clears its own caption.
void SetNativeCaption(WindowHandle window, const std::string& utf8);

// POSIX: installs the function that lists the application's top-level windows, in stacking
// order, top first (an empty function removes it). Ignored on Windows, where the system lists
// them. Call it on the user-interface thread before any mail is sent.
using TopWindowProvider = std::function<std::vector<TopWindowInfo>()>;
void SetTopWindowProvider(TopWindowProvider provider);

}  // namespace kdx::platform
