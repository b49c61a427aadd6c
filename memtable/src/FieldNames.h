#pragma once
// Field and index names as the table compares and lists them (internal).

#include <string>
#include <string_view>
#include <vector>

#include "kdx/platform/Text.h"

namespace kdx {

// Field names separated by ';' (blanks around a name ignored, empty names skipped).
inline std::vector<std::string> SplitFieldNames(const std::string& names) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start <= names.size()) {
    std::size_t end = names.find(';', start);
    if (end == std::string::npos) end = names.size();
    std::string name = text::TrimControls(std::string_view(names).substr(start, end - start));
    if (!name.empty()) out.push_back(std::move(name));
    start = end + 1;
  }
  return out;
}

}  // namespace kdx
