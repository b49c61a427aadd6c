#pragma once
// The shell's "open" verb: hands a URL or path to the handler the desktop has registered for it
// (ShellExecuteA "open" on Windows, xdg-open on Linux). The target string is handed over
// unchanged and never through a command interpreter; on Linux a web address written without its
// scheme gets the scheme that the Windows shell would give it (OpenerArgument).

#include <string>

namespace kdx::platform {

// Asks the desktop to open `target` (cp1250 text, converted to UTF-8 for the POSIX argument
// vector). Returns at once without waiting for the handler; the result only says whether the
// opener could be started. Nothing is reported to the user when no handler exists.
bool ShellOpen(const std::string& target);

// Shows the file `path` (UTF-8, a full path) in the system's file manager, selected in its
// folder: on Windows the shell's SHOpenFolderAndSelectItems (COM initialised for the call), and
// when that fails "explorer.exe /select,<path>" (ShellExecuteW). On POSIX it opens the folder with
// the opener, no file selected: selecting needs the desktop's file manager interface on the
// session bus, which the application asks first (app/src/FileManager.cpp). Returns at once;
// false when nothing could be started.
bool ShowFileInFolder(const std::string& path);

#ifndef _WIN32
// The opener program that ShellOpen starts on POSIX, looked up in the absolute entries of PATH
// and run in the root folder with only those entries in its PATH ("xdg-open").
inline constexpr const char* kOpenerProgram = "xdg-open";

// The argument ShellOpen hands to the opener for `target` (cp1250): the target in UTF-8. The
// Windows shell opens "www.example.cz" in the browser and "ftp.example.cz" in the FTP client,
// while xdg-open takes a text without a scheme for a file name; so a target without a scheme
// whose first label is "www." or "ftp." (in any letter case) gets "http://" or "ftp://" in
// front. Everything else, paths included, is left as it is.
std::string OpenerArgument(const std::string& target);
#endif

}  // namespace kdx::platform
