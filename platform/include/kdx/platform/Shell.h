#pragma once
// The shell's "open" verb: hands a URL or path to the handler the desktop has registered for it
// (ShellExecuteA "open" on Windows, xdg-open on Linux). The target string is handed over
// unchanged and never through a command interpreter.

#include <string>

namespace kdx::shell {

// Asks the desktop to open `target` (cp1250 text, converted to UTF-8 for the POSIX argument
// vector). Returns at once without waiting for the handler; the result only says whether the
// opener could be started. Nothing is reported to the user when no handler exists.
bool ShellOpen(const std::string& target);

#ifndef _WIN32
// The opener program that ShellOpen starts on POSIX, looked up in PATH ("xdg-open").
inline constexpr const char* kOpenerProgram = "xdg-open";
#endif

}  // namespace kdx::shell
