#include "kdx/platform/Path.h"

namespace kdx::platform {

std::string JoinPath(const std::string& dir, const std::string& name, const PathStyle& style) {
  if (!dir.empty() && dir.back() == style.separator) return dir + name;
  return dir + style.separator + name;
}

std::string FolderPart(const std::string& path, const PathStyle& style) {
  for (size_t i = path.size(); i > 0; --i) {
    if (IsPathDelimiter(path[i - 1], style)) return path.substr(0, i);
  }
  return {};
}

std::string BareName(const std::string& path, const PathStyle& style) {
  return path.substr(FolderPart(path, style).size());
}

std::string ContainingFolder(const std::string& path, const PathStyle& style) {
  std::string folder = FolderPart(path, style);
  if (folder.empty()) return ".";
  const bool root = folder.size() == 1 || (style.driveLetters && folder.size() == 3 &&
                                           folder[1] == ':' && folder[2] == style.separator);
  if (!root && folder.back() == style.separator) folder.pop_back();
  return folder;
}

bool IsFullPath(const std::string& path, const PathStyle& style) {
  if (!style.driveLetters) return !path.empty() && path[0] == style.separator;
  return (path.size() >= 3 && path[1] == ':' && (path[2] == style.separator || path[2] == '/')) ||
         path.rfind(std::string(2, style.separator), 0) == 0;
}

}  // namespace kdx::platform
