#include "kdx/platform/Path.h"

namespace kdx::platform {

std::string JoinPath(const std::string& dir, const std::string& name, const PathStyle& style) {
  if (!dir.empty() && dir.back() == style.separator) return dir + name;
  return dir + style.separator + name;
}

}  // namespace kdx::platform
