// MAPI_DIALOG: the desktop's mail client opens its compose window through xdg-email.

#include <cstdio>

#include "Provider.h"

namespace kdx::provider {

KdxMapiUlong ComposeInMailClient(const OutgoingMail& mail) {
  const std::string program = FindProgram("xdg-email", {"/usr/bin", "/usr/local/bin"});
  if (program.empty()) {
    std::fprintf(stderr, "kdxmapi: xdg-email was not found; no mail client can be opened\n");
    return MAPI_E_FAILURE;
  }
  // Every text is one argument of its own; xdg-email refuses empty values, so those are left out.
  std::vector<std::string> argv = {program, "--utf8"};
  for (const Recipient& r : mail.recipients) {
    if (r.recipClass == MAPI_ORIG) continue;
    const char* option = r.recipClass == MAPI_CC    ? "--cc"
                         : r.recipClass == MAPI_BCC ? "--bcc"
                                                    : "--to";
    argv.push_back(option);
    argv.push_back(r.address);
  }
  if (!mail.subject.empty()) {
    argv.push_back("--subject");
    argv.push_back(mail.subject);
  }
  if (!mail.body.empty()) {
    argv.push_back("--body");
    argv.push_back(mail.body);
  }
  for (const Attachment& a : mail.attachments) {
    argv.push_back("--attach");
    argv.push_back(a.path);
  }
  const int status = RunProgram(argv, false, {});
  switch (status) {
    case 0:
      return SUCCESS_SUCCESS;
    case 2:  // a file to attach does not exist
      return MAPI_E_ATTACHMENT_NOT_FOUND;
    case 5:  // no permission to read a file to attach
      return MAPI_E_ATTACHMENT_OPEN_FAILURE;
    case 3:  // no mail client (no method available)
      std::fprintf(stderr, "kdxmapi: the desktop has no mail client for xdg-email to open\n");
      return MAPI_E_FAILURE;
    default:  // 1 syntax, 4 the client failed, -1 could not run
      std::fprintf(stderr, "kdxmapi: xdg-email failed (status %d)\n", status);
      return MAPI_E_FAILURE;
  }
}

}  // namespace kdx::provider
