#pragma once
// The program's vocabulary for paths on the system it runs on.
//
// Encoding: every path handed to or returned by platform/ (Files.h, Volumes.h, PathSearch.h,
// Environment.h's ExecutablePath...) is UTF-8, on every system. On POSIX those are the bytes the
// kernel sees; the Windows backends convert them to UTF-16 at the call and use the wide API
// (kdx/platform/WideText.h), so a path that the ANSI code page cannot spell still works. Text
// inside the program is cp1250 (Text.h); a caller holding a cp1250 path converts it with
// text::Cp1250ToUtf8 before it reaches a call here.
//
// Style: the separator and what the "drive" of a path is. Windows: the drive is "C:" or the
// network root "\\server\share"; its root is the drive plus "\". Linux has no drive letters: the
// drive of a path is the mount point of the volume that holds it.

#include <string>

namespace kdx::platform {

struct PathStyle {
  char separator = '\\';
  bool driveLetters = true;  // drives are "C:" and "\\server\share"; otherwise mount points
};

inline constexpr PathStyle kWindowsPaths{'\\', true};
inline constexpr PathStyle kPosixPaths{'/', false};

// The style of the system the program runs on.
#ifdef _WIN32
inline constexpr PathStyle kHostPaths = kWindowsPaths;
#else
inline constexpr PathStyle kHostPaths = kPosixPaths;
#endif

inline PathStyle HostPathStyle() {
  return kHostPaths;
}

// The separator that ends a folder path: '/' on POSIX, '\\' on Windows.
inline constexpr char kPathDelim = kHostPaths.separator;

// True when `c` ends the folder part of a path written in `style`: the separator; with drive
// letters also the ':' of a drive ("C:name"). A '/' in a Windows path handed to the program is
// part of the name ("/SETUP" names no folder).
constexpr bool IsPathDelimiter(char c, const PathStyle& style = kHostPaths) {
  return c == style.separator || (style.driveLetters && c == ':');
}

// `dir` and `name` joined by the separator (none added when `dir` already ends with one).
std::string JoinPath(const std::string& dir, const std::string& name,
                     const PathStyle& style = kHostPaths);

// The folder part of `path`: everything up to and including its last delimiter
// (IsPathDelimiter); empty when there is none.
std::string FolderPart(const std::string& path, const PathStyle& style = kHostPaths);
// The bare name: everything after the folder part.
std::string BareName(const std::string& path, const PathStyle& style = kHostPaths);
// The folder that holds `path`, as the system's calls take it: the folder part without its
// final separator, a root ("/", "C:\") kept whole; "." when the path has no folder part.
std::string ContainingFolder(const std::string& path, const PathStyle& style = kHostPaths);

// True when `path` does not depend on the current folder: with drive letters "C:\..." (also
// "C:/...", as the Windows calls take it) or a network path "\\server\..."; otherwise a
// path that starts with the separator.
bool IsFullPath(const std::string& path, const PathStyle& style = kHostPaths);

}  // namespace kdx::platform
