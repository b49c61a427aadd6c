// Starting programs on POSIX (posix_spawn), and a helper program with its standard input and
// output on pipes.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <thread>
#include <vector>

#include "kdx/platform/ChildProcess.h"

namespace kdx::platform {

int SpawnProgram(const std::vector<std::string>& argv, const SpawnOptions& options,
                 SpawnedProgram& started) {
  started = SpawnedProgram{};
  if (argv.empty()) return EINVAL;
  int in[2] = {-1, -1};
  int out[2] = {-1, -1};
  const auto closeAll = [&] {
    for (int fd : {in[0], in[1], out[0], out[1]}) {
      if (fd >= 0) ::close(fd);
    }
  };
  if ((options.pipeInput && ::pipe2(in, O_CLOEXEC) != 0) ||
      (options.pipeOutput && ::pipe2(out, O_CLOEXEC) != 0)) {
    const int error = errno;
    closeAll();
    return error;
  }
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (options.pipeInput) posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  if (options.pipeOutput) posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  if (options.errorToNull)
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  // Not the current folder: the folder picker may have left it anywhere.
  posix_spawn_file_actions_addchdir_np(&actions, "/");
  ChildEnvironmentBlock env;
  pid_t pid = -1;
  const int error =
      ::posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, args.data(), env.envp());
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    closeAll();
    return error;
  }
  for (int* childEnd : {&in[0], &out[1]}) {
    if (*childEnd >= 0) ::close(*childEnd);
  }
  started.pid = pid;
  started.input = in[1];
  started.output = out[0];
  return 0;
}

std::string ReadToEndAndClose(int fd) {
  std::string text;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return text;
}

ChildRun RunChildProcess(const std::string& program, const std::string& input, WindowHandle) {
  ChildRun run;
  SpawnedProgram child;
  const int error = SpawnProgram({program}, {true, true, true}, child);
  if (error != 0) {
    run.startError = static_cast<unsigned long>(error);
    run.startErrorText = std::strerror(error);
    return run;
  }
  run.started = true;
  // A child that stops reading must not block the reading of its answer, nor a broken pipe end
  // this process: the input is written on a thread of its own, without SIGPIPE.
  std::thread writer([fd = child.input, &input] {
    // SIGPIPE blocked on this thread; one that a write raised is taken back before unblocking.
    sigset_t block, old;
    sigemptyset(&block);
    sigaddset(&block, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &block, &old);
    std::size_t done = 0;
    bool broken = false;
    while (done < input.size()) {
      const ssize_t n = write(fd, input.data() + done, input.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        broken = errno == EPIPE;
        break;
      }
      done += static_cast<std::size_t>(n);
    }
    close(fd);
    if (broken) {
      timespec zero{};
      sigtimedwait(&block, nullptr, &zero);
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
  });
  run.output = ReadToEndAndClose(child.output);
  int status = 0;
  while (waitpid(child.pid, &status, 0) < 0 && errno == EINTR) {
  }
  writer.join();
  run.exited = WIFEXITED(status);
  run.exitCode = run.exited ? static_cast<unsigned long>(WEXITSTATUS(status))
                            : static_cast<unsigned long>(WTERMSIG(status));
  return run;
}

}  // namespace kdx::platform
