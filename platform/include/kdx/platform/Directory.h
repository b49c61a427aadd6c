#pragma once
// Directory enumeration and the process's current directory.
//
// Paths are native byte strings: UTF-8 with "/" on POSIX, the ANSI code page (cp1250 on the
// program's home systems) with "\" on Windows. Nothing here converts them, so a path is never
// damaged on its way through; the Qt layer decodes them with QFile::decodeName.
//
// Backends: src/posix (getcwd, chdir, opendir/readdir, fnmatch, statfs) and src/win32
// (GetCurrentDirectoryA, SetCurrentDirectoryA, FindFirstFileA, GetVolumeInformationA).

#include <string>
#include <vector>

namespace kdx::fs {

// The native path separator: '/' on POSIX, '\\' on Windows.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

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

}  // namespace kdx::fs
