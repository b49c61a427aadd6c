// Environment expansion and system facts on POSIX.

#include <unistd.h>

#include <cstdlib>

#include "kdx/platform/Environment.h"
#include "kdx/platform/Text.h"

namespace kdx::platform {

bool ExpandEnvironmentReferences(const std::string& text, std::string& result) {
  std::string out;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] != '%') {
      out += text[i++];
      continue;
    }
    const std::size_t close = text.find('%', i + 1);
    if (close == std::string::npos) {
      out += text.substr(i);
      break;
    }
    const std::string name = text.substr(i + 1, close - i - 1);
    const char* value = name.empty() ? nullptr : std::getenv(text::Cp1250ToUtf8(name).c_str());
    if (value) {
      out += text::Utf8ToCp1250(value);
      i = close + 1;
    } else {
      // Not a reference to a set variable: keep the '%' and look for one from the next '%'.
      out += text.substr(i, close - i);
      i = close;
    }
  }
  result = out;
  return true;
}

bool IsWindowsNtFamily() {
  return true;
}

unsigned long CurrentProcessId() {
  return static_cast<unsigned long>(::getpid());
}

std::vector<std::string> ProgramArguments(int argc, const char* const* argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc && argv[i]; ++i) arguments.emplace_back(argv[i]);
  return arguments;
}

}  // namespace kdx::platform
