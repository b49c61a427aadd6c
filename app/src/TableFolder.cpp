#include "TableFolder.h"

#include <cerrno>
#include <cstdlib>

#include "DefinitionTables.h"
#include "kdx/platform/Errors.h"
#include "kdx/platform/Files.h"
#include "kdx/platform/Path.h"

#ifdef _WIN32
#include <windows.h>
// windows.h first
#include <knownfolders.h>
#include <shlobj.h>

#include "kdx/platform/WideText.h"
// kdx::FormatMessage, not the system's macro.
#undef FormatMessage
#else
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

std::optional<std::string>& UserFolderOverride() {
  static std::optional<std::string> folder;
  return folder;
}

#ifdef _WIN32
std::optional<bool>& WritableOverride() {
  static std::optional<bool> writable;
  return writable;
}
#endif

std::string WithSeparator(std::string folder) {
  if (folder.empty() || folder.back() != platform::kPathDelim) folder += platform::kPathDelim;
  return folder;
}

#ifdef _WIN32
// A known folder of the shell (UTF-8, without a trailing backslash); empty when there is none.
std::string KnownFolder(REFKNOWNFOLDERID id) {
  PWSTR path = nullptr;
  std::string folder;
  if (SUCCEEDED(::SHGetKnownFolderPath(id, KF_FLAG_DEFAULT, nullptr, &path)) && path)
    folder = platform::Utf8(path);
  ::CoTaskMemFree(path);
  return folder;
}

// "KDX manager" in a known folder; empty when the folder is unknown.
std::string TableFolderIn(REFKNOWNFOLDERID id) {
  const std::string base = KnownFolder(id);
  return base.empty() ? std::string() : WithSeparator(base) + "KDX manager\\";
}

// Creates the missing folders of `folder`. Failures are left to the write that follows.
void MakeFolders(const std::string& folder) {
  std::wstring path = platform::Wide(folder);
  while (!path.empty() && path.back() == L'\\') path.pop_back();
  ::SHCreateDirectoryExW(nullptr, path.c_str(), nullptr);
}
#else
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

#ifdef _WIN32
bool UserMayWriteTables(const std::string& folder) {
  // A new file: created, written, and deleted again as its handle closes. A name taken by a
  // file left over by another run is skipped.
  const std::string probe = folder + "kdx-write-test-" + std::to_string(::GetCurrentProcessId());
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 10 && file == INVALID_HANDLE_VALUE; ++attempt) {
    file = ::CreateFileW(
        platform::Wide(probe + "-" + std::to_string(attempt) + ".tmp").c_str(), GENERIC_WRITE, 0,
        nullptr, CREATE_NEW,
        FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS) return false;
  }
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool wrote = ::WriteFile(file, "x", 1, &written, nullptr) && written == 1;
  ::CloseHandle(file);
  if (!wrote) return false;
  // The tables there: the save replaces them, which takes writing and deleting. Only a refusal
  // counts; a file that another program holds open is a failure of that one save.
  for (const TDefinitionTable& table : kDefinitionTables) {
    HANDLE existing =
        ::CreateFileW(platform::Wide(folder + table.fileName).c_str(), GENERIC_WRITE | DELETE,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (existing != INVALID_HANDLE_VALUE)
      ::CloseHandle(existing);
    else if (::GetLastError() == ERROR_ACCESS_DENIED)
      return false;
  }
  return true;
}
#endif

TTableFolders FindTableFolders(const std::string& programFolder) {
#ifdef _WIN32
  if (WritableOverride() ? *WritableOverride() : UserMayWriteTables(programFolder))
    return {programFolder, {}};
  TTableFolders folders{UserFolderOverride() ? WithSeparator(*UserFolderOverride())
                                             : TableFolderIn(FOLDERID_RoamingAppData),
                        {}};
  const std::string admin = SystemFolderOverride() ? WithSeparator(*SystemFolderOverride())
                                                   : TableFolderIn(FOLDERID_ProgramData);
  if (!admin.empty()) folders.fallbacks.push_back(admin);
  folders.fallbacks.push_back(programFolder);
  return folders;
#else
  if (!platform::FileExists(programFolder + kInstalledMarker)) return {programFolder, {}};
  std::string own;
  if (UserFolderOverride())
    own = WithSeparator(*UserFolderOverride());
  else if (const std::string config = ConfigHome(); !config.empty())
    own = WithSeparator(config) + "kdx-manager/";
  return {own,
          {SystemFolderOverride() ? WithSeparator(*SystemFolderOverride())
                                  : std::string(kSystemTableFolder)}};
#endif
}

std::string TableFileToLoad(const TTableFolders& folders, const char* fileName) {
  if (!folders.own.empty() && platform::FileExists(folders.own + fileName))
    return folders.own + fileName;
  for (const std::string& fallback : folders.fallbacks)
    if (!fallback.empty() && platform::FileExists(fallback + fileName)) return fallback + fileName;
  return {};
}

std::string TableFileToSave(const TTableFolders& folders, const char* fileName) {
  if (folders.own.empty()) throw EFCreateError(FormatMessage("Cannot create file %s", fileName));
  if (!platform::DirectoryExists(folders.own)) MakeFolders(folders.own);
  return folders.own + fileName;
}

ScopedSystemTableFolderForTesting::ScopedSystemTableFolderForTesting(std::string folder)
    : ScopedReplacement(SystemFolderOverride(), std::move(folder)) {}

ScopedUserTableFolderForTesting::ScopedUserTableFolderForTesting(std::string folder)
    : ScopedReplacement(UserFolderOverride(), std::move(folder)) {}

#ifdef _WIN32
ScopedProgramFolderWritableForTesting::ScopedProgramFolderWritableForTesting(bool writable)
    : ScopedReplacement(WritableOverride(), writable) {}
#endif

}  // namespace kdx::app
