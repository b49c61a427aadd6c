// Stand-in for the Qt program in the installer that the cross build makes (Qt itself is not
// cross-compiled here). It shows no window: it writes its command line, one argument per line,
// to the file named by the environment variable KDX_PLACEHOLDER_RECORD, so that a test can see
// what the file association hands over, and ends. Without that variable it does nothing.

#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
  char record[MAX_PATH] = {};
  const DWORD n = GetEnvironmentVariableA("KDX_PLACEHOLDER_RECORD", record, sizeof record);
  if (n == 0 || n >= sizeof record) return 0;
  FILE* f = std::fopen(record, "ab");
  if (!f) return 1;
  std::fprintf(f, "argc=%d\n", argc - 1);
  for (int i = 1; i < argc; ++i) std::fprintf(f, "arg=%s\n", argv[i]);
  std::fprintf(f, "end\n");
  std::fclose(f);
  return 0;
}
