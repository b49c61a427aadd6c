// The owner window of the mail client's dialogs, found among real top-level windows (Wine's null
// graphics driver gives the stage windows without a display): the first visible, unowned window
// of this process that is not a mere tool window, in the system's z-order.

#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "kdx/mail/MapiEmail.h"
#include "kdx/mail/OwnerWindow.h"
#include "kdx/platform/Environment.h"
#include "kdx/platform/TopWindows.h"

using namespace kdx::mail;
using namespace kdx::platform;

namespace {

// Top-level windows made for one test and destroyed afterwards.
class Windows {
 public:
  ~Windows() {
    for (auto it = made_.rbegin(); it != made_.rend(); ++it) DestroyWindow(*it);
  }
  HWND Make(DWORD exStyle, DWORD style, HWND owner = nullptr) {
    HWND w = CreateWindowExA(exStyle, "STATIC", "KDX test", style, 10, 10, 200, 100, owner, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    EXPECT_NE(w, nullptr) << "CreateWindowEx failed: " << GetLastError();
    if (w) made_.push_back(w);
    return w;
  }
  // Puts `w` on top of the z-order without activating anything.
  static void Raise(HWND w) {
    SetWindowPos(w, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }

 private:
  std::vector<HWND> made_;
};

WindowHandle H(HWND w) {
  return reinterpret_cast<WindowHandle>(w);
}

const TopWindowInfo* Find(const std::vector<TopWindowInfo>& list, HWND w) {
  auto it = std::find_if(list.begin(), list.end(), [&](const auto& i) { return i.handle == H(w); });
  return it == list.end() ? nullptr : &*it;
}

}  // namespace

TEST(Win32TopWindows, ListsRealWindowsWithTheirFacts) {
  Windows windows;
  HWND main = windows.Make(0, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  HWND tool = windows.Make(WS_EX_TOOLWINDOW, WS_POPUP | WS_VISIBLE);
  HWND owned = windows.Make(0, WS_OVERLAPPEDWINDOW | WS_VISIBLE, main);
  HWND hidden = windows.Make(0, WS_OVERLAPPEDWINDOW);
  ASSERT_TRUE(main && tool && owned && hidden);

  const auto list = ListTopWindows();
  const TopWindowInfo* m = Find(list, main);
  const TopWindowInfo* t = Find(list, tool);
  const TopWindowInfo* o = Find(list, owned);
  const TopWindowInfo* h = Find(list, hidden);
  ASSERT_TRUE(m && t && o && h);
  EXPECT_EQ(m->processId, CurrentProcessId());
  EXPECT_TRUE(m->visible);
  EXPECT_EQ(m->owner, 0u);
  EXPECT_EQ(m->exStyle & kWsExToolWindow, 0u);
  EXPECT_NE(t->exStyle & kWsExToolWindow, 0u);
  EXPECT_EQ(o->owner, H(main));
  EXPECT_FALSE(h->visible);
  EXPECT_NE(DesktopWindow(), 0u);
  EXPECT_EQ(DesktopWindow(), H(GetDesktopWindow()));
}

TEST(Win32TopWindows, ParentWindowIsTheFirstMainWindowInZOrder) {
  EXPECT_EQ(FindMainWindowOfProcess(CurrentProcessId()), 0u) << "no windows yet";
  Windows windows;
  HWND main = windows.Make(0, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  HWND appTool = windows.Make(WS_EX_TOOLWINDOW | WS_EX_APPWINDOW, WS_POPUP);
  // Above the main window: a tool window, an owned window and a hidden one, none of which may
  // own the client's dialogs.
  HWND owned = windows.Make(0, WS_OVERLAPPEDWINDOW | WS_VISIBLE, main);
  HWND hidden = windows.Make(0, WS_OVERLAPPEDWINDOW);
  HWND tool = windows.Make(WS_EX_TOOLWINDOW, WS_POPUP | WS_VISIBLE);
  for (HWND w : {main, owned, hidden, tool}) Windows::Raise(w);

  TMapiEmail mail;
  EXPECT_EQ(FindMainWindowOfProcess(CurrentProcessId()), H(main));
  EXPECT_EQ(mail.ParentWindow(), H(main));
  EXPECT_EQ(FindMainWindowOfProcess(0xFFFFFFF0ul), 0u) << "a process without windows";

  // A visible tool window that is also marked as an application window qualifies.
  ShowWindow(appTool, SW_SHOWNA);
  Windows::Raise(appTool);
  EXPECT_EQ(mail.ParentWindow(), H(appTool));
  ShowWindow(appTool, SW_HIDE);
  ShowWindow(main, SW_HIDE);
  EXPECT_EQ(mail.ParentWindow(), 0u) << "only hidden, owned and tool windows are left";
}
