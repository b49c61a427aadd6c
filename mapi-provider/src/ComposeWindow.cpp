// MAPI_DIALOG: the desktop's mail client opens its compose window through xdg-email.
//
// xdg-email is a shell script with several routes to the mail client. Its own encoding of
// --to/--subject/--attach passes every text through the shell's echo, which takes backslashes
// as escapes, and its Thunderbird route decodes addresses and attachment paths again and puts
// them between single quotes on Thunderbird's command line. So the provider builds the mailto:
// URI itself, with every byte outside letters, digits and ".-_~@/" percent-encoded, hands
// xdg-email only that URI, and lets through only what stays harmless after decoding: addresses
// that are one plain mailbox, and attachment paths that every route carries (other files are
// handed over as a private copy under their own name, ComposeCopies.cpp).

#include <cstdio>
#include <string>

#include "Provider.h"
#include "kdx/platform/ChildProcess.h"
#include "kdx/platform/Url.h"

namespace kdx::provider {

namespace {

// Percent-encodes everything but the unreserved characters and `keep`; every line break
// becomes CR LF, as a mailto: URI carries it.
std::string UriEncode(const std::string& text, const char* keep = "") {
  std::string lines;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      lines += "\r\n";
    } else {
      lines += text[i];
    }
  }
  return PercentEncode(lines, keep);
}

}  // namespace

KdxMapiUlong ComposeInMailClient(const OutgoingMail& mail) {
  const std::string program =
      platform::FindProgramOnPath("xdg-email", {"/usr/bin", "/usr/local/bin"});
  if (program.empty()) {
    std::fprintf(stderr, "kdxmapi: xdg-email was not found; no mail client can be opened\n");
    return MAPI_E_FAILURE;
  }
  // A handler that would drop the attachment is never given the message: the caller shows the
  // user another way.
  if (!mail.attachments.empty() && !MailtoHandlerTakesAttachments()) return MAPI_E_NOT_SUPPORTED;
  std::string query;
  auto add = [&query](const char* field, const std::string& encoded) {
    query += query.empty() ? "?" : "&";
    query += field;
    query += '=';
    query += encoded;
  };
  for (const Recipient& r : mail.recipients) {
    if (r.recipClass == MAPI_ORIG) continue;
    if (!IsPlainMailbox(r.address, MailboxUse::ComposeWindow)) {
      std::fprintf(stderr, "kdxmapi: \"%s\" is not an address the compose window can take\n",
                   r.address.c_str());
      return MAPI_E_UNKNOWN_RECIPIENT;
    }
    add(r.recipClass == MAPI_CC    ? "cc"
        : r.recipClass == MAPI_BCC ? "bcc"
                                   : "to",
        UriEncode(r.address, "@"));
  }
  if (!mail.subject.empty()) add("subject", UriEncode(mail.subject));
  if (!mail.body.empty()) add("body", UriEncode(mail.body));
  ComposeAttachments attachments;
  for (const Attachment& a : mail.attachments) {
    const std::string path = attachments.PathFor(a);
    if (path.empty()) return MAPI_E_ATTACHMENT_WRITE_FAILURE;
    add("attach", UriEncode(path, "/"));
  }
  const int status = RunComposeHandOff({program, "mailto:" + query});
  switch (status) {
    case 0:
      attachments.Keep();
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
