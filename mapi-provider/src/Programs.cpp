// Finding and running external programs: an argument vector, never a shell.

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "Provider.h"

extern char** environ;

namespace kdx::provider {

namespace {

bool IsExecutableFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::vector<std::string> AbsolutePathEntries(const char* path) {
  std::vector<std::string> dirs;
  if (!path) return dirs;
  std::string dir;
  for (const char* p = path;; ++p) {
    if (*p == ':' || *p == '\0') {
      if (!dir.empty() && dir[0] == '/') dirs.push_back(dir);
      dir.clear();
      if (*p == '\0') break;
    } else {
      dir += *p;
    }
  }
  return dirs;
}

std::string FindProgram(const std::string& name, const std::vector<std::string>& extraDirs) {
  std::vector<std::string> dirs = AbsolutePathEntries(std::getenv("PATH"));
  dirs.insert(dirs.end(), extraDirs.begin(), extraDirs.end());
  for (const std::string& dir : dirs) {
    const std::string candidate = dir + "/" + name;
    if (IsExecutableFile(candidate)) return candidate;
  }
  return {};
}

std::vector<std::string> ChildEnvironment() {
  std::vector<std::string> env;
  bool hasPath = false;
  for (char** e = environ; e && *e; ++e) {
    if (std::strncmp(*e, "PATH=", 5) != 0) {
      env.emplace_back(*e);
      continue;
    }
    hasPath = true;
    std::string path = "PATH=";
    bool first = true;
    for (const std::string& dir : AbsolutePathEntries(*e + 5)) {
      if (!first) path += ':';
      path += dir;
      first = false;
    }
    env.push_back(path);
  }
  if (!hasPath) env.emplace_back("PATH=/usr/local/bin:/usr/bin:/bin");
  return env;
}

bool StartProgram(const std::vector<std::string>& argv, bool pipeInput, StartedProgram& started) {
  started = StartedProgram{};
  if (argv.empty()) return false;
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<std::string> envStrings = ChildEnvironment();
  std::vector<char*> env;
  for (std::string& e : envStrings) env.push_back(e.data());
  env.push_back(nullptr);

  int pipeFds[2] = {-1, -1};
  if (pipeInput && ::pipe2(pipeFds, O_CLOEXEC) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (pipeInput) posix_spawn_file_actions_adddup2(&actions, pipeFds[0], STDIN_FILENO);
  // Not the current folder: the folder picker may have left it anywhere.
  posix_spawn_file_actions_addchdir_np(&actions, "/");
  pid_t pid = -1;
  const int spawned =
      posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, args.data(), env.data());
  posix_spawn_file_actions_destroy(&actions);
  if (pipeInput) ::close(pipeFds[0]);
  if (spawned != 0) {
    if (pipeInput) ::close(pipeFds[1]);
    return false;
  }
  started.pid = pid;
  started.input = pipeInput ? pipeFds[1] : -1;
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

int RunProgram(const std::vector<std::string>& argv) {
  StartedProgram started;
  if (!StartProgram(argv, false, started)) return -1;
  return WaitForProgram(started.pid);
}

}  // namespace kdx::provider
