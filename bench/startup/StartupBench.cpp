// Start-up benchmark: the time from exec() of a program to the mapping of its first top-level
// window on the X display, for KDXMngr (send mode, no table files) and for a bare Qt window of
// the same size, run alternately so that both see the same machine state.
//
//   startup_bench <KDXMngr> <bare_window> [runs]     (under an X server, e.g. xvfb-run -a)
//
// Each program is copied into a fresh temporary folder first (KDXMngr reads its table files
// from its own folder, and there are none there). Prints the median and the spread of both and
// the ratio of the medians; the target is a ratio of at most 1.3.

#include <spawn.h>
#include <sys/wait.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// Milliseconds from spawning `program` to the first MapNotify of a top-level window, or -1.
double TimeToFirstWindow(xcb_connection_t* c, xcb_window_t root, const std::string& program) {
  const uint32_t mask[] = {XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY};
  xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, mask);
  xcb_flush(c);
  while (xcb_generic_event_t* e = xcb_poll_for_event(c)) free(e);  // drop stale events

  char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
  pid_t pid = 0;
  const auto start = Clock::now();
  if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ) != 0) return -1;
  double ms = -1;
  while (xcb_generic_event_t* e = xcb_wait_for_event(c)) {
    const bool mapped = (e->response_type & 0x7f) == XCB_MAP_NOTIFY;
    free(e);
    if (mapped) {
      ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
      break;
    }
  }
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  return ms;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

std::string CopyToFreshFolder(const fs::path& program, const fs::path& tmp) {
  const fs::path folder = tmp / program.filename().concat("-dir");
  fs::create_directories(folder);
  const fs::path copy = folder / program.filename();
  fs::copy_file(program, copy, fs::copy_options::overwrite_existing);
  return copy.string();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s <KDXMngr> <bare_window> [runs]\n", argv[0]);
    return 2;
  }
  const int runs = argc > 3 ? std::atoi(argv[3]) : 15;
  int screenNumber = 0;
  xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
  if (xcb_connection_has_error(c)) {
    std::fprintf(stderr, "no X display (run under xvfb-run -a)\n");
    return 2;
  }
  xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
  for (int i = 0; i < screenNumber; ++i) xcb_screen_next(&it);
  const xcb_window_t root = it.data->root;

  const fs::path tmp = fs::temp_directory_path() / ("kdx-startup-" + std::to_string(getpid()));
  const std::string kdx = CopyToFreshFolder(fs::absolute(argv[1]), tmp);
  const std::string bare = CopyToFreshFolder(fs::absolute(argv[2]), tmp);

  // One warm-up run each (page cache, font cache), then alternate.
  TimeToFirstWindow(c, root, kdx);
  TimeToFirstWindow(c, root, bare);
  std::vector<double> kdxTimes, bareTimes;
  for (int i = 0; i < runs; ++i) {
    const double a = TimeToFirstWindow(c, root, kdx);
    const double b = TimeToFirstWindow(c, root, bare);
    if (a < 0 || b < 0) {
      std::fprintf(stderr, "a program did not show a window\n");
      return 1;
    }
    kdxTimes.push_back(a);
    bareTimes.push_back(b);
  }
  fs::remove_all(tmp);
  xcb_disconnect(c);

  const double mk = Median(kdxTimes), mb = Median(bareTimes);
  std::printf("runs: %d\n", runs);
  std::printf("KDXMngr (send mode, no tables): median %.1f ms (min %.1f, max %.1f)\n", mk,
              *std::min_element(kdxTimes.begin(), kdxTimes.end()),
              *std::max_element(kdxTimes.begin(), kdxTimes.end()));
  std::printf("bare Qt window:                 median %.1f ms (min %.1f, max %.1f)\n", mb,
              *std::min_element(bareTimes.begin(), bareTimes.end()),
              *std::max_element(bareTimes.begin(), bareTimes.end()));
  std::printf("ratio: %.2f (target: at most 1.30)\n", mk / mb);
  return 0;
}
