// Environment variables of the test process on POSIX.

#include <stdlib.h>

#include <stdexcept>

#include "CoreTestSupport.h"

namespace kdx::test {

std::optional<std::string> GetEnv(const std::string& name) {
  const char* value = getenv(name.c_str());
  if (!value) return std::nullopt;
  return std::string(value);
}

void SetEnv(const std::string& name, const std::optional<std::string>& value) {
  const int rc = value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
  if (rc != 0) throw std::runtime_error("cannot set the environment variable " + name);
}

}  // namespace kdx::test
