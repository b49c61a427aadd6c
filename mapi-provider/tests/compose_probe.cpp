// Calls the provider's MAPISendMail with the compose window, as the program does for a send
// definition with the compose window on, and prints the result: compose_probe <provider>
// <address> <subject (UTF-8)> <attachment (UTF-8)>... KDX_PROVIDER_UNDER_TEST names another
// provider.

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "kdx/mail/MapiTypes.h"
#include "kdx/platform/Text.h"

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: compose_probe <provider> <address> <subject> <attachment>...\n");
    return 2;
  }
  const char* other = std::getenv("KDX_PROVIDER_UNDER_TEST");
  void* provider = dlopen(other && *other ? other : argv[1], RTLD_NOW | RTLD_LOCAL);
  if (!provider) {
    std::fprintf(stderr, "%s\n", dlerror());
    return 2;
  }
  auto send = reinterpret_cast<LPMAPISENDMAIL>(dlsym(provider, "MAPISendMail"));
  std::string address = argv[2];
  std::string smtp = "SMTP:" + address;
  std::string subject = kdx::text::Utf8ToCp1250(argv[3]);
  std::string body;
  std::vector<std::string> paths(argv + 4, argv + argc);
  std::vector<MapiFileDesc> files;
  for (std::string& path : paths) {
    path = kdx::text::Utf8ToCp1250(path);
    files.push_back({0, 0, 0xFFFFFFFFu, path.data(), nullptr, nullptr});
  }
  MapiRecipDesc recip{0, MAPI_TO, address.data(), smtp.data(), 0, nullptr};
  MapiMessage message{};
  message.lpszSubject = subject.data();
  message.lpszNoteText = body.data();
  message.nRecipCount = 1;
  message.lpRecips = &recip;
  message.nFileCount = static_cast<KdxMapiUlong>(files.size());
  message.lpFiles = files.data();
  const KdxMapiUlong result = send(0, 0, &message, MAPI_LOGON_UI | MAPI_DIALOG, 0);
  std::printf("result %u\n", static_cast<unsigned>(result));
  std::fflush(stdout);
  return 0;
}
