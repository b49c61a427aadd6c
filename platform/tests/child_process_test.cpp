// A helper program run for one request (POSIX backend; the Windows one is exercised through the
// mail hand-off's helper under Wine): input in, output back, and a child that dies or cannot be
// started told apart from one that answered.

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>

#include <algorithm>

#include "CoreTestSupport.h"
#include "kdx/platform/ChildProcess.h"

using kdx::platform::RunChildProcess;

namespace {

std::string Script(const kdx::test::TempDir& dir, const std::string& name,
                   const std::string& body) {
  const std::string path = dir.WriteFile(name, "#!/bin/sh\n" + body + "\n");
  chmod(path.c_str(), 0700);
  return path;
}

}  // namespace

TEST(ChildProcess, InputInOutputBack) {
  kdx::test::TempDir dir;
  std::string input(300000, 'x');  // more than a pipe holds: written while the answer is read
  input += std::string("\0\r\n\"quoted\" $HOME `x`", 22);
  const auto run = RunChildProcess(Script(dir, "echo.sh", "cat; echo >&2 noise"), input);
  ASSERT_TRUE(run.started);
  EXPECT_TRUE(run.exited);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(run.output, input) << "stdout only, byte for byte";

  const auto failing = RunChildProcess(Script(dir, "fail.sh", "printf part; exit 3"), "ignored");
  EXPECT_TRUE(failing.exited);
  EXPECT_EQ(failing.exitCode, 3u);
  EXPECT_EQ(failing.output, "part");
}

TEST(ChildProcess, KilledOrMissingIsNoAnswer) {
  kdx::test::TempDir dir;
  const auto killed = RunChildProcess(Script(dir, "die.sh", "printf half; kill -9 $$"), "request");
  ASSERT_TRUE(killed.started);
  EXPECT_FALSE(killed.exited) << "a signal is not an exit";
  EXPECT_EQ(killed.exitCode, 9u);
  EXPECT_EQ(killed.output, "half");

  // The child does not read its input and ends: the writer is not stuck, nothing raises.
  const auto deaf = RunChildProcess(Script(dir, "deaf.sh", "exit 0"), std::string(1 << 20, 'x'));
  EXPECT_TRUE(deaf.exited);

  const auto missing = RunChildProcess(dir / "absent", "request");
  EXPECT_FALSE(missing.started);
  EXPECT_NE(missing.startError, 0u);
  EXPECT_FALSE(missing.startErrorText.empty());
}

// What a started program gets: our variables, PATH reduced to its absolute entries, and the
// array ended by a null pointer; without PATH the system's default folders.
TEST(ChildProcess, TheChildsEnvironmentKeepsOnlyAbsolutePathEntries) {
  kdx::test::ScopedEnv path("PATH", ":rel:/usr/bin::./x:/bin");
  kdx::test::ScopedEnv other("KDX_TEST_SUPPORT_VARIABLE", "a=b c");
  auto entries = [] {
    kdx::platform::ChildEnvironmentBlock block;
    std::vector<std::string> texts;
    for (char** e = block.envp(); *e; ++e) texts.emplace_back(*e);
    return texts;
  };
  std::vector<std::string> texts = entries();
  EXPECT_EQ(texts, kdx::platform::ChildEnvironment());
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "PATH=/usr/bin:/bin"), 1);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "KDX_TEST_SUPPORT_VARIABLE=a=b c"), 1);

  kdx::test::ScopedEnv noPath("PATH", std::nullopt);
  texts = entries();
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "PATH=/usr/local/bin:/usr/bin:/bin"), 1);
}
#endif
