#include "kdx/picker/PathFit.h"

namespace kdx::picker {

std::string FitPathToWidth(const std::string& path, int limit, const TextWidthFn& measure,
                           char separator) {
  const std::string sep(1, separator);
  const std::string marker = "..." + sep;  // what a cut leaves in front of the rest
  const std::string cutRoot = sep + marker;

  std::string result = path;
  const size_t lastSep = path.rfind(separator);
  std::string dir = lastSep == std::string::npos ? std::string() : path.substr(0, lastSep + 1);
  const std::string name = lastSep == std::string::npos ? path : path.substr(lastSep + 1);
  // A root ("C:\", "/") has no name to fall back on: it is shown whole, never cut to nothing.
  if (name.empty()) return path;
  std::string drive;
  if (dir.size() >= 2 && dir[1] == ':') {
    drive = dir.substr(0, 2);
    dir.erase(0, 2);
  }

  while ((!dir.empty() || !drive.empty()) && measure(result) > limit) {
    if (dir == cutRoot) {
      drive.clear();
      dir = marker;
    } else if (dir.empty()) {
      drive.clear();
    } else if (dir == sep) {
      // The root separator goes together with the drive: "C:" without it would name the
      // drive's current directory, a different folder.
      dir.clear();
      drive.clear();
    } else {
      std::string lead;
      if (dir.compare(0, 1, sep) == 0) {
        lead = sep;
        dir.erase(0, 1);
      }
      // Only the marker of an earlier cut is skipped, not a folder whose name starts with ".".
      if (dir.compare(0, marker.size(), marker) == 0) dir.erase(0, marker.size());
      const size_t next = dir.find(separator);
      dir = next == std::string::npos ? std::string() : marker + dir.substr(next + 1);
      dir = lead + dir;
    }
    result = drive + dir + name;
  }
  return result;
}

}  // namespace kdx::picker
