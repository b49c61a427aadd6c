#include "kdx/platform/Errors.h"

namespace kdx {

namespace {
std::string ReplaceFirst(const std::string& pattern, const std::string& value) {
  const auto pos = pattern.find('%');
  if (pos == std::string::npos || pos + 1 >= pattern.size()) return pattern;
  return pattern.substr(0, pos) + value + pattern.substr(pos + 2);
}
}  // namespace

std::string FormatMessage(const std::string& pattern, const std::string& arg) {
  return ReplaceFirst(pattern, arg);
}

std::string FormatMessage(const std::string& pattern, long long arg) {
  return ReplaceFirst(pattern, std::to_string(arg));
}

std::string FormatMessage(const std::string& pattern, const std::string& first,
                          const std::string& second) {
  const auto pos = pattern.find('%');
  if (pos == std::string::npos || pos + 1 >= pattern.size()) return pattern;
  return pattern.substr(0, pos) + first + ReplaceFirst(pattern.substr(pos + 2), second);
}

}  // namespace kdx
