#pragma once
// Inside the provider: the message as the provider understands it, and the two ways out
// (the desktop's compose window, a sendmail-compatible program).

#include <string>
#include <vector>

#include "kdx/mail/MapiTypes.h"

namespace kdx::provider {

struct Recipient {
  KdxMapiUlong recipClass = MAPI_TO;
  std::string address;  // UTF-8, "SMTP:" prefix removed
  std::string name;     // UTF-8 display name; empty when it only repeats the address
};

struct Attachment {
  std::string path;  // native (UTF-8) path
  std::string name;  // UTF-8 name shown to the recipient
};

struct OutgoingMail {
  std::vector<Recipient> recipients;  // originator included (class MAPI_ORIG)
  std::string subject;                // UTF-8
  std::string body;                   // UTF-8
  std::vector<Attachment> attachments;
};

// Checks the Simple MAPI message and converts it: 0, or MAPI_E_FAILURE for a malformed message,
// MAPI_E_BAD_RECIPTYPE for an unknown recipient class, MAPI_E_ATTACHMENT_NOT_FOUND for a missing
// attachment, MAPI_E_ATTACHMENT_OPEN_FAILURE for one that is not a readable file.
KdxMapiUlong ReadMessage(const MapiMessage* message, OutgoingMail& mail);

// Opens the compose window through xdg-email. Returns the Simple MAPI result.
KdxMapiUlong ComposeInMailClient(const OutgoingMail& mail);

// Builds the MIME message and submits it to sendmail -t -oi. Returns the Simple MAPI result;
// sets `noSendmail` (and returns MAPI_E_FAILURE) when no sendmail-compatible program exists.
KdxMapiUlong SubmitToSendmail(const OutgoingMail& mail, bool& noSendmail);

// The MIME message (RFC 5322, LF line ends) for `mail`; empty with `error` set when a
// recipient's address cannot stand in a header as a single mailbox (MAPI_E_UNKNOWN_RECIPIENT)
// or an attachment cannot be read (MAPI_E_ATTACHMENT_OPEN_FAILURE).
std::string BuildMimeMessage(const OutgoingMail& mail, KdxMapiUlong& error);

// --- programs -------------------------------------------------------------------------------

// The full path of an executable `name` found on $PATH, then in `extraDirs`; empty if none.
std::string FindProgram(const std::string& name, const std::vector<std::string>& extraDirs);

// Runs `argv` (argv[0] a full path) without a shell, writing `input` to its standard input when
// `feedInput` is true (else it inherits ours). Returns the exit status (0-255), or -1 when the
// program could not be started or did not exit normally.
int RunProgram(const std::vector<std::string>& argv, bool feedInput, const std::string& input);

}  // namespace kdx::provider
