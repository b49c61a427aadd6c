// A stand-in for a program the shell starts on the user's behalf (the mailto: handler of the
// end-to-end tests under Wine): appends its command line after the program's own name, as
// GetCommandLineW gives it and written as UTF-8, as one line to the file that the variable
// KDX_TEST_RECORD_ARGS names, and ends.

#include <windows.h>

#include <cstdio>
#include <string>

int wmain() {
  wchar_t record[MAX_PATH];
  if (GetEnvironmentVariableW(L"KDX_TEST_RECORD_ARGS", record, MAX_PATH) == 0) return 2;
  const wchar_t* line = GetCommandLineW();
  // The program's own name, quoted or not, and the blanks after it.
  if (*line == L'"') {
    for (++line; *line && *line != L'"'; ++line) {
    }
    if (*line) ++line;
  } else {
    while (*line && *line != L' ' && *line != L'\t') ++line;
  }
  while (*line == L' ' || *line == L'\t') ++line;
  const int length = static_cast<int>(wcslen(line));
  const int size = WideCharToMultiByte(CP_UTF8, 0, line, length, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, line, length, utf8.data(), size, nullptr, nullptr);
  FILE* out = _wfopen(record, L"ab");
  if (!out) return 1;
  std::fwrite(utf8.data(), 1, utf8.size(), out);
  std::fputc('\n', out);
  std::fclose(out);
  return 0;
}
