// Without MAPI_DIALOG: a complete MIME message, submitted to a sendmail-compatible program
// (sendmail -t -oi), the Linux form of placing the message in the outbox.

#include <fcntl.h>
#include <gmime/gmime.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string_view>

#include "Provider.h"

namespace kdx::provider {

namespace {

void InitGMime() {
  static std::once_flag once;
  std::call_once(once, [] { g_mime_init(); });
}

// Characters of code below 32 (line breaks included) and DEL become blanks: a text can never
// start a new header line.
std::string OneLine(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 32 || u == 127) c = ' ';
  }
  return out;
}

// An address must stand in a header as exactly one mailbox: no blanks, controls, or the
// characters that separate, quote or group addresses.
bool IsPlainAddress(const std::string& address) {
  if (address.empty() || address[0] == '-') return false;
  for (char c : address) {
    const auto u = static_cast<unsigned char>(c);
    if (u <= 32 || u == 127) return false;
    if (std::string_view("\"(),:;<>[\\]").find(c) != std::string_view::npos) return false;
  }
  return true;
}

template <typename T>
struct GUnref {
  void operator()(T* p) const {
    if (p) g_object_unref(p);
  }
};
template <typename T>
using GPtr = std::unique_ptr<T, GUnref<T>>;

}  // namespace

std::string BuildMimeMessage(const OutgoingMail& mail, KdxMapiUlong& error) {
  InitGMime();
  error = SUCCESS_SUCCESS;
  GPtr<GMimeMessage> message(g_mime_message_new(TRUE));

  for (const Recipient& r : mail.recipients) {
    if (!IsPlainAddress(r.address)) {
      std::fprintf(stderr, "kdxmapi: \"%s\" is not a single e-mail address\n",
                   OneLine(r.address).c_str());
      error = MAPI_E_UNKNOWN_RECIPIENT;
      return {};
    }
    const std::string name = OneLine(r.name);
    InternetAddress* mailbox =
        internet_address_mailbox_new(name.empty() ? nullptr : name.c_str(), r.address.c_str());
    GMimeAddressType type = GMIME_ADDRESS_TYPE_TO;
    if (r.recipClass == MAPI_CC) type = GMIME_ADDRESS_TYPE_CC;
    if (r.recipClass == MAPI_BCC) type = GMIME_ADDRESS_TYPE_BCC;
    if (r.recipClass == MAPI_ORIG) type = GMIME_ADDRESS_TYPE_FROM;
    internet_address_list_add(g_mime_message_get_addresses(message.get(), type), mailbox);
    g_object_unref(mailbox);
  }

  g_mime_message_set_subject(message.get(), OneLine(mail.subject).c_str(), "utf-8");
  GDateTime* now = g_date_time_new_now_local();
  g_mime_message_set_date(message.get(), now);
  g_date_time_unref(now);
  char host[256] = "localhost";
  if (gethostname(host, sizeof(host) - 1) != 0 || !host[0])
    std::snprintf(host, sizeof host, "localhost");
  host[sizeof(host) - 1] = '\0';
  char* messageId = g_mime_utils_generate_message_id(host);
  g_mime_message_set_message_id(message.get(), messageId);
  g_free(messageId);

  GPtr<GMimeTextPart> text(g_mime_text_part_new_with_subtype("plain"));
  g_mime_text_part_set_text(text.get(), mail.body.c_str());
  // Seven bits on the wire: a relay without 8BITMIME passes the text unchanged.
  g_mime_part_set_content_encoding(GMIME_PART(text.get()),
                                   g_mime_part_get_best_content_encoding(
                                       GMIME_PART(text.get()), GMIME_ENCODING_CONSTRAINT_7BIT));

  if (mail.attachments.empty()) {
    g_mime_message_set_mime_part(message.get(), GMIME_OBJECT(text.get()));
  } else {
    GPtr<GMimeMultipart> multipart(g_mime_multipart_new_with_subtype("mixed"));
    g_mime_multipart_add(multipart.get(), GMIME_OBJECT(text.get()));
    for (const Attachment& a : mail.attachments) {
      GError* gerror = nullptr;
      GMimeStream* file = g_mime_stream_fs_open(a.path.c_str(), O_RDONLY, 0, &gerror);
      if (!file) {
        std::fprintf(stderr, "kdxmapi: cannot read \"%s\": %s\n", a.path.c_str(),
                     gerror ? gerror->message : "");
        if (gerror) g_error_free(gerror);
        error = MAPI_E_ATTACHMENT_OPEN_FAILURE;
        return {};
      }
      // Read the whole file now so that a read error shows here, not half-way through writing.
      GPtr<GMimeStream> memory(g_mime_stream_mem_new());
      const gint64 copied = g_mime_stream_write_to_stream(file, memory.get());
      g_object_unref(file);
      if (copied < 0) {
        error = MAPI_E_ATTACHMENT_OPEN_FAILURE;
        return {};
      }
      g_mime_stream_reset(memory.get());
      GPtr<GMimePart> part(g_mime_part_new_with_type("application", "octet-stream"));
      GPtr<GMimeDataWrapper> content(
          g_mime_data_wrapper_new_with_stream(memory.get(), GMIME_CONTENT_ENCODING_DEFAULT));
      g_mime_part_set_content(part.get(), content.get());
      g_mime_part_set_filename(part.get(), OneLine(a.name).c_str());
      g_mime_part_set_content_encoding(part.get(), GMIME_CONTENT_ENCODING_BASE64);
      g_mime_multipart_add(multipart.get(), GMIME_OBJECT(part.get()));
    }
    g_mime_message_set_mime_part(message.get(), GMIME_OBJECT(multipart.get()));
  }

  GPtr<GMimeStream> out(g_mime_stream_mem_new());
  GMimeFormatOptions* options = g_mime_format_options_clone(nullptr);
  g_mime_format_options_set_newline_format(options, GMIME_NEWLINE_FORMAT_UNIX);
  g_mime_object_write_to_stream(GMIME_OBJECT(message.get()), options, out.get());
  g_mime_format_options_free(options);
  GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out.get()));
  return std::string(reinterpret_cast<const char*>(bytes->data), bytes->len);
}

KdxMapiUlong SubmitToSendmail(const OutgoingMail& mail, bool& noSendmail) {
  noSendmail = false;
  std::string program;
  if (const char* configured = std::getenv("KDX_SENDMAIL"); configured && *configured) {
    program = configured;
  } else {
    program = FindProgram("sendmail", {"/usr/sbin", "/usr/lib"});
  }
  if (program.empty() || ::access(program.c_str(), X_OK) != 0) {
    noSendmail = true;
    return MAPI_E_FAILURE;
  }
  bool anyRecipient = false;
  for (const Recipient& r : mail.recipients) anyRecipient |= r.recipClass != MAPI_ORIG;
  if (!anyRecipient) return MAPI_E_INVALID_RECIPS;

  KdxMapiUlong error = SUCCESS_SUCCESS;
  const std::string message = BuildMimeMessage(mail, error);
  if (error != SUCCESS_SUCCESS) return error;

  const int status = RunProgram({program, "-t", "-oi"}, true, message);
  switch (status) {
    case 0:
      return SUCCESS_SUCCESS;
    case 67:  // EX_NOUSER
      return MAPI_E_UNKNOWN_RECIPIENT;
    case 68:  // EX_NOHOST
    case 69:  // EX_UNAVAILABLE
    case 75:  // EX_TEMPFAIL
    case 76:  // EX_PROTOCOL
      std::fprintf(stderr, "kdxmapi: %s could not deliver the message (status %d)\n",
                   program.c_str(), status);
      return MAPI_E_NETWORK_FAILURE;
    default:
      std::fprintf(stderr, "kdxmapi: %s failed (status %d)\n", program.c_str(), status);
      return MAPI_E_FAILURE;
  }
}

}  // namespace kdx::provider
