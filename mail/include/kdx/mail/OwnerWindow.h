#pragma once
// The window that owns the mail client's dialogs: the program's main window.

#include "kdx/platform/TopWindows.h"

namespace kdx::mail {

// The first top-level window of process `processId` that passes IsMainApplicationWindow, in
// enumeration order; 0 when none does.
platform::WindowHandle FindMainWindowOfProcess(unsigned long processId);

// Visible, not owned (owner 0 or the desktop window), and not a tool window unless it is also
// marked as an application window.
bool IsMainApplicationWindow(const platform::TopWindowInfo& window);

}  // namespace kdx::mail
