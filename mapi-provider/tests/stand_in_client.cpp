// A stand-in mail client for the compose wait: started by xdg-email as the desktop's mailto:
// handler, it records its arguments and process id, maps (or does not map) a window the way a
// mail client does, and runs for a while. Its behaviour comes from the environment:
//   KDX_TEST_RECORD          file that receives the arguments (one per line) and "pid <n>"
//   KDX_TEST_CLIENT_WINDOW   "compose" (role Msgcompose), "main" (role 3pane) or "none"
//   KDX_TEST_CLIENT_PID      "own" (default) or "foreign": the _NET_WM_PID the window carries
//                            (a sandboxed client's process ids are not the host's)
//   KDX_TEST_CLIENT_LIFE     milliseconds to run before exiting (default 30000)
//   KDX_TEST_CLIENT_STATUS   exit status (default 0)

#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

namespace {

std::string Env(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value && *value ? value : fallback;
}

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
  xcb_intern_atom_reply_t* reply =
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr);
  const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
  std::free(reply);
  return atom;
}

void SetText(xcb_connection_t* c, xcb_window_t w, xcb_atom_t property, const std::string& text) {
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, property, XCB_ATOM_STRING, 8,
                      static_cast<std::uint32_t>(text.size()), text.data());
}

}  // namespace

int main(int argc, char** argv) {
  {
    std::ofstream record(Env("KDX_TEST_RECORD", "/dev/null"));
    for (int i = 1; i < argc; ++i) record << argv[i] << '\n';
    record << "pid " << ::getpid() << '\n';
  }
  const std::string kind = Env("KDX_TEST_CLIENT_WINDOW", "compose");
  xcb_connection_t* c = nullptr;
  if (kind != "none") {
    int screenNumber = 0;
    c = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(c)) return 70;
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && it.rem; ++i) xcb_screen_next(&it);
    const xcb_window_t w = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, w, it.data->root, 40, 40, 320, 200, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, it.data->root_visual, 0, nullptr);
    const bool compose = kind == "compose";
    SetText(c, w, Atom(c, "WM_WINDOW_ROLE"), compose ? "Msgcompose" : "3pane");
    SetText(c, w, XCB_ATOM_WM_CLASS, std::string(compose ? "Msgcompose" : "Mail") + '\0' + "Mail");
    SetText(c, w, XCB_ATOM_WM_NAME, compose ? "Write: (no subject)" : "Inbox");
    std::uint32_t pid = static_cast<std::uint32_t>(::getpid());
    if (Env("KDX_TEST_CLIENT_PID", "own") == "foreign") pid = 1;
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, Atom(c, "_NET_WM_PID"), XCB_ATOM_CARDINAL, 32,
                        1, &pid);
    xcb_map_window(c, w);
    xcb_flush(c);
  }
  std::this_thread::sleep_for(
      std::chrono::milliseconds(std::atoi(Env("KDX_TEST_CLIENT_LIFE", "30000").c_str())));
  if (c) xcb_disconnect(c);
  return std::atoi(Env("KDX_TEST_CLIENT_STATUS", "0").c_str());
}
