// POSIX backend of Shell.h: xdg-open, found in the absolute entries of PATH, started with an
// argument vector in the root folder with that PATH (SpawnProgram of ChildProcess.h).
#include <sys/wait.h>

#include <cerrno>
#include <thread>
#include <vector>

#include "kdx/platform/ChildProcess.h"
#include "kdx/platform/Path.h"
#include "kdx/platform/Shell.h"
#include "kdx/platform/Text.h"

namespace kdx::platform {

namespace {

// True when `text` starts with a URL scheme and its colon ("http:", "mailto:"): a letter, then
// letters, digits, '+', '-' or '.', then ':'. A single letter before the colon is not taken for
// a scheme (a Windows drive).
bool HasScheme(const std::string& text) {
  auto isAlpha = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  if (text.empty() || !isAlpha(text[0])) return false;
  for (size_t i = 1; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ':') return i > 1;
    if (!isAlpha(c) && !isDigit(c) && c != '+' && c != '-' && c != '.') return false;
  }
  return false;
}

}  // namespace

std::string OpenerArgument(const std::string& target) {
  const std::string utf8 = text::Cp1250ToUtf8(target);
  if (HasScheme(utf8)) return utf8;
  if (text::StartsWithAsciiNoCase(utf8, "www.")) return "http://" + utf8;
  if (text::StartsWithAsciiNoCase(utf8, "ftp.")) return "ftp://" + utf8;
  return utf8;
}

namespace {

// Starts the opener with `argument` (UTF-8) and does not wait for it.
bool StartOpener(std::string argument) {
  // Not from the current folder, nor started in it: the folder picker may have left it anywhere.
  std::string program = FindProgramOnPath(kOpenerProgram, {});
  if (program.empty()) return false;
  SpawnedProgram opener;
  if (SpawnProgram({program, std::move(argument)}, {}, opener) != 0) return false;
  // Reap the opener when it ends so that no zombie stays behind; the caller does not wait.
  std::thread([pid = opener.pid] {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return true;
}

}  // namespace

bool ShellOpen(const std::string& target) {
  return StartOpener(OpenerArgument(target));
}

bool ShowFileInFolder(const std::string& path) {
  if (FolderPart(path).empty()) return false;
  return StartOpener(ContainingFolder(path));
}

}  // namespace kdx::platform
