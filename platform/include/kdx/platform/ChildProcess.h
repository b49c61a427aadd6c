#pragma once
// A helper program run for one request: its input handed over on its standard input, its answer
// read from its standard output. No command line of the caller's text is ever built: the program
// gets no arguments, so nothing the user typed can be taken for an option or split at a blank.
//
// Programs are never taken from the current folder nor started in it: the folder picker moves it
// to wherever the user browses. On POSIX, PATH counts only by its absolute entries (an empty entry
// means the current folder to a shell, a relative one a folder below it), and children start in
// the root folder with PATH reduced to those entries.
//
// Backends: src/win32 (CreateProcessW with anonymous pipes; while the child runs the calling
// thread's window messages are dispatched, as a modal dialog's loop would, so the program's
// windows keep painting and never show as "not responding") and src/posix (posix_spawn, pipes).

#include <cstdint>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/types.h>
#endif

#include "kdx/platform/TopWindows.h"

namespace kdx::platform {

struct ChildRun {
  bool started = false;
  unsigned long startError = 0;  // the system's error code when the program did not start
  std::string startErrorText;    // and its text
  std::string output;            // what the child wrote to its standard output
  bool exited = false;           // it ended by itself (POSIX: not by a signal)
  unsigned long exitCode = 0;    // its exit code (Windows: also the code of a crash)
};

// Runs `program` (a UTF-8 path) without arguments, writes `input` to its standard input and
// closes it, collects its standard output and returns when it has ended. Its standard error goes
// nowhere. `owner`, when not 0, is disabled while the child runs (as the owner of a modal window
// is) and enabled again afterwards if it was enabled; the child may bring its windows to the
// front. Never raises; a program that cannot be started gives started = false.
ChildRun RunChildProcess(const std::string& program, const std::string& input,
                         WindowHandle owner = 0);

#ifndef _WIN32
// --- POSIX: where programs are found, the environment they get ----------------------------

// The absolute entries of a PATH-style value (':'-separated), in order; null gives none.
std::vector<std::string> AbsolutePathEntries(const char* path);

// The full path of the executable file `name` in the absolute entries of $PATH, then in
// `extraDirs`; empty if none.
std::string FindProgramOnPath(const std::string& name, const std::vector<std::string>& extraDirs);

// This process's environment ("NAME=value" texts) with PATH reduced to its absolute entries
// (/usr/local/bin:/usr/bin:/bin when there is no PATH), for the programs it starts.
std::vector<std::string> ChildEnvironment();

// ChildEnvironment() as the envp array that posix_spawn and exec take: "NAME=value" texts and a
// null pointer after the last. The texts belong to the object: valid while it lives.
class ChildEnvironmentBlock {
 public:
  ChildEnvironmentBlock();
  ChildEnvironmentBlock(const ChildEnvironmentBlock&) = delete;
  ChildEnvironmentBlock& operator=(const ChildEnvironmentBlock&) = delete;
  char** envp() { return pointers_.data(); }

 private:
  std::vector<std::string> texts_;
  std::vector<char*> pointers_;
};

// The one way this program starts another on POSIX: posix_spawn with an argument vector
// (`argv[0]` the program's full path), in the root folder, with ChildEnvironment(). Standard
// input and output are this process's unless a pipe is asked for; standard error is this
// process's or /dev/null.
struct SpawnOptions {
  bool pipeInput = false;    // SpawnedProgram::input: the write end of the child's stdin
  bool pipeOutput = false;   // SpawnedProgram::output: the read end of the child's stdout
  bool errorToNull = false;  // the child's stderr goes to /dev/null
};
struct SpawnedProgram {
  pid_t pid = -1;
  int input = -1;   // owned by the caller, close-on-exec
  int output = -1;  // owned by the caller, close-on-exec
};
// Returns 0 when the program started, else the system's error code (nothing left open).
int SpawnProgram(const std::vector<std::string>& argv, const SpawnOptions& options,
                 SpawnedProgram& started);

// Reads `fd` (a started program's output) to its end, closes it and returns what was read.
std::string ReadToEndAndClose(int fd);
#endif

}  // namespace kdx::platform
