#include <gtest/gtest.h>

#ifndef _WIN32
#include <chrono>
#include <filesystem>
#include <thread>

#include "CoreTestSupport.h"
#include "kdx/platform/Shell.h"

namespace fs = std::filesystem;

// Runs `open` (ShellOpen on `target` unless given) with a stand-in opener first in PATH that
// records its arguments, one per line, so the test sees exactly what the call handed over.
template <class Open>
std::string OpenerReceives(const std::string& target, Open open) {
  kdx::test::TempDir dir;
  const std::string log = dir / "args.txt";
  const std::string opener =
      dir.WriteFile("xdg-open", "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" +
                                    log + ".tmp'\nmv '" + log + ".tmp' '" + log + "'\n");
  fs::permissions(opener, fs::perms::owner_all);
  bool started = false;
  {
    kdx::test::ScopedEnv path("PATH", dir.Path() + ":" + kdx::test::GetEnv("PATH").value_or(""));
    started = open(target);
  }
  EXPECT_TRUE(started);

  for (int i = 0; started && i < 200 && !fs::exists(log); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  return kdx::test::ReadFile(log);
}

std::string OpenerReceives(const std::string& target) {
  return OpenerReceives(target, kdx::platform::ShellOpen);
}

TEST(ShellOpen, HandsTheStringUnchangedToTheOpenerWithoutAShell) {
  // Blanks, quotes, $() and ; would be interpreted by a command interpreter; cp1250 "č" arrives
  // as UTF-8.
  EXPECT_EQ(OpenerReceives("mailto:a b@c.cz?Subject=$(touch x); 'q' \"d\" \xE8"),
            "mailto:a b@c.cz?Subject=$(touch x); 'q' \"d\" \xC4\x8D\n");
}

// The about window's address is written without a scheme; the opener must get it as a web
// address, not as the name of a file (which it would open if one of that name were at hand).
TEST(ShellOpen, OpensAnAddressWithoutSchemeAsTheWindowsShellDoes) {
  EXPECT_EQ(OpenerReceives("www.kdxman.cz"), "http://www.kdxman.cz\n");
}

TEST(ShellOpen, GuessesOnlyTheSchemesOfWebAndFtpHosts) {
  using kdx::platform::OpenerArgument;
  EXPECT_EQ(OpenerArgument("WWW.Example.cz/a b"), "http://WWW.Example.cz/a b");
  EXPECT_EQ(OpenerArgument("ftp.example.cz"), "ftp://ftp.example.cz");
  // A scheme of its own, a path or another name stays as written.
  for (const char* unchanged :
       {"http://www.example.cz", "https://x", "mailto:www.x@y.cz", "file:///tmp/www.x",
        "news:www.x", "/tmp/www.x", "./www.x", "wwwx.cz", "www", "ftp", "example.cz", "", "c:www.x",
        "x+y.z:www.a"}) {
    EXPECT_EQ(OpenerArgument(unchanged), unchanged);
  }
  EXPECT_EQ(OpenerArgument("www.p\xF8\xEDklad.cz"), "http://www.p\xC5\x99\xC3\xADklad.cz");
}

// The opener is never taken from the current folder, which the folder picker moves to wherever
// the user browses, nor from a relative PATH entry; it runs in the root folder and its PATH holds
// only the absolute entries.
TEST(ShellOpen, NothingIsTakenFromTheCurrentFolder) {
  kdx::test::TempDir dir;
  const std::string browsed = dir.MakeDir("browsed/rel");
  for (const std::string name : {"browsed/xdg-open", "browsed/rel/xdg-open"}) {
    fs::permissions(dir.WriteFile(name, "#!/bin/sh\ntouch '" + dir / "planted" + "'\n"),
                    fs::perms::owner_all);
  }
  dir.MakeDir("bin");
  const std::string log = dir / "ran.txt";
  fs::permissions(
      dir.WriteFile("bin/xdg-open", "#!/bin/sh\n{ pwd; printf '%s\\n' \"$PATH\"; } > '" + log +
                                        ".tmp'\nmv '" + log + ".tmp' '" + log + "'\n"),
      fs::perms::owner_all);
  bool started = false;
  {
    kdx::test::ScopedCwd cwd(dir / "browsed");
    kdx::test::ScopedEnv path("PATH", ":rel::" + dir / "bin" + ":/usr/bin:/bin");
    started = kdx::platform::ShellOpen("http://example.cz");
  }
  ASSERT_TRUE(started);
  for (int i = 0; i < 200 && !fs::exists(log) && !fs::exists(dir / "planted"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(fs::exists(dir / "planted"));
  EXPECT_EQ(kdx::test::ReadFile(log), "/\n" + dir / "bin" + ":/usr/bin:/bin\n");
}

TEST(ShellOpen, ReportsAMissingOpener) {
  kdx::test::ScopedEnv path("PATH", "/nonexistent-kdx");
  EXPECT_FALSE(kdx::platform::ShellOpen("http://example.cz"));
}

// Without the desktop's file manager interface (the application asks it first) the file's folder
// is opened: a UTF-8 path as it is, the root for a file in it.
TEST(ShowFileInFolder, OpensTheFilesFolder) {
  using kdx::platform::ShowFileInFolder;
  EXPECT_EQ(OpenerReceives("/tmp/P\xC5\x99"
                           "enos $(x)/EXPORT.KDX",
                           ShowFileInFolder),
            "/tmp/P\xC5\x99"
            "enos $(x)\n");
  EXPECT_EQ(OpenerReceives("/EXPORT.KDX", ShowFileInFolder), "/\n");
}
#endif
