#pragma once
// The file system as the program uses it: existence tests, the replacing copy that the receive
// action makes, file identity, folder listing with Windows-style masks, the process's current
// folder, volume case flags and the executable's path.
//
// Paths are UTF-8 on every system (see Path.h), never cp1250, so a path that cp1250 cannot spell
// still works. Failures raise kdx::EOSError with the system's error code.
//
// Backends: src/posix (stat, open/rename, getcwd, chdir, opendir/readdir, fnmatch, statfs) and
// src/win32 (the wide calls: CopyFileW, GetCurrentDirectoryW, SetCurrentDirectoryW,
// FindFirstFileW, GetVolumeInformationW ...).

#include <string>
#include <vector>

#include "kdx/platform/Path.h"

namespace kdx::platform {

// True when a regular file (or a link to one) exists at `path`. Folders do not count.
bool FileExists(const std::string& path);

// True when a folder (or a link to one) exists at `path`.
bool DirectoryExists(const std::string& path);

// True when both paths name one existing object of the file system, however spelled: the same
// device and inode on POSIX (symbolic links followed, hard links and bind mounts included), the
// same volume serial and file index on Windows. False when either does not exist.
bool SameFile(const std::string& a, const std::string& b);

// True when a file exists at `path` that the caller may not replace: it is marked read-only (the
// read-only attribute on Windows; no write permission bit at all on POSIX, which binds the
// administrator too, as the attribute does) or the caller has no right to write it. False when
// nothing exists there.
bool IsReadOnlyFile(const std::string& path);

// Copies the file `source` to `target`, replacing a file there. The copy is written to a
// temporary file in the target's folder and renamed over `target`, so `target` is never seen
// half written and a failed copy leaves an existing `target` unchanged (no temporary file is
// left behind). The copy gets the source's permission bits. A `target` that IsReadOnlyFile
// fails the copy (EACCES / ERROR_ACCESS_DENIED), as Windows' copy does, although the folder
// would let a rename replace it. Raises EOSError on failure.
void CopyFileReplacing(const std::string& source, const std::string& target);

// Removes the file at `path`; raises EOSError on failure.
void RemoveFile(const std::string& path);

// Full native path of the running executable.
std::string ExecutablePath();

// --- folders ----------------------------------------------------------------------------------

// The process's current directory as the system reports it (no trailing separator except for a
// root such as "/" or "C:\"). Raises EOSError when the system cannot report it (for example
// when the directory was removed while current).
std::string GetCurrentDir();

// Makes `path` the process's current directory. Raises EOSError ("Cannot change to directory
// "<path>": <reason>") when that fails; the current directory is then unchanged.
void SetCurrentDir(const std::string& path);

// One entry of a directory listing.
struct DirEntry {
  std::string name;  // bare name, never "." or ".."
  bool directory = false;
  bool hidden = false;    // POSIX: the name starts with "."; Windows: FILE_ATTRIBUTE_HIDDEN
  bool system = false;    // Windows: FILE_ATTRIBUTE_SYSTEM; POSIX: never
  bool readOnly = false;  // Windows: FILE_ATTRIBUTE_READONLY; POSIX: not writable by us
  bool archive = false;   // Windows: FILE_ATTRIBUTE_ARCHIVE; POSIX: never
};

// Lists the entries of `dir` whose names match the wildcard `mask` ("*" any run, "?" one
// character, letter case ignored; "*.*" and "*" match every name, as the Windows file search
// does). Order is the system's. "." and ".." are never returned. An entry that vanishes or
// cannot be examined while the list is read is left out. Raises EOSError when `dir` cannot be
// opened.
std::vector<DirEntry> ListDirectory(const std::string& dir, const std::string& mask = "*.*");

// Case behaviour of the volume that holds `path`.
struct VolumeCaseFlags {
  bool casePreserved = true;  // names keep the letter case they were created with
  bool caseSensitive = true;  // "a" and "A" are different names
};

// Reads the case flags of the volume holding `path`. When they cannot be read the defaults of
// the platform are returned (POSIX: preserved and sensitive; Windows: preserved, insensitive).
VolumeCaseFlags GetVolumeCaseFlags(const std::string& path);

}  // namespace kdx::platform
