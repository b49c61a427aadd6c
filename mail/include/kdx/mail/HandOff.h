#pragma once
// The hand-off to a helper process of the other bitness: a Simple MAPI client library runs only
// inside a process of its own bitness, so when the chosen library is of the other one the
// message crosses to the helper (kdxmapi32.exe beside a 64-bit program) over a pipe, the helper
// makes the one MAPISendMail call and answers the call's result.
//
// Wire format, little-endian, versioned and length-checked; no field is ever parsed out of text:
//   request  "KDXH" | u16 version (1) | u32 length of the rest | body
//   body     str library | u64 parent window | u32 flags | str subject | str note text |
//            u32 recipient count | recipients | u32 file count | files
//   recipient  u32 class | str name | opt address
//   file       u32 flags | u32 position | str path | opt name
//   reply    "KDXA" | u16 version (1) | u32 length of the rest | u8 kind | u32 code | str text
//   str      u32 byte count | bytes (cp1250, no zero byte)
//   opt      u8 0 (null pointer) | u8 1 str
// A decoder takes exactly one whole message: a wrong magic or version, a length that does not
// match the bytes, a count or a text beyond its limit, a zero byte inside a text, an unknown
// kind or trailing bytes refuse it.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kdx/platform/TopWindows.h"

namespace kdx::mail {

inline constexpr std::uint16_t kHandOffVersion = 1;
inline constexpr std::uint32_t kHandOffMaxText = 16u * 1024 * 1024;  // the note text may be long
inline constexpr std::uint32_t kHandOffMaxEntries = 4096;            // recipients, files
inline constexpr std::uint32_t kHandOffMaxMessage = 64u * 1024 * 1024;

struct HandOffRecipient {
  std::uint32_t recipClass = 0;
  std::string name;
  std::optional<std::string> address;
  bool operator==(const HandOffRecipient&) const = default;
};

struct HandOffFile {
  std::uint32_t flags = 0;
  std::uint32_t position = 0xFFFFFFFFu;
  std::string path;
  std::optional<std::string> name;
  bool operator==(const HandOffFile&) const = default;
};

// One MAPISendMail call: the library to load ("mapi32.dll" or a client's path), the parent
// window handle (ulUIParam), the flags and the message.
struct HandOffRequest {
  std::string library;
  std::uint64_t parentWindow = 0;
  std::uint32_t flags = 0;
  std::string subject;
  std::string noteText;
  std::vector<HandOffRecipient> recipients;
  std::vector<HandOffFile> files;
  bool operator==(const HandOffRequest&) const = default;
};

enum class HandOffReplyKind : std::uint8_t {
  Result = 1,       // MAPISendMail returned `code`
  LoadFailed = 2,   // the library did not load: `code` the system error, `text` its text
  NotExported = 3,  // `text` names the first of the twelve entry points the library lacks
  Refused = 4,      // the request was malformed: `text` says why
};

struct HandOffReply {
  HandOffReplyKind kind = HandOffReplyKind::Result;
  std::uint32_t code = 0;
  std::string text;
  bool operator==(const HandOffReply&) const = default;
};

// Encoders raise std::length_error when a text, a count or the whole message is beyond its
// limit, or std::invalid_argument when a text holds a zero byte; they never write what the
// decoder would refuse.
std::string EncodeHandOffRequest(const HandOffRequest& request);
std::string EncodeHandOffReply(const HandOffReply& reply);

// nullopt (and the reason in `error` when given) for anything but one whole valid message.
std::optional<HandOffRequest> DecodeHandOffRequest(std::string_view bytes,
                                                   std::string* error = nullptr);
std::optional<HandOffReply> DecodeHandOffReply(std::string_view bytes,
                                               std::string* error = nullptr);

// The size a whole message will have, from its first ten bytes (magic, version, length); nullopt
// while fewer are there, or when they cannot start a message of this version.
std::optional<std::uint64_t> HandOffMessageSize(std::string_view head);

// Runs the helper `helperPath` (UTF-8) for one request, `owner` disabled meanwhile, and returns
// the MAPISendMail result it answers. Raises what the same failure raises in this process
// (EOSError for a library that does not load, EMapiError "Function ... is not exported by
// client"), and EMapiError with ErrorCode 0 naming the helper when it cannot be started, refuses
// the request or ends without a whole answer.
std::uint32_t SendThroughHandOffHelper(const std::string& helperPath, const HandOffRequest& request,
                                       platform::WindowHandle owner);

// The hand-off helper of the other bitness, beside the running program: "kdxmapi32.exe" beside
// a 64-bit program, "kdxmapi64.exe" beside a 32-bit one. The path is UTF-8, as the file system's.
std::string HandOffHelperName();
std::string HandOffHelperPath();

}  // namespace kdx::mail
