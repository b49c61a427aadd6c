// Sends one message the way the program does, through the registry's built-in default and the
// bundled provider found beside this executable, and prints the outcome:
// bundled_send_probe <system registry folder> <attachment (UTF-8)>. A test copies it, with the
// provider, into folders of every kind of name.

#include <cstdio>
#include <exception>

#include "kdx/mail/MapiEmail.h"
#include "kdx/platform/Registry.h"
#include "kdx/platform/Text.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: bundled_send_probe <system registry folder> <attachment>\n");
    return 2;
  }
  const kdx::platform::ScopedSystemRegistryFolderForTesting systemFolder(argv[1]);
  try {
    kdx::mail::TMapiEmail email;
    if (!email.HasUsableClient()) {
      std::printf("no usable client: %s\n", email.ClientLibraryPath().c_str());
      return 1;
    }
    email.Recipients.AddRecipient("a@example.test", "", kdx::mail::RecipientKind::To, "");
    email.Subject = "s";
    email.Attachments.push_back(kdx::text::Utf8ToCp1250(argv[2]));
    std::printf(email.Send(false) ? "sent\n" : "not sent\n");
    return 0;
  } catch (const std::exception& e) {
    std::printf("%s\n", e.what());
    return 1;
  }
}
