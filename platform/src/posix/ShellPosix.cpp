// POSIX backend of Shell.h: xdg-open started with posix_spawnp and an argument vector.
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>

#include <thread>

#include "kdx/platform/Shell.h"
#include "kdx/platform/Text.h"

extern char** environ;

namespace kdx::shell {

bool ShellOpen(const std::string& target) {
  std::string program = kOpenerProgram;
  std::string argument = text::Cp1250ToUtf8(target);
  char* argv[] = {program.data(), argument.data(), nullptr};
  pid_t pid = 0;
  if (::posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argv, environ) != 0) return false;
  // Reap the opener when it ends so that no zombie stays behind; the caller does not wait.
  std::thread([pid] {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return true;
}

}  // namespace kdx::shell
