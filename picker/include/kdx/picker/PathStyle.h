#pragma once
// How paths are written: the separator and what the "drive" of a path is.
//
// Windows: the drive is "C:" or the network root "\\server\share"; its root is the drive plus
// "\". Linux has no drive letters: the drive of a path is the mount point of the volume that
// holds it, among the volumes the drive list offers (the longest one that is a prefix of the
// path), written without its trailing "/" ("" for the root file system, "/home",
// "/media/petr/USB"); its root is the mount point with the trailing "/".

#include <string>
#include <vector>

namespace kdx::picker {

struct PathStyle {
  char separator = '\\';
  bool driveLetters = true;  // drives are "C:" and "\\server\share"; otherwise mount points
};

inline constexpr PathStyle kWindowsPaths{'\\', true};
inline constexpr PathStyle kPosixPaths{'/', false};

// The style of the platform the program runs on.
PathStyle HostPathStyle();

// The drive of `path` (see above). `volumeRoots` are the roots of the offered volumes ("/",
// "/home/", ...); they are used only without drive letters.
std::string DriveOfPath(const std::string& path, const PathStyle& style,
                        const std::vector<std::string>& volumeRoots);

// `dir` and `name` joined by the separator (none added when `dir` already ends with one).
std::string JoinPath(const std::string& dir, const std::string& name, const PathStyle& style);

// Two file names are the same, ignoring letter case unless `caseSensitive`.
bool SameFileName(const std::string& a, const std::string& b, bool caseSensitive);

// Lower-cases cp1250 text (the inverse of the upper-casing of letters; other bytes unchanged).
std::string LowerCaseCp1250(const std::string& text);

}  // namespace kdx::picker
