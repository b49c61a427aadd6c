#pragma once
// Windows only: where the program's UTF-8 (the paths of the platform interface, Path.h; the
// table files' paths; the texts handed to the system) meets the wide Windows API. Every caller
// converts here, at the call: platform's backends, the table files, the application's folders.

#ifndef _WIN32
#error "kdx/platform/WideText.h is for Windows code only"
#endif

#include <windows.h>

#include <string>
#include <string_view>

namespace kdx::platform {

inline std::wstring Wide(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
  return w;
}

inline std::string Utf8(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr,
                                    0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), s.data(), n, nullptr,
                      nullptr);
  return s;
}

}  // namespace kdx::platform
