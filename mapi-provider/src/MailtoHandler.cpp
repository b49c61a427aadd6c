// Whether the compose route can hand the attachment over: the program xdg-email would give the
// mailto: URI to.
//
// xdg-email runs $MAILER or an xdg-email-hook.sh when there is one; otherwise, on every desktop,
// the mailto: handler gets the URI (Thunderbird and Icedove as a -compose argument, the rest
// through xdg-open, kde-open, gio or exo-open). A browser (webmail) or another program drops the
// URI's attach= fields, and the user would send an e-mail without the file while the hand-off
// reported success. So the handler's program is read as xdg-email reads it: the .desktop file
// named by xdg-mime, its first Exec line's first word, found on PATH, symbolic links resolved (a
// snap's /snap/bin/thunderbird is /usr/bin/snap, which xdg-email does not take for Thunderbird).

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "Provider.h"
#include "kdx/platform/ChildProcess.h"

namespace kdx::provider {

namespace {

namespace fs = std::filesystem;

// The folders xdg-email looks for .desktop files in, in order.
std::vector<std::string> DataFolders() {
  std::vector<std::string> folders;
  const char* home = std::getenv("XDG_DATA_HOME");
  if (home && *home) {
    folders.emplace_back(home);
  } else if (const char* h = std::getenv("HOME"); h && *h) {
    folders.push_back(std::string(h) + "/.local/share");
  }
  const char* dirs = std::getenv("XDG_DATA_DIRS");
  std::stringstream list(dirs && *dirs ? dirs : "/usr/local/share:/usr/share");
  for (std::string folder; std::getline(list, folder, ':');) {
    if (!folder.empty()) folders.push_back(folder);
  }
  return folders;
}

bool Readable(const fs::path& path) {
  std::error_code error;
  return fs::is_regular_file(path, error);
}

// The .desktop file `name` in the data folders: applications/<vendor>/<app> for "vendor-app",
// then applications/ and its subfolders.
std::optional<fs::path> FindDesktopFile(const std::string& name) {
  for (const std::string& folder : DataFolders()) {
    const fs::path applications = fs::path(folder) / "applications";
    std::error_code error;
    if (!fs::is_directory(applications, error)) continue;
    if (const auto dash = name.find('-'); dash != std::string::npos) {
      const fs::path vendor = applications / name.substr(0, dash) / name.substr(dash + 1);
      if (Readable(vendor)) return vendor;
    }
    if (Readable(applications / name)) return applications / name;
    for (const auto& entry : fs::directory_iterator(applications, error)) {
      if (entry.is_directory(error) && Readable(entry.path() / name)) return entry.path() / name;
    }
  }
  return std::nullopt;
}

}  // namespace

std::string DesktopFileProgram(const std::string& desktopFile) {
  if (desktopFile.empty() || desktopFile.find('/') != std::string::npos) return {};
  const auto file = FindDesktopFile(desktopFile);
  if (!file) return {};
  std::ifstream in(*file);
  std::string line;
  std::string command;
  while (std::getline(in, line)) {
    // "Exec=" or a localised "Exec[xx]=", in whatever group comes first.
    if (line.rfind("Exec", 0) != 0) continue;
    std::size_t at = 4;
    if (at < line.size() && line[at] == '[') {
      const std::size_t close = line.find(']', at);
      if (close == std::string::npos) continue;
      at = close + 1;
    }
    if (at >= line.size() || line[at] != '=') continue;
    std::istringstream words(line.substr(at + 1));
    words >> command;
    break;
  }
  if (command.empty()) return {};
  const std::string program =
      command[0] == '/' ? command : platform::FindProgramOnPath(command, {});
  if (program.empty()) return {};
  std::error_code error;
  const fs::path resolved = fs::canonical(program, error);
  return error ? std::string() : resolved.string();
}

bool ProgramTakesAttachments(const std::string& path) {
  const std::string name = fs::path(path).filename().string();
  // xdg-email's own test for its -compose route.
  if (path.find("thunderbird") != std::string::npos || path.find("icedove") != std::string::npos)
    return true;
  for (const char* client : {"evolution", "kmail", "claws-mail", "sylpheed", "seamonkey"}) {
    if (name == client) return true;
  }
  return false;
}

bool MailtoHandlerTakesAttachments() {
  if (const char* mailer = std::getenv("MAILER"); mailer && *mailer) return true;
  if (!platform::FindProgramOnPath("xdg-email-hook.sh", {}).empty()) return true;
  const std::string xdgMime =
      platform::FindProgramOnPath("xdg-mime", {"/usr/bin", "/usr/local/bin"});
  if (xdgMime.empty()) return false;
  const auto output = RunProgramForOutput({xdgMime, "query", "default", "x-scheme-handler/mailto"});
  if (!output) return false;
  std::string desktopFile = *output;
  while (!desktopFile.empty() && (desktopFile.back() == '\n' || desktopFile.back() == ' '))
    desktopFile.pop_back();
  const std::string program = DesktopFileProgram(desktopFile);
  const bool takes = !program.empty() && ProgramTakesAttachments(program);
  if (!takes) {
    std::fprintf(stderr,
                 "kdxmapi: the mailto: handler \"%s\" (%s) does not take attachments; nothing "
                 "was opened\n",
                 desktopFile.c_str(), program.empty() ? "no program" : program.c_str());
  }
  return takes;
}

}  // namespace kdx::provider
