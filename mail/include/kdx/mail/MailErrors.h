#pragma once
// The mail hand-off's failures (exceptions, their fixed English texts) and the Simple MAPI
// result codes read as results or failures. Texts are 8-bit cp1250.

#include <cstdint>
#include <string>

#include "kdx/platform/Errors.h"

namespace kdx::mail {

// --- exceptions ---------------------------------------------------------------------------

// Root of the mail hand-off's failures.
class EMailError : public Exception {
 public:
  using Exception::Exception;
};

// A Simple MAPI failure. `ErrorCode` is the Simple MAPI result code, 0 for failures that are
// not a result code ("No Simple MAPI client installed, ...", a missing entry point).
class EMapiError : public EMailError {
 public:
  EMapiError(const std::string& message, std::uint32_t code)
      : EMailError(message), ErrorCode(code) {}
  std::uint32_t ErrorCode;
};

// No program on this system can take the message with its attachment: discovery found no usable
// Simple MAPI client, only the system's "mapi32.dll" stub is registered with no usable default
// client behind it (the stub would answer with a box of its own and fail), or the bundled Linux
// provider found that the desktop's mailto: handler drops attachments (a browser, no handler).
// Raised before anything is handed over, so the caller can offer another way to send the file.
// `ErrorCode` keeps the code of the situation: 0 when the program itself found no client (the
// message is "No Simple MAPI client installed, ..."), 26 (MAPI_E_NOT_SUPPORTED) when the provider
// answered so ("MAPI Error: (26) "Not supported"").
class ENoMailClient : public EMapiError {
 public:
  using EMapiError::EMapiError;
};

// A registry key that had to be read could not be ("Unable to open key "%s" for read"), or a
// registry file of the POSIX stand-in is malformed.
class ERegistryError : public EMailError {
 public:
  using EMailError::EMailError;
};

// A failed operating-system call: "System Error.  Code: %d.\r\n%s" (kdx::EOSError).
using kdx::EOSError;

// --- fixed texts ----------------------------------------------------------------------------

inline constexpr const char* kNoMapiClientText =
    "No Simple MAPI client installed, cannot send the message";
inline constexpr const char* kMapiErrorFormat = "MAPI Error: (%d) \"%s\"";
inline constexpr const char* kNotExportedFormat = "Function \"%s\" is not exported by client";
inline constexpr const char* kUnableToOpenKeyFormat = "Unable to open key \"%s\" for read";
inline constexpr const char* kSystemErrorFormat = "System Error.  Code: %d.\r\n%s";
inline constexpr const char* kOSFunctionFailedText = "A call to an OS function failed";
// An attachment whose full path code page 1250 cannot spell, while the path as given is not a
// full one (a relative name in a folder named in another script).
inline constexpr const char* kAttachmentPathFormat =
    "The full path of the attachment \"%s\" cannot be written in code page 1250";
// The hand-off helper of the other bitness (first placeholder: its path).
inline constexpr const char* kHandOffStartFormat =
    "Cannot start the mail hand-off helper \"%s\": %s";
inline constexpr const char* kHandOffNoAnswerFormat =
    "The mail hand-off helper \"%s\" ended without an answer (exit code %s); the message was not "
    "sent";
inline constexpr const char* kHandOffRefusedFormat =
    "The mail hand-off helper \"%s\" refused the message: %s";

// --- results --------------------------------------------------------------------------------

// The EOSError of a library that did not load: "System Error.  Code: <code>.\r\n<text>" with the
// system's code and text; without a code (the POSIX loader gives none) "A call to an OS function
// failed", with the loader's text, when there is one, after ".\r\n".
EOSError LibraryLoadError(unsigned long code, const std::string& text);

// "MAPI Error: (<code>) "<text>"", the message of a result code's EMapiError.
std::string MapiErrorMessage(std::uint32_t code);

// Returns `code` when it is 0 (SUCCESS_SUCCESS), or 1 (MAPI_USER_ABORT) and `ignoreUserAbort`;
// raises EMapiError "MAPI Error: (<code>) "<text>"" with ErrorCode = code otherwise.
std::uint32_t CheckMapiResult(std::uint32_t code, bool ignoreUserAbort);

// The fixed English text of a Simple MAPI result code; empty for 0, 7 and unknown codes.
std::string MapiResultText(std::uint32_t code);

}  // namespace kdx::mail
