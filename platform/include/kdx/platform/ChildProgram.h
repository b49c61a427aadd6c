#pragma once
// Finding the programs the process starts, and the environment they get (POSIX). Nothing is
// taken from the current folder, which the folder picker moves to wherever the user browses:
// PATH counts only by its absolute entries (an empty entry means the current folder to a shell,
// a relative one a folder below it).

#ifndef _WIN32
#include <string>
#include <vector>

namespace kdx::platform {

// The absolute entries of a PATH-style value (':'-separated), in order; null gives none.
std::vector<std::string> AbsolutePathEntries(const char* path);

// The full path of the executable file `name` in the absolute entries of $PATH, then in
// `extraDirs`; empty if none.
std::string FindProgramOnPath(const std::string& name, const std::vector<std::string>& extraDirs);

// This process's environment ("NAME=value" texts) with PATH reduced to its absolute entries
// (/usr/local/bin:/usr/bin:/bin when there is no PATH), for the programs it starts.
std::vector<std::string> ChildEnvironment();

}  // namespace kdx::platform
#endif
