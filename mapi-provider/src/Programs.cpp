// Finding and running external programs: an argument vector, never a shell.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "Provider.h"

extern char** environ;

namespace kdx::provider {

namespace {

bool IsExecutableFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// Writes all of `data` to `fd` with SIGPIPE held back, so that a program that stops reading
// early makes the write fail instead of ending this process.
void WriteAll(int fd, const std::string& data) {
  sigset_t pipeSet;
  sigset_t oldSet;
  sigemptyset(&pipeSet);
  sigaddset(&pipeSet, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeSet, &oldSet);
  sigset_t pending;
  sigemptyset(&pending);
  sigpending(&pending);
  const bool wasPending = sigismember(&pending, SIGPIPE);

  std::size_t written = 0;
  bool broken = false;
  while (written < data.size()) {
    const ssize_t n = ::write(fd, data.data() + written, data.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      broken = errno == EPIPE;
      break;
    }
    written += static_cast<std::size_t>(n);
  }
  if (broken && !wasPending) {
    const timespec zero{0, 0};
    sigtimedwait(&pipeSet, nullptr, &zero);
  }
  pthread_sigmask(SIG_SETMASK, &oldSet, nullptr);
}

}  // namespace

std::string FindProgram(const std::string& name, const std::vector<std::string>& extraDirs) {
  std::vector<std::string> dirs;
  if (const char* path = std::getenv("PATH")) {
    std::string dir;
    for (const char* p = path;; ++p) {
      if (*p == ':' || *p == '\0') {
        dirs.push_back(dir.empty() ? "." : dir);
        dir.clear();
        if (*p == '\0') break;
      } else {
        dir += *p;
      }
    }
  }
  dirs.insert(dirs.end(), extraDirs.begin(), extraDirs.end());
  for (const std::string& dir : dirs) {
    const std::string candidate = dir + "/" + name;
    if (IsExecutableFile(candidate)) return candidate;
  }
  return {};
}

int RunProgram(const std::vector<std::string>& argv, bool feedInput, const std::string& input) {
  if (argv.empty()) return -1;
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  int pipeFds[2] = {-1, -1};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (feedInput) {
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
      posix_spawn_file_actions_destroy(&actions);
      return -1;
    }
    posix_spawn_file_actions_adddup2(&actions, pipeFds[0], STDIN_FILENO);
  }
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (feedInput) ::close(pipeFds[0]);
  if (spawned != 0) {
    if (feedInput) ::close(pipeFds[1]);
    return -1;
  }
  if (feedInput) {
    WriteAll(pipeFds[1], input);
    ::close(pipeFds[1]);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  if (!WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace kdx::provider
