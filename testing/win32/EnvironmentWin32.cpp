// Environment variables of the test process on Windows. The C runtime keeps a copy of its own
// beside the system's; a test changes both, so that the code under test sees the value whichever
// one it reads.

#include <windows.h>
#include <stdlib.h>

#include <stdexcept>

#include "CoreTestSupport.h"

namespace kdx::test {

std::optional<std::string> GetEnv(const std::string& name) {
  for (DWORD size = 0;;) {
    std::string value(size, '\0');
    SetLastError(ERROR_SUCCESS);
    const DWORD got = GetEnvironmentVariableA(name.c_str(), size ? value.data() : nullptr, size);
    if (got == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
    if (got < size || got == 0) {  // copied (the length without the terminating null)
      value.resize(got);
      return value;
    }
    size = got;  // the size the value needs, terminating null included
  }
}

void SetEnv(const std::string& name, const std::optional<std::string>& value) {
  // An empty value removes the variable from the C runtime's copy; the system's keeps it empty.
  const bool runtime = _putenv_s(name.c_str(), value ? value->c_str() : "") == 0;
  const bool system = SetEnvironmentVariableA(name.c_str(), value ? value->c_str() : nullptr) ||
                      (!value && GetLastError() == ERROR_ENVVAR_NOT_FOUND);
  if (!runtime || !system) throw std::runtime_error("cannot set the environment variable " + name);
}

}  // namespace kdx::test
