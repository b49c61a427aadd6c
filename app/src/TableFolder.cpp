#include "TableFolder.h"

#include <cerrno>
#include <cstdlib>

#include "kdx/platform/Errors.h"
#include "kdx/platform/Files.h"

#ifndef _WIN32
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kdx::app {

namespace {

std::optional<std::string>& SystemFolderOverride() {
  static std::optional<std::string> folder;
  return folder;
}

#ifndef _WIN32
// $HOME when it is an absolute path, otherwise the account's home folder: a relative one would
// be taken in the current folder, which the folder picker moves.
std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home && home[0] == '/') return home;
  if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir && *entry->pw_dir)
    return entry->pw_dir;
  return {};
}

// $XDG_CONFIG_HOME when it is an absolute path (the XDG rules ignore a relative one), otherwise
// ~/.config; empty without a home folder.
std::string ConfigHome() {
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') return xdg;
  std::string home = HomeFolder();
  while (home.size() > 1 && home.back() == '/') home.pop_back();
  return home.empty() ? std::string() : (home == "/" ? "" : home) + "/.config";
}

std::string WithSlash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

// mkdir -p with mode 0700 for what it creates. Failures are left to the write that follows.
void MakeFolders(const std::string& folder) {
  for (size_t end = folder.find('/', 1); end != std::string::npos;
       end = folder.find('/', end + 1)) {
    const std::string part = folder.substr(0, end);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return;
  }
}
#endif

}  // namespace

TTableFolders FindTableFolders(const std::string& programFolder) {
#ifdef _WIN32
  return {programFolder, {}};
#else
  if (!platform::FileExists(programFolder + kInstalledMarker)) return {programFolder, {}};
  const std::string config = ConfigHome();
  return {config.empty() ? std::string() : WithSlash(config) + "kdx-manager/",
          SystemFolderOverride() ? WithSlash(*SystemFolderOverride()) : kSystemTableFolder};
#endif
}

std::string TableFileToLoad(const TTableFolders& folders, const char* fileName) {
  if (!folders.own.empty() && platform::FileExists(folders.own + fileName))
    return folders.own + fileName;
  if (!folders.fallback.empty() && platform::FileExists(folders.fallback + fileName))
    return folders.fallback + fileName;
  return {};
}

std::string TableFileToSave(const TTableFolders& folders, const char* fileName) {
  if (folders.own.empty()) throw EFCreateError(FormatMessage("Cannot create file %s", fileName));
#ifndef _WIN32
  if (!platform::DirectoryExists(folders.own)) MakeFolders(folders.own);
#endif
  return folders.own + fileName;
}

ScopedSystemTableFolderForTesting::ScopedSystemTableFolderForTesting(std::string folder)
    : ScopedReplacement(SystemFolderOverride(), std::move(folder)) {}

}  // namespace kdx::app
