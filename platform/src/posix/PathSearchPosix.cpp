// Existence test and full-path expansion on POSIX.

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <vector>

#include "kdx/platform/Path.h"
#include "kdx/platform/PathSearch.h"

namespace kdx::platform {

bool FileExistsBySearch(const std::string& path) {
  if (path.empty()) return false;
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

std::string ExpandFullPath(const std::string& path) {
  if (path.empty()) return path;
  std::string absolute;
  if (path[0] == '/') {
    absolute = path;
  } else {
    std::vector<char> buffer(PATH_MAX);
    if (!::getcwd(buffer.data(), buffer.size())) return path;
    absolute = std::string(buffer.data()) + "/" + path;
  }
  // The folder is resolved as the file system resolves it, through symbolic links: a ".."
  // after a link leads to the parent of the link's target. The last name is kept as given.
  const std::string name = BareName(absolute);
  const std::string folder = ContainingFolder(absolute);
  const bool wholePath = name.empty() || name == "." || name == "..";
  if (char* real = ::realpath((wholePath ? absolute : folder).c_str(), nullptr)) {
    std::string result = real;
    std::free(real);
    if (wholePath) return result;
    if (result != "/") result += '/';
    return result + name;
  }
  // A folder that does not exist: "." and ".." resolved as text.
  std::vector<std::string> parts;
  std::string part;
  for (std::size_t i = 0; i <= absolute.size(); ++i) {
    if (i == absolute.size() || absolute[i] == '/') {
      if (part == "..") {
        if (!parts.empty()) parts.pop_back();
      } else if (!part.empty() && part != ".") {
        parts.push_back(part);
      }
      part.clear();
    } else {
      part += absolute[i];
    }
  }
  std::string result;
  for (const std::string& p : parts) result += "/" + p;
  if (result.empty()) result.assign(1, '/');
  if (absolute.size() > 1 && absolute.back() == '/' && result != "/") result += "/";
  return result;
}

}  // namespace kdx::platform
