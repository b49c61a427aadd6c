#pragma once
// The Qt side of the platform's top-window listing (kdx/platform/TopWindows.h): on POSIX the
// mail hand-off finds the program's main window among the windows listed here.

namespace kdx::app {

// Installs a provider listing the application's top-level windows (the active one first).
void InstallTopWindowProvider();

}  // namespace kdx::app
