#pragma once
// Where the definition tables (kdx_imp.tab, kdx_exp.tab) are kept.
//
// A copy of the program that runs from a folder of its own (on Linux the build tree or an
// unpacked archive; on Windows any folder this user may write) keeps them beside the executable.
//
// Linux: a system-wide installation has the install step's marker file (kInstalledMarker) beside
// the executable; each user then keeps the tables in $XDG_CONFIG_HOME/kdx-manager/ (an unset,
// empty or relative XDG_CONFIG_HOME means ~/.config), and a table the user has no file of yet is
// read from the administrator's /etc/kdx-manager/, which the program never writes. So the
// program folder of an installation is never written, not even when root runs the program.
//
// Windows: what decides is whether this user may write the program's folder, found out by
// trying (a file created and deleted there, each table file there opened for writing): the
// folder's access list decides, which no attribute shows (Program Files is the administrators';
// in C:\KDX manager a standard user may create files but not replace the administrator's). When
// the user may not, each user keeps the tables in %APPDATA%\KDX manager\ (the roaming profile
// follows the user between an office's PCs), and a table the user has no file of yet is read
// from the administrator's %ProgramData%\KDX manager\ (the MSI package copies the
// administrator's tables there), else from the program's folder (where an administrator of an
// older installation keeps them); neither is written.

#include <optional>
#include <string>
#include <vector>

#include "kdx/platform/ScopedReplacement.h"

namespace kdx::app {

// The marker the install step puts beside the executable.
inline constexpr const char* kInstalledMarker = "kdx-manager.installed";
// The administrator's tables of an installation (read only): on Linux this folder, on Windows
// the folder "KDX manager" in %ProgramData%.
inline constexpr const char* kSystemTableFolder = "/etc/kdx-manager/";

struct TTableFolders {
  // Where the tables are read from and written to, ending with the folder separator. Empty only
  // when an installation cannot find the user's home folder.
  std::string own;
  // Where a table is read from while `own` has no file of it, in this order (each ending with
  // the folder separator); empty when there is no such place.
  std::vector<std::string> fallbacks;
};

// The folders of a program whose executable lies in `programFolder` (native, normalised).
TTableFolders FindTableFolders(const std::string& programFolder);

// The file a table is loaded from: the one in `own` when it exists, otherwise the first of
// `fallbacks` that exists; empty when none does.
std::string TableFileToLoad(const TTableFolders& folders, const char* fileName);

// The file a table is saved to, in `own`. Missing folders on the way are created (private to
// the user on Linux, as the XDG rules ask); one that cannot be created shows in the table writer's
// own "Cannot create file" error. Raises that error itself when `own` is empty.
std::string TableFileToSave(const TTableFolders& folders, const char* fileName);

// --- hook for tests --------------------------------------------------------------------------

// Another folder in place of the administrator's (kSystemTableFolder, %ProgramData%\KDX
// manager\) while the guard lives.
class ScopedSystemTableFolderForTesting : platform::ScopedReplacement<std::optional<std::string>> {
 public:
  explicit ScopedSystemTableFolderForTesting(std::string folder);
};

// Another folder in place of the user's own (Windows: %APPDATA%\KDX manager\; Linux:
// $XDG_CONFIG_HOME/kdx-manager/) while the guard lives.
class ScopedUserTableFolderForTesting : platform::ScopedReplacement<std::optional<std::string>> {
 public:
  explicit ScopedUserTableFolderForTesting(std::string folder);
};

#ifdef _WIN32
// Whether this user may keep the tables in `folder` (ending with a backslash), found out by
// trying, as FindTableFolders does. Leaves nothing behind.
bool UserMayWriteTables(const std::string& folder);

// FindTableFolders takes `writable` as UserMayWriteTables' answer for the program folder while
// the guard lives (Wine keeps no access lists, and its root user may write every file).
class ScopedProgramFolderWritableForTesting : platform::ScopedReplacement<std::optional<bool>> {
 public:
  explicit ScopedProgramFolderWritableForTesting(bool writable);
};
#endif

}  // namespace kdx::app
