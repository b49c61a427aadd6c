#pragma once
// File-system helpers of the mail hand-off: existence by directory search and full-path
// expansion. Paths are UTF-8 (Path.h); Windows: FindFirstFileW, GetFullPathNameW.

#include <string>

namespace kdx::platform {

// True when a directory search for exactly this name finds an entry of any kind (file, folder,
// ...). A relative path is taken against the current directory. Windows: a directory search with
// the critical-error dialogs suppressed (SetErrorMode(SEM_FAILCRITICALERRORS), restored
// afterwards); a name with wildcard characters never counts as found, since no entry can carry that
// name.
bool FileExistsBySearch(const std::string& path);

// The full path of `path` against the current directory. Windows: "." and ".." resolved
// lexically, as the system itself resolves them. POSIX: the folder part
// resolved through symbolic links (realpath), so that "link/../x" names the file the system
// opens; the last name kept as given; lexical when the folder does not exist. Returns `path`
// unchanged when the expansion fails.
std::string ExpandFullPath(const std::string& path);

}  // namespace kdx::platform
