// The wait for the mail client's compose window, on a real X display (run under xvfb-run with
// two screens): bare, and with a window manager (openbox) that reparents every client window
// into a frame of its own, as every desktop does. The desktop's mail client is a stand-in
// (stand_in_client.cpp) started by xdg-email; it keeps running after it has shown its window,
// as a mail client started by xdg-email does, so the call has to come back while it runs.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <optional>
#include <thread>
#include <vector>

#include "ProviderTestSupport.h"

extern char** environ;

namespace {

using namespace kdx::provider::test;

// The longest the call may take for a client that shows no window it can be matched by; the
// stand-in clients below live longer than that.
constexpr int kLongLifeMs = 40000;
// Shorter than that bound: a call that only comes back when such a client exits has not seen
// its window.
constexpr int kShortLifeMs = 10000;

// True while `pid` runs (not ended, not a zombie).
bool Running(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return false;
  const auto paren = line.rfind(')');
  return paren != std::string::npos && paren + 2 < line.size() && line[paren + 2] != 'Z';
}

// True once a window manager manages the windows of `display`'s screen: a window mapped there
// is put into a frame of the manager's (announcing itself is not enough: a window mapped before
// the manager takes the screen stays a child of the root window for a while).
bool WindowManagerManages(const std::string& display) {
  int screenNumber = 0;
  xcb_connection_t* c = xcb_connect(display.c_str(), &screenNumber);
  bool framed = false;
  if (!xcb_connection_has_error(c)) {
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && it.rem; ++i) xcb_screen_next(&it);
    const xcb_window_t w = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, w, it.data->root, 0, 0, 10, 10, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, it.data->root_visual, 0, nullptr);
    xcb_map_window(c, w);
    xcb_flush(c);
    for (int i = 0; i < 20 && !framed; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c, xcb_query_tree(c, w), nullptr);
      framed = tree && tree->parent != it.data->root;
      std::free(tree);
    }
    xcb_destroy_window(c, w);
    xcb_flush(c);
  }
  xcb_disconnect(c);
  return framed;
}

// The world of one test: the provider, a desktop whose mailto: handler is the stand-in client,
// and, when asked for, a window manager on the screen in use.
class ComposeWorld {
 protected:
  ComposeWorld() {
    dir_.MakeDir("bin");
    dir_.MakeDir("data/applications");
    dir_.MakeDir("config");
    // Under the name of a mail client that takes attachments (a copy: the provider resolves
    // links as xdg-email does).
    fs::copy_file(KDX_STAND_IN_CLIENT, dir_ / "bin/evolution");
    WriteFile(dir_ / "data/applications/kdx-test-client.desktop",
              "[Desktop Entry]\nType=Application\nName=Test mailer\n"
              "Exec=evolution %u\nMimeType=x-scheme-handler/mailto;\n");
    WriteFile(dir_ / "config/mimeapps.list",
              "[Default Applications]\nx-scheme-handler/mailto=kdx-test-client.desktop\n");
  }
  ~ComposeWorld() {
    if (const pid_t client = ClientPid(); client > 0) ::kill(client, SIGKILL);
    if (windowManager_ > 0) {
      ::kill(windowManager_, SIGTERM);
      int status = 0;
      ::waitpid(windowManager_, &status, 0);
    }
  }

  // Uses screen `screen` of the test's X display, with `windowManager` ("openbox", or "bare"
  // for none) on it.
  void UseScreen(int screen, const std::string& windowManager) {
    std::string display = display_.value_or("");
    display =
        display.substr(0, display.find('.', display.find(':'))) + "." + std::to_string(screen);
    screen_.emplace("DISPLAY", display);
    if (windowManager != "openbox") return;
    char* argv[] = {const_cast<char*>("/usr/bin/openbox"), const_cast<char*>("--sm-disable"),
                    nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    // The manager finds its theme in the system's data folders, which the test's own replace.
    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) {
      if (std::strncmp(*e, "XDG_DATA_DIRS=", 14) != 0) envStrings.emplace_back(*e);
    }
    envStrings.emplace_back("XDG_DATA_DIRS=/usr/local/share:/usr/share");
    std::vector<char*> env;
    for (std::string& e : envStrings) env.push_back(e.data());
    env.push_back(nullptr);
    ASSERT_EQ(posix_spawn(&windowManager_, argv[0], &actions, nullptr, argv, env.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    bool manages = false;
    for (int i = 0; i < 20 && !manages; ++i) manages = WindowManagerManages(display);
    ASSERT_TRUE(manages) << "openbox does not manage the windows of " << display;
  }

  // The provider's answer to a message for the compose window, and whether the client still ran
  // when the answer came.
  struct Outcome {
    KdxMapiUlong result;
    bool clientRunning;
  };
  Outcome Compose() {
    std::string name = "a@example.test";
    std::string address = "SMTP:a@example.test";
    std::string subject = "subject";
    std::string body;
    MapiRecipDesc recip{0, MAPI_TO, name.data(), address.data(), 0, nullptr};
    MapiMessage message{};
    message.lpszSubject = subject.data();
    message.lpszNoteText = body.data();
    message.nRecipCount = 1;
    message.lpRecips = &recip;
    const KdxMapiUlong result = provider_.Send(&message, MAPI_LOGON_UI | MAPI_DIALOG);
    const pid_t client = ClientPid();
    return {result, client > 0 && Running(client)};
  }

  // A client that shows no window the watcher can match and lives long: the call comes back
  // while it runs. One that fails within the bound: the failure is the answer.
  void ExpectAWindowlessClientBoundedAndItsFailureReported() {
    ScopedEnv noWindow("KDX_TEST_CLIENT_WINDOW", "none");
    {
      ScopedEnv life("KDX_TEST_CLIENT_LIFE", std::to_string(kLongLifeMs));
      const Outcome o = Compose();
      EXPECT_EQ(o.result, 0u);
      EXPECT_TRUE(o.clientRunning) << "the call waited for the client to quit";
    }
    // (Only a client that started: kill(0) would end this whole process group.)
    if (const pid_t client = ClientPid(); client > 0) ::kill(client, SIGKILL);
    fs::remove(dir_ / "record");
    ScopedEnv life("KDX_TEST_CLIENT_LIFE", "1500");
    ScopedEnv failing("KDX_TEST_CLIENT_STATUS", "1");
    EXPECT_EQ(Compose().result, static_cast<KdxMapiUlong>(MAPI_E_FAILURE));
  }

  // The stand-in client's process id from its record; 0 before it has started.
  pid_t ClientPid() const {
    const std::string record = ReadFile(dir_ / "record");
    const auto at = record.find("pid ");
    return at == std::string::npos ? 0 : std::atoi(record.c_str() + at + 4);
  }

  TempDir dir_;
  std::optional<std::string> display_ = kdx::test::GetEnv("DISPLAY");
  std::optional<ScopedEnv> screen_;
  BareDesktop desktop_{dir_};
  ScopedEnv wayland_{"WAYLAND_DISPLAY", std::nullopt};
  ScopedEnv window_{"KDX_TEST_CLIENT_WINDOW", "compose"};
  ScopedEnv pid_{"KDX_TEST_CLIENT_PID", "own"};
  ScopedEnv life_{"KDX_TEST_CLIENT_LIFE", std::to_string(kShortLifeMs)};
  ScopedEnv status_{"KDX_TEST_CLIENT_STATUS", "0"};
  pid_t windowManager_ = -1;
  Provider provider_;
};

class ComposeWaitTest : public ComposeWorld, public ::testing::TestWithParam<std::string> {
 protected:
  void UseScreen(int screen) { ComposeWorld::UseScreen(screen, GetParam()); }
};

TEST_P(ComposeWaitTest, TheComposeWindowEndsTheWaitWhileTheClientRuns) {
  UseScreen(0);
  const Outcome o = Compose();
  EXPECT_EQ(o.result, 0u);
  EXPECT_TRUE(o.clientRunning) << "the call came back only when the client had ended";
  EXPECT_EQ(ReadFile(dir_ / "record").rfind("mailto:", 0), 0u) << ReadFile(dir_ / "record");
}

// A sandboxed client's window carries a process id of its own namespace: a compose window that
// was not there before the hand-off ends the wait whatever process it names.
TEST_P(ComposeWaitTest, ASandboxedClientsComposeWindowEndsTheWait) {
  UseScreen(0);
  ScopedEnv foreign("KDX_TEST_CLIENT_PID", "foreign");
  const Outcome o = Compose();
  EXPECT_EQ(o.result, 0u);
  EXPECT_TRUE(o.clientRunning);
}

// DISPLAY=:n.1: the client's window is on screen 1, and so is the watcher.
TEST_P(ComposeWaitTest, TheWatcherLooksAtTheDisplaysOwnScreen) {
  UseScreen(1);
  const Outcome o = Compose();
  EXPECT_EQ(o.result, 0u);
  EXPECT_TRUE(o.clientRunning);
}

// A client that runs but shows no window the watcher can match (a Wayland-native client on an
// X display) does not hold the program until it quits; one that fails within the bound is still
// a failure.
TEST_P(ComposeWaitTest, AClientWithoutAWindowIsBoundedAndItsFailureReported) {
  UseScreen(0);
  ExpectAWindowlessClientBoundedAndItsFailureReported();
}

INSTANTIATE_TEST_SUITE_P(Desktops, ComposeWaitTest, ::testing::Values("bare", "openbox"),
                         [](const auto& info) { return info.param; });

// A Wayland session without an X display: nothing to watch, the same bound and the same report
// of a failure.
class ComposeWithoutXTest : public ComposeWorld, public ::testing::Test {
 protected:
  ScopedEnv noDisplay_{"DISPLAY", std::nullopt};
  ScopedEnv waylandSession_{"WAYLAND_DISPLAY", "wayland-kdx-test"};
};

TEST_F(ComposeWithoutXTest, AClientIsBoundedAndItsFailureReported) {
  ExpectAWindowlessClientBoundedAndItsFailureReported();
}

}  // namespace
