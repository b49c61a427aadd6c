// Environment expansion and system facts on Windows.

#include <windows.h>
#include <shellapi.h>

#include <vector>

#include "kdx/platform/Environment.h"
#include "kdx/platform/WideText.h"

namespace kdx::platform {

bool ExpandEnvironmentReferences(const std::string& text, std::string& result) {
  const DWORD needed = ExpandEnvironmentStringsA(text.c_str(), nullptr, 0);
  if (needed == 0) return false;
  std::vector<char> buffer(needed + 1, '\0');
  const DWORD written = ExpandEnvironmentStringsA(text.c_str(), buffer.data(), needed + 1);
  if (written == 0 || written > needed + 1) return false;
  result.assign(buffer.data());
  return true;
}

bool IsWindowsNtFamily() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof(info);
#if defined(_MSC_VER)
#pragma warning(suppress : 4996)
#endif
  if (!GetVersionExA(&info)) return true;
  return info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

unsigned long CurrentProcessId() {
  return GetCurrentProcessId();
}

std::vector<std::string> ProgramArguments(int, const char* const*) {
  std::vector<std::string> arguments;
  int count = 0;
  LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!words) return arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(Utf8(words[i]));
  LocalFree(words);
  return arguments;
}

}  // namespace kdx::platform
