// The file an attachment path names, resolved once so that the file checked is the file sent.

#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "Provider.h"
#include "kdx/platform/Path.h"

namespace kdx::provider {

std::string ResolveFolderOf(const std::string& path) {
  if (path.empty()) return {};
  const std::string name = platform::BareName(path);
  std::string folder = platform::ContainingFolder(path);
  if (name.empty() || name == "." || name == "..") folder = path;  // the path names a folder
  char* resolved = ::realpath(folder.c_str(), nullptr);
  if (!resolved) return {};
  std::string result = resolved;
  std::free(resolved);
  if (folder == path) return result;
  if (result != "/") result += '/';
  return result + name;
}

}  // namespace kdx::provider
