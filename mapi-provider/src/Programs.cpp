// Finding and running external programs: an argument vector, never a shell.

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "Provider.h"
#include "kdx/platform/ChildProcess.h"

namespace kdx::provider {

bool StartProgram(const std::vector<std::string>& argv, bool pipeInput, StartedProgram& started,
                  bool pipeOutput) {
  platform::SpawnOptions options;
  options.pipeInput = pipeInput;
  options.pipeOutput = pipeOutput;
  return platform::SpawnProgram(argv, options, started) == 0;
}

int WaitForProgram(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  if (!WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

std::optional<int> EndedStatus(pid_t pid) {
  int status = 0;
  pid_t r;
  while ((r = ::waitpid(pid, &status, WNOHANG)) < 0 && errno == EINTR) {
  }
  if (r == 0) return std::nullopt;
  if (r < 0) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::optional<std::string> RunProgramForOutput(const std::vector<std::string>& argv) {
  StartedProgram started;
  if (!StartProgram(argv, false, started, true)) return std::nullopt;
  std::string output = platform::ReadToEndAndClose(started.output);
  if (WaitForProgram(started.pid) != 0) return std::nullopt;
  return output;
}

int RunProgram(const std::vector<std::string>& argv) {
  StartedProgram started;
  if (!StartProgram(argv, false, started)) return -1;
  return WaitForProgram(started.pid);
}

}  // namespace kdx::provider
