// A stand-in for the hand-off helper that fails the way a helper can fail, chosen by the
// environment variable KDX_FAKE_HELPER: "crash" reads the request and ends at once with the
// exit code of an access violation, as a process the system ends for a crash does (a real fault
// would start Wine's debugger), "partial" writes the first bytes of a valid answer and ends,
// "silent" ends with exit code 3 without a word.

#include <windows.h>

#include <cstdlib>
#include <string>

#include "kdx/mail/HandOff.h"

int main() {
  char buffer[4096];
  DWORD n = 0;
  while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &n, nullptr) && n > 0) {
  }
  char mode[32] = {};
  GetEnvironmentVariableA("KDX_FAKE_HELPER", mode, sizeof mode);
  if (std::string(mode) == "crash") TerminateProcess(GetCurrentProcess(), 0xC0000005);
  if (std::string(mode) == "partial") {
    const std::string reply =
        kdx::mail::EncodeHandOffReply({kdx::mail::HandOffReplyKind::Result, 0, "sent"});
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), reply.data(), 12, &n, nullptr);
    return 0;
  }
  return 3;
}
