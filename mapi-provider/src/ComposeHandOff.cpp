// Waiting for xdg-email while it hands the message to the desktop's mail client.
//
// Most routes of xdg-email return as soon as the client has the message. Some run the client
// itself in the foreground: a Thunderbird that is not running yet, started with -compose, only
// returns when the user quits Thunderbird. So besides xdg-email's exit the wait watches the X
// display (the screen DISPLAY names) for the client's windows. The wait ends, with success, at
// the first of:
//   - a window of a process started by xdg-email whose role or class names a compose window;
//   - a compose window that was not there when the hand-off began, of whatever process (a
//     sandboxed client's windows carry process ids of its own namespace);
//   - any other window of those processes, once it has been shown for eight seconds;
//   - fifteen seconds after xdg-email started, while it still runs: the client has started and
//     has not failed, so it holds the message. A Wayland-native or sandboxed client shows no
//     window the watcher can match, and a Wayland session may have no X display to watch at all.
// xdg-email's exit before any of these ends the wait with its status, so a client that fails
// within that bound is reported. xdg-email then goes on in the background and is reaped when it
// ends.
//
// A window manager reparents every client window into a frame of its own, so the client windows
// are not the root window's children: they are read from the manager's _NET_CLIENT_LIST while
// the manager runs, or, without one, found by walking the window tree.

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
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <thread>

#include "Provider.h"

namespace kdx::provider {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPollInterval = std::chrono::milliseconds(100);
constexpr auto kSettleTime = std::chrono::seconds(8);
constexpr auto kHandOffBound = std::chrono::seconds(15);
// Below the root window, how deep the tree walk looks for client windows: a reparenting window
// manager without _NET_CLIENT_LIST puts them one to three levels down.
constexpr int kTreeDepth = 4;

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

template <typename T>
struct Freed {
  void operator()(T* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, Freed<T>>;

// The client windows of the X display's own screen, seen through XCB.
class Display {
 public:
  Display() {
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) return;
    int screenNumber = 0;
    connection_ = xcb_connect(name, &screenNumber);
    if (xcb_connection_has_error(connection_)) {
      xcb_disconnect(connection_);
      connection_ = nullptr;
      return;
    }
    // DISPLAY=:0.1 names screen 1; the client's windows are on that screen's root.
    xcb_screen_iterator_t screen = xcb_setup_roots_iterator(xcb_get_setup(connection_));
    for (int i = 0; i < screenNumber && screen.rem; ++i) xcb_screen_next(&screen);
    if (!screen.rem) {
      xcb_disconnect(connection_);
      connection_ = nullptr;
      return;
    }
    root_ = screen.data->root;
    pidAtom_ = Atom("_NET_WM_PID");
    roleAtom_ = Atom("WM_WINDOW_ROLE");
    clientListAtom_ = Atom("_NET_CLIENT_LIST");
    wmStateAtom_ = Atom("WM_STATE");
    supportingCheckAtom_ = Atom("_NET_SUPPORTING_WM_CHECK");
  }
  ~Display() {
    if (connection_) xcb_disconnect(connection_);
  }
  Display(const Display&) = delete;
  Display& operator=(const Display&) = delete;

  explicit operator bool() const { return connection_ != nullptr; }

  struct Window {
    xcb_window_t id;
    pid_t pid;           // its _NET_WM_PID; 0 when it has none
    bool composeWindow;  // its role or class names a compose window
  };

  // The client windows that are shown (viewable).
  std::vector<Window> ShownWindows() {
    const std::vector<xcb_window_t> clients = ClientWindows();
    struct Pending {
      xcb_get_window_attributes_cookie_t attributes;
      xcb_get_property_cookie_t pid, role, wmClass;
    };
    std::vector<Pending> pending;
    pending.reserve(clients.size());
    for (const xcb_window_t w : clients) {
      pending.push_back({xcb_get_window_attributes(connection_, w), PropertyRequest(w, pidAtom_),
                         PropertyRequest(w, roleAtom_), PropertyRequest(w, XCB_ATOM_WM_CLASS)});
    }
    std::vector<Window> shown;
    for (std::size_t i = 0; i < clients.size(); ++i) {
      const Reply<xcb_get_window_attributes_reply_t> attributes(
          xcb_get_window_attributes_reply(connection_, pending[i].attributes, nullptr));
      const std::string pid = PropertyValue(pending[i].pid);
      const std::string names =
          LowerCase(PropertyValue(pending[i].role) + " " + PropertyValue(pending[i].wmClass));
      if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE) continue;
      std::uint32_t value = 0;
      if (pid.size() == 4) std::memcpy(&value, pid.data(), 4);
      shown.push_back(
          {clients[i], static_cast<pid_t>(value), names.find("compose") != std::string::npos});
    }
    return shown;
  }

 private:
  // The window manager's list of the windows it manages, or, when no manager keeps one, the
  // windows found by walking the tree: those that carry a process id, a class or a window
  // manager state (the tree is not walked below them).
  std::vector<xcb_window_t> ClientWindows() {
    if (clientListAtom_ != XCB_ATOM_NONE && ManagerRuns()) {
      const Reply<xcb_get_property_reply_t> list(xcb_get_property_reply(
          connection_,
          xcb_get_property(connection_, 0, root_, clientListAtom_, XCB_ATOM_WINDOW, 0, 1 << 16),
          nullptr));
      if (list && list->type == XCB_ATOM_WINDOW && list->format == 32) {
        const auto* windows = static_cast<const xcb_window_t*>(xcb_get_property_value(list.get()));
        return {windows, windows + xcb_get_property_value_length(list.get()) / 4};
      }
    }
    std::vector<xcb_window_t> clients;
    std::vector<xcb_window_t> level{root_};
    for (int depth = 0; depth < kTreeDepth && !level.empty(); ++depth) {
      std::vector<xcb_query_tree_cookie_t> trees;
      for (const xcb_window_t w : level) trees.push_back(xcb_query_tree(connection_, w));
      std::vector<xcb_window_t> children;
      for (const xcb_query_tree_cookie_t cookie : trees) {
        const Reply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(connection_, cookie, nullptr));
        if (!tree) continue;
        const xcb_window_t* first = xcb_query_tree_children(tree.get());
        children.insert(children.end(), first, first + xcb_query_tree_children_length(tree.get()));
      }
      struct Marks {
        xcb_get_property_cookie_t pid, wmClass, state;
      };
      std::vector<Marks> marks;
      for (const xcb_window_t w : children) {
        marks.push_back({PropertyRequest(w, pidAtom_), PropertyRequest(w, XCB_ATOM_WM_CLASS),
                         PropertyRequest(w, wmStateAtom_)});
      }
      level.clear();
      for (std::size_t i = 0; i < children.size(); ++i) {
        const bool pid = !PropertyValue(marks[i].pid).empty();
        const bool wmClass = !PropertyValue(marks[i].wmClass).empty();
        const bool state = !PropertyValue(marks[i].state).empty();
        (pid || wmClass || state ? clients : level).push_back(children[i]);
      }
    }
    return clients;
  }

  // True while a window manager that follows EWMH runs: the root's _NET_SUPPORTING_WM_CHECK
  // names a window whose own _NET_SUPPORTING_WM_CHECK names itself. A manager that has ended may
  // leave its _NET_CLIENT_LIST behind, no longer kept.
  bool ManagerRuns() {
    auto checkOf = [this](xcb_window_t window) -> xcb_window_t {
      const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
          connection_,
          xcb_get_property(connection_, 0, window, supportingCheckAtom_, XCB_ATOM_WINDOW, 0, 1),
          nullptr));
      if (!reply || reply->type != XCB_ATOM_WINDOW ||
          xcb_get_property_value_length(reply.get()) != 4)
        return XCB_WINDOW_NONE;
      return *static_cast<const xcb_window_t*>(xcb_get_property_value(reply.get()));
    };
    if (supportingCheckAtom_ == XCB_ATOM_NONE) return false;
    const xcb_window_t check = checkOf(root_);
    return check != XCB_WINDOW_NONE && checkOf(check) == check;
  }

  xcb_atom_t Atom(const char* name) {
    const Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection_, xcb_intern_atom(connection_, 0, std::strlen(name), name), nullptr));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
  }

  xcb_get_property_cookie_t PropertyRequest(xcb_window_t window, xcb_atom_t property) {
    // An atom that could not be interned asks for a property no window has.
    return xcb_get_property(connection_, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 256);
  }

  // The property's bytes; text values with their zero separators (WM_CLASS holds two texts)
  // turned into blanks. Empty when the window does not have it.
  std::string PropertyValue(xcb_get_property_cookie_t cookie) {
    const Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(connection_, cookie, nullptr));
    std::string value;
    if (!reply || reply->type == XCB_ATOM_NONE) return value;
    const auto* data = static_cast<const char*>(xcb_get_property_value(reply.get()));
    value.assign(data, static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
    if (reply->format == 8) {
      for (char& c : value) {
        if (c == '\0') c = ' ';
      }
    }
    return value;
  }

  xcb_connection_t* connection_ = nullptr;
  xcb_window_t root_ = 0;
  xcb_atom_t pidAtom_ = XCB_ATOM_NONE;
  xcb_atom_t roleAtom_ = XCB_ATOM_NONE;
  xcb_atom_t clientListAtom_ = XCB_ATOM_NONE;
  xcb_atom_t wmStateAtom_ = XCB_ATOM_NONE;
  xcb_atom_t supportingCheckAtom_ = XCB_ATOM_NONE;
};

}  // namespace

int RunComposeHandOff(const std::vector<std::string>& argv) {
  Display display;
  std::set<xcb_window_t> before;
  if (display) {
    for (const Display::Window& w : display.ShownWindows()) before.insert(w.id);
  }
  StartedProgram started;
  if (!StartProgram(argv, false, started)) return -1;
  const pid_t pid = started.pid;
  const auto start = Clock::now();

  std::map<xcb_window_t, Clock::time_point> firstSeen;
  for (;;) {
    if (const auto status = EndedStatus(pid)) return *status;
    const auto now = Clock::now();
    bool taken = false;
    if (display) {
      const std::vector<Display::Window> windows = display.ShownWindows();
      // A window that was there before and has gone frees its id for another window.
      std::set<xcb_window_t> shown;
      for (const Display::Window& w : windows) shown.insert(w.id);
      for (auto it = before.begin(); it != before.end();) {
        it = shown.count(*it) ? std::next(it) : before.erase(it);
      }
      std::set<pid_t> tree;
      if (!windows.empty()) tree = ProcessTree(pid);
      for (const Display::Window& w : windows) {
        if (w.pid > 0 && tree.count(w.pid)) {
          const auto seen = firstSeen.emplace(w.id, now).first->second;
          taken |= w.composeWindow || now - seen >= kSettleTime;
        } else {
          taken |= w.composeWindow && !before.count(w.id);
        }
      }
    }
    if (!taken && now - start >= kHandOffBound) {
      std::fprintf(stderr,
                   "kdxmapi: the mail client has run for %d s without failing; it is taken to "
                   "have the message\n",
                   static_cast<int>(
                       std::chrono::duration_cast<std::chrono::seconds>(kHandOffBound).count()));
      taken = true;
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
