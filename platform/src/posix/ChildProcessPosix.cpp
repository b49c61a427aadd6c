// A helper program on POSIX: posix_spawn with its standard input and output on pipes.

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

ChildRun RunChildProcess(const std::string& program, const std::string& input, WindowHandle) {
  ChildRun run;
  int in[2] = {-1, -1};
  int out[2] = {-1, -1};
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) {
    run.startError = static_cast<unsigned long>(errno);
    run.startErrorText = std::strerror(errno);
    for (int fd : {in[0], in[1], out[0], out[1]}) {
      if (fd >= 0) close(fd);
    }
    return run;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addchdir_np(&actions, "/");
  char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
  ChildEnvironmentBlock env;
  pid_t pid = 0;
  const int error = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, env.envp());
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);
  if (error != 0) {
    close(in[1]);
    close(out[0]);
    run.startError = static_cast<unsigned long>(error);
    run.startErrorText = std::strerror(error);
    return run;
  }
  run.started = true;
  // A child that stops reading must not block the reading of its answer, nor a broken pipe end
  // this process: the input is written on a thread of its own, without SIGPIPE.
  std::thread writer([fd = in[1], &input] {
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
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(out[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    run.output.append(buffer, static_cast<std::size_t>(n));
  }
  close(out[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  writer.join();
  run.exited = WIFEXITED(status);
  run.exitCode = run.exited ? static_cast<unsigned long>(WEXITSTATUS(status))
                            : static_cast<unsigned long>(WTERMSIG(status));
  return run;
}

}  // namespace kdx::platform
