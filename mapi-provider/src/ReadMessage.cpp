// Checking and converting the Simple MAPI message handed to MAPISendMail.

#include <sys/stat.h>
#include <unistd.h>

#include "Provider.h"
#include "kdx/platform/Path.h"
#include "kdx/platform/PathSearch.h"
#include "kdx/platform/Text.h"

namespace kdx::provider {

namespace {

std::string Utf8(const char* cp1250) {
  return cp1250 ? text::Cp1250ToUtf8(cp1250) : std::string();
}

}  // namespace

KdxMapiUlong ReadMessage(const MapiMessage* message, OutgoingMail& mail) {
  if (!message) return MAPI_E_FAILURE;
  if (message->nRecipCount > 0 && !message->lpRecips) return MAPI_E_FAILURE;
  if (message->nFileCount > 0 && !message->lpFiles) return MAPI_E_FAILURE;

  mail = OutgoingMail{};
  mail.subject = Utf8(message->lpszSubject);
  mail.body = Utf8(message->lpszNoteText);

  for (KdxMapiUlong i = 0; i < message->nRecipCount; ++i) {
    const MapiRecipDesc& desc = message->lpRecips[i];
    if (desc.ulRecipClass > MAPI_BCC) return MAPI_E_BAD_RECIPTYPE;
    Recipient recipient;
    recipient.recipClass = desc.ulRecipClass;
    std::string address = Utf8(desc.lpszAddress);
    if (address.empty()) address = Utf8(desc.lpszName);
    if (text::StartsWithAsciiNoCase(address, "SMTP:")) address.erase(0, 5);
    if (address.empty()) return MAPI_E_INVALID_RECIPS;
    recipient.address = address;
    std::string name = Utf8(desc.lpszName);
    if (name != address && name != Utf8(desc.lpszAddress)) recipient.name = name;
    mail.recipients.push_back(recipient);
  }

  for (KdxMapiUlong i = 0; i < message->nFileCount; ++i) {
    const MapiFileDesc& desc = message->lpFiles[i];
    if (!desc.lpszPathName || !*desc.lpszPathName) return MAPI_E_FAILURE;
    Attachment attachment;
    // Checked, named and read through one resolved path: a ".." after a symbolic link is
    // taken where the link leads, as the file system takes it.
    const std::string given = Utf8(desc.lpszPathName);
    attachment.path = platform::ExpandFullPath(given);
    if (attachment.path.empty()) return MAPI_E_ATTACHMENT_NOT_FOUND;
    struct stat st {};
    if (::stat(attachment.path.c_str(), &st) != 0) return MAPI_E_ATTACHMENT_NOT_FOUND;
    if (!S_ISREG(st.st_mode) || ::access(attachment.path.c_str(), R_OK) != 0) {
      return MAPI_E_ATTACHMENT_OPEN_FAILURE;
    }
    attachment.name = Utf8(desc.lpszFileName);
    if (attachment.name.empty()) {
      attachment.name = platform::BareName(attachment.path);
    }
    mail.attachments.push_back(attachment);
  }
  return SUCCESS_SUCCESS;
}

}  // namespace kdx::provider
