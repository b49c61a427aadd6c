// Finding programs in the absolute entries of PATH, and the environment handed to them.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "kdx/platform/ChildProcess.h"

extern char** environ;

namespace kdx::platform {

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

std::string FindProgramOnPath(const std::string& name, const std::vector<std::string>& extraDirs) {
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

ChildEnvironmentBlock::ChildEnvironmentBlock() : texts_(ChildEnvironment()) {
  pointers_.reserve(texts_.size() + 1);
  for (std::string& text : texts_) pointers_.push_back(text.data());
  pointers_.push_back(nullptr);
}

}  // namespace kdx::platform
