// Waiting for xdg-email while it hands the message to the desktop's mail client.
//
// Most routes of xdg-email return as soon as the client has the message. Some run the client
// itself in the foreground: a Thunderbird that is not running yet, started with -compose, only
// returns when the user quits Thunderbird. So besides xdg-email's exit the wait watches the X
// display for the client's windows: a window of a process started by xdg-email whose role or
// class names a compose window ends the wait at once; any other window of theirs ends it once it
// has been shown for eight seconds. xdg-email then goes on in the background and is reaped when
// it ends. Without an X display only xdg-email's exit ends the wait.

#include <dirent.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <thread>

#include "Provider.h"

namespace kdx::provider {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPollInterval = std::chrono::milliseconds(100);
constexpr auto kSettleTime = std::chrono::seconds(8);

// `root` and every process descending from it, from the parent links in /proc.
std::set<pid_t> ProcessTree(pid_t root) {
  std::multimap<pid_t, pid_t> children;
  if (DIR* proc = ::opendir("/proc")) {
    while (dirent* entry = ::readdir(proc)) {
      char* end = nullptr;
      const long pid = std::strtol(entry->d_name, &end, 10);
      if (pid <= 0 || *end) continue;
      std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
      std::string line;
      std::getline(stat, line);
      const auto paren = line.rfind(')');
      if (paren == std::string::npos) continue;
      char state = 0;
      long parent = 0;
      if (std::sscanf(line.c_str() + paren + 1, " %c %ld", &state, &parent) == 2) {
        children.emplace(static_cast<pid_t>(parent), static_cast<pid_t>(pid));
      }
    }
    ::closedir(proc);
  }
  std::set<pid_t> tree{root};
  std::vector<pid_t> pending{root};
  while (!pending.empty()) {
    const pid_t p = pending.back();
    pending.pop_back();
    for (auto [it, end] = children.equal_range(p); it != end; ++it) {
      if (tree.insert(it->second).second) pending.push_back(it->second);
    }
  }
  return tree;
}

std::string LowerCase(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// The top-level windows of an X display, seen through XCB.
class Display {
 public:
  Display() {
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) return;
    connection_ = xcb_connect(name, nullptr);
    if (xcb_connection_has_error(connection_)) {
      xcb_disconnect(connection_);
      connection_ = nullptr;
      return;
    }
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    pidAtom_ = Atom("_NET_WM_PID");
    roleAtom_ = Atom("WM_WINDOW_ROLE");
  }
  ~Display() {
    if (connection_) xcb_disconnect(connection_);
  }
  Display(const Display&) = delete;
  Display& operator=(const Display&) = delete;

  explicit operator bool() const { return connection_ != nullptr; }

  struct Window {
    xcb_window_t id;
    bool composeWindow;  // its role or class names a compose window
  };

  // The viewable top-level windows whose process is in `processes`.
  std::vector<Window> ShownWindows(const std::set<pid_t>& processes) {
    std::vector<Window> found;
    xcb_query_tree_reply_t* tree =
        xcb_query_tree_reply(connection_, xcb_query_tree(connection_, root_), nullptr);
    if (!tree) return found;
    const xcb_window_t* windows = xcb_query_tree_children(tree);
    const int count = xcb_query_tree_children_length(tree);
    for (int i = 0; i < count; ++i) {
      const xcb_window_t w = windows[i];
      xcb_get_window_attributes_reply_t* attributes = xcb_get_window_attributes_reply(
          connection_, xcb_get_window_attributes(connection_, w), nullptr);
      const bool viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
      std::free(attributes);
      if (!viewable) continue;
      const std::string pid = Property(w, pidAtom_, XCB_ATOM_CARDINAL);
      if (pid.size() != 4) continue;
      std::uint32_t value = 0;
      std::memcpy(&value, pid.data(), 4);
      if (!processes.count(static_cast<pid_t>(value))) continue;
      const std::string names = LowerCase(Property(w, roleAtom_, XCB_ATOM_STRING) + " " +
                                          Property(w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING));
      found.push_back({w, names.find("compose") != std::string::npos});
    }
    std::free(tree);
    return found;
  }

 private:
  xcb_atom_t Atom(const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection_, xcb_intern_atom(connection_, 0, std::strlen(name), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return atom;
  }

  std::string Property(xcb_window_t window, xcb_atom_t property, xcb_atom_t type) {
    if (property == XCB_ATOM_NONE) return {};
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        connection_, xcb_get_property(connection_, 0, window, property, type, 0, 256), nullptr);
    std::string value;
    if (reply) {
      const auto* data = static_cast<const char*>(xcb_get_property_value(reply));
      value.assign(data, static_cast<std::size_t>(xcb_get_property_value_length(reply)));
      for (char& c : value) {
        if (c == '\0') c = ' ';  // WM_CLASS holds two texts
      }
      if (type == XCB_ATOM_CARDINAL) std::memcpy(value.data(), data, value.size());
    }
    std::free(reply);
    return value;
  }

  xcb_connection_t* connection_ = nullptr;
  xcb_window_t root_ = 0;
  xcb_atom_t pidAtom_ = XCB_ATOM_NONE;
  xcb_atom_t roleAtom_ = XCB_ATOM_NONE;
};

// Exit status of `pid` when it has ended (0-255, -1 for a signal), nothing while it runs.
std::optional<int> EndedStatus(pid_t pid) {
  int status = 0;
  pid_t r;
  while ((r = ::waitpid(pid, &status, WNOHANG)) < 0 && errno == EINTR) {
  }
  if (r == 0) return std::nullopt;
  if (r < 0) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

int RunComposeHandOff(const std::vector<std::string>& argv) {
  StartedProgram started;
  if (!StartProgram(argv, false, started)) return -1;
  const pid_t pid = started.pid;
  Display display;
  if (!display) return WaitForProgram(pid);

  std::map<xcb_window_t, Clock::time_point> firstSeen;
  for (;;) {
    if (const auto status = EndedStatus(pid)) return *status;
    const auto now = Clock::now();
    bool taken = false;
    for (const Display::Window& w : display.ShownWindows(ProcessTree(pid))) {
      const auto seen = firstSeen.emplace(w.id, now).first->second;
      taken |= w.composeWindow || now - seen >= kSettleTime;
    }
    if (taken) {
      // The client has the message and keeps running; xdg-email ends with it.
      std::thread([pid] { WaitForProgram(pid); }).detach();
      return 0;
    }
    std::this_thread::sleep_for(kPollInterval);
  }
}

}  // namespace kdx::provider
