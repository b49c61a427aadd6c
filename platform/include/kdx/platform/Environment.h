#pragma once
// Environment variables and facts about the running system.
//
// Backends: src/win32 (ExpandEnvironmentStringsA, GetVersionEx) and src/posix (getenv).

#include <string>
#include <vector>

namespace kdx::platform {

// Replaces every %NAME% reference whose variable is set by the variable's value (values converted
// to cp1250 on POSIX, where the environment is UTF-8). A reference to an unset variable, a lone
// "%" and "%%" stay as they are, as on Windows. Returns false (leaving `result` untouched) when
// the expansion fails.
bool ExpandEnvironmentReferences(const std::string& text, std::string& result);

// True when the system's version query reports the NT platform (VER_PLATFORM_WIN32_NT). Always
// true on POSIX, where the NT layout of the registry stand-in is used.
bool IsWindowsNtFamily();

// The id of the current process.
unsigned long CurrentProcessId();

// The program's arguments as the system handed them over, without the program's own name, in
// UTF-8. POSIX: a copy of argv[1..argc-1]; call it before anything edits argv in place (the
// toolkit removes its own options from it). Windows: the process's command line
// (GetCommandLineW) split by CommandLineToArgvW; argc and argv are not looked at.
std::vector<std::string> ProgramArguments(int argc, const char* const* argv);

}  // namespace kdx::platform
