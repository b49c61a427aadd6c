// The file an attachment path names, resolved once so that the file checked is the file sent.

#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "Provider.h"

namespace kdx::provider {

std::string ResolveFolderOf(const std::string& path) {
  if (path.empty()) return {};
  const auto slash = path.rfind('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
  if (folder.empty()) folder = "/";
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
