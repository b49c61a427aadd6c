// MAPI_DIALOG: the desktop's mail client opens its compose window through xdg-email.
//
// xdg-email is a shell script with several routes to the mail client. Its own encoding of
// --to/--subject/--attach passes every text through the shell's echo, which takes backslashes
// as escapes, and its Thunderbird route decodes addresses and attachment paths again and puts
// them between single quotes on Thunderbird's command line. So the provider builds the mailto:
// URI itself, with every byte outside letters, digits and ".-_~@/" percent-encoded, hands
// xdg-email only that URI, and lets through only what stays harmless after decoding: addresses
// that are one plain mailbox, and attachment paths of plain characters (other files are handed
// over as a private copy under a plain name).

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "Provider.h"
#include "kdx/platform/ChildProcess.h"
#include "kdx/platform/Url.h"

namespace kdx::provider {

namespace {

bool IsUnreserved(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

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

// Characters a path may hold and still reach every mail client as itself: no quote, comma,
// backslash, percent sign or other character that one of xdg-email's routes or a client's
// command line gives a meaning.
bool IsPlainPathChar(unsigned char c) {
  return IsUnreserved(c) || c == '/' || c == '+' || c == ' ' || c >= 0x80;
}

bool IsPlainPath(const std::string& path) {
  if (!IsValidUtf8(path)) return false;
  for (char c : path) {
    if (!IsPlainPathChar(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

// `name` with every character that is not plain replaced by "_"; never empty, never hidden.
std::string PlainName(const std::string& name) {
  std::string out = IsValidUtf8(name) ? name : std::string();
  for (char& c : out) {
    if (!IsPlainPathChar(static_cast<unsigned char>(c)) || c == '/') c = '_';
  }
  if (out.empty() || out[0] == '.' || out[0] == ' ' || out[0] == '-') out.insert(0, "attachment");
  return out;
}

// A private folder for copies: mode 0700, under $TMPDIR when that names a folder by a plain
// path, else under /tmp. Empty (with a message) when none can be made.
std::string MakePrivateFolder() {
  std::string base = "/tmp";
  if (const char* tmp = std::getenv("TMPDIR"); tmp && tmp[0] == '/' && IsPlainPath(tmp)) {
    std::error_code error;
    if (std::filesystem::is_directory(tmp, error)) base = tmp;
  }
  std::string pattern = base + "/kdx-mail-XXXXXX";
  if (!::mkdtemp(pattern.data())) {
    std::fprintf(stderr, "kdxmapi: cannot make a private folder in %s: %s\n", base.c_str(),
                 std::strerror(errno));
    return {};
  }
  return pattern;
}

// The private folder of one hand-off: removed with its copies unless the mail client has taken
// the message (it reads them when the user sends, long after the call).
class PrivateFolder {
 public:
  PrivateFolder() = default;
  ~PrivateFolder() {
    if (path_.empty() || keep_) return;
    std::error_code error;
    std::filesystem::remove_all(path_, error);
  }
  PrivateFolder(const PrivateFolder&) = delete;
  PrivateFolder& operator=(const PrivateFolder&) = delete;

  // The folder, made on first use; empty when it cannot be made.
  const std::string& Path() {
    if (path_.empty()) path_ = MakePrivateFolder();
    return path_;
  }
  void Keep() { keep_ = true; }

 private:
  std::string path_;
  bool keep_ = false;
};

// The path handed to the mail client for `attachment`: the file's own path when it is plain,
// else a copy in the private folder under a plain form of its name. Empty when the copy failed.
std::string PathForClient(const Attachment& attachment, PrivateFolder& folder) {
  if (IsPlainPath(attachment.path)) return attachment.path;
  const std::string& privateFolder = folder.Path();
  if (privateFolder.empty()) return {};
  const std::string base = attachment.path.substr(attachment.path.rfind('/') + 1);
  std::string copy = privateFolder + "/" + PlainName(base);
  for (int n = 2; std::filesystem::exists(copy); ++n) {
    copy = privateFolder + "/" + std::to_string(n) + "-" + PlainName(base);
  }
  std::error_code error;
  if (!std::filesystem::copy_file(attachment.path, copy, error)) {
    std::fprintf(stderr, "kdxmapi: cannot copy \"%s\" for the mail client: %s\n",
                 attachment.path.c_str(), error.message().c_str());
    return {};
  }
  return copy;
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
  PrivateFolder privateFolder;
  for (const Attachment& a : mail.attachments) {
    const std::string path = PathForClient(a, privateFolder);
    if (path.empty()) return MAPI_E_ATTACHMENT_WRITE_FAILURE;
    add("attach", UriEncode(path, "/"));
  }
  const int status = RunComposeHandOff({program, "mailto:" + query});
  switch (status) {
    case 0:
      privateFolder.Keep();
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
