// Finding and running external programs: an argument vector, never a shell.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "Provider.h"
#include "kdx/platform/ChildProcess.h"

namespace kdx::provider {

bool StartProgram(const std::vector<std::string>& argv, bool pipeInput, StartedProgram& started,
                  bool pipeOutput) {
  started = StartedProgram{};
  if (argv.empty()) return false;
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  platform::ChildEnvironmentBlock env;

  int pipeFds[2] = {-1, -1};
  if (pipeInput && ::pipe2(pipeFds, O_CLOEXEC) != 0) return false;
  int outFds[2] = {-1, -1};
  if (pipeOutput && ::pipe2(outFds, O_CLOEXEC) != 0) {
    if (pipeInput) {
      ::close(pipeFds[0]);
      ::close(pipeFds[1]);
    }
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (pipeInput) posix_spawn_file_actions_adddup2(&actions, pipeFds[0], STDIN_FILENO);
  if (pipeOutput) posix_spawn_file_actions_adddup2(&actions, outFds[1], STDOUT_FILENO);
  // Not the current folder: the folder picker may have left it anywhere.
  posix_spawn_file_actions_addchdir_np(&actions, "/");
  pid_t pid = -1;
  const int spawned =
      posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, args.data(), env.envp());
  posix_spawn_file_actions_destroy(&actions);
  if (pipeInput) ::close(pipeFds[0]);
  if (pipeOutput) ::close(outFds[1]);
  if (spawned != 0) {
    if (pipeInput) ::close(pipeFds[1]);
    if (pipeOutput) ::close(outFds[0]);
    return false;
  }
  started.pid = pid;
  started.input = pipeInput ? pipeFds[1] : -1;
  started.output = pipeOutput ? outFds[0] : -1;
  return true;
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
  std::string output;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(started.output, buffer, sizeof buffer);
    if (n > 0) {
      output.append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      break;
    }
  }
  ::close(started.output);
  if (WaitForProgram(started.pid) != 0) return std::nullopt;
  return output;
}

int RunProgram(const std::vector<std::string>& argv) {
  StartedProgram started;
  if (!StartProgram(argv, false, started)) return -1;
  return WaitForProgram(started.pid);
}

}  // namespace kdx::provider
