#pragma once
// Where the definition tables (kdx_imp.tab, kdx_exp.tab) are kept.
//
// A copy of the program that runs from a folder of its own (every copy on Windows; on Linux the
// build tree or an unpacked archive) keeps them beside the executable. A system-wide
// installation on Linux has the install step's marker file (kInstalledMarker) beside the
// executable; each user then keeps the tables in $XDG_CONFIG_HOME/kdx-manager/ (an unset, empty
// or relative XDG_CONFIG_HOME means ~/.config), and a table the user has no file of yet is read
// from the administrator's /etc/kdx-manager/, which the program never writes. So the program
// folder of an installation is never written, not even when root runs the program.

#include <optional>
#include <string>

#include "kdx/platform/ScopedReplacement.h"

namespace kdx::app {

// The marker the install step puts beside the executable.
inline constexpr const char* kInstalledMarker = "kdx-manager.installed";
// The administrator's tables of an installation (read only).
inline constexpr const char* kSystemTableFolder = "/etc/kdx-manager/";

struct TTableFolders {
  // Where the tables are read from and written to, ending with the folder separator. Empty only
  // when an installation cannot find the user's home folder.
  std::string own;
  // Where a table is read from while `own` has no file of it; empty when there is no such place.
  std::string fallback;
};

// The folders of a program whose executable lies in `programFolder` (native, normalised).
TTableFolders FindTableFolders(const std::string& programFolder);

// The file a table is loaded from: the one in `own` when it exists, otherwise the one in
// `fallback` when that exists; empty when neither does.
std::string TableFileToLoad(const TTableFolders& folders, const char* fileName);

// The file a table is saved to, in `own`. Missing folders on the way are created (private to
// the user, as the XDG rules ask); one that cannot be created shows in the table writer's own
// "Cannot create file" error. Raises that error itself when `own` is empty.
std::string TableFileToSave(const TTableFolders& folders, const char* fileName);

// --- hook for tests --------------------------------------------------------------------------

// Another folder in place of kSystemTableFolder while the guard lives.
class ScopedSystemTableFolderForTesting : platform::ScopedReplacement<std::optional<std::string>> {
 public:
  explicit ScopedSystemTableFolderForTesting(std::string folder);
};

}  // namespace kdx::app
