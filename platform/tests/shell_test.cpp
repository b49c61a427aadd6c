#include <gtest/gtest.h>

#ifndef _WIN32
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>

#include "kdx/platform/Shell.h"

namespace fs = std::filesystem;

// A stand-in opener in PATH records its arguments, one per line, so the test sees exactly what
// the shell-open call handed over.
TEST(ShellOpen, HandsTheStringUnchangedToTheOpenerWithoutAShell) {
  std::random_device rd;
  const fs::path dir = fs::temp_directory_path() / ("kdx-shell-" + std::to_string(rd()));
  fs::create_directories(dir);
  const fs::path log = dir / "args.txt";
  {
    std::ofstream script(dir / "xdg-open");
    script << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" << log.string()
           << ".tmp'\nmv '" << log.string() << ".tmp' '" << log.string() << "'\n";
  }
  fs::permissions(dir / "xdg-open", fs::perms::owner_all);
  const std::string oldPath = getenv("PATH") ? getenv("PATH") : "";
  setenv("PATH", (dir.string() + ":" + oldPath).c_str(), 1);

  // Blanks, quotes, $() and ; would be interpreted by a command interpreter; cp1250 "č" arrives
  // as UTF-8.
  const std::string target = "mailto:a b@c.cz?Subject=$(touch x); 'q' \"d\" \xE8";
  const bool started = kdx::shell::ShellOpen(target);
  setenv("PATH", oldPath.c_str(), 1);
  ASSERT_TRUE(started);

  for (int i = 0; i < 200 && !fs::exists(log); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  std::ifstream in(log);
  const std::string got{std::istreambuf_iterator<char>(in), {}};
  EXPECT_EQ(got, "mailto:a b@c.cz?Subject=$(touch x); 'q' \"d\" \xC4\x8D\n");
  fs::remove_all(dir);
}

TEST(ShellOpen, ReportsAMissingOpener) {
  const std::string oldPath = getenv("PATH") ? getenv("PATH") : "";
  setenv("PATH", "/nonexistent-kdx", 1);
  EXPECT_FALSE(kdx::shell::ShellOpen("http://example.cz"));
  setenv("PATH", oldPath.c_str(), 1);
}
#endif
