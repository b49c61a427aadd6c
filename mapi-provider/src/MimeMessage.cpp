// Without MAPI_DIALOG: a complete MIME message, submitted to a sendmail-compatible program
// (sendmail -oi -- recipients...), the Linux form of placing the message in the outbox.

#include <fcntl.h>
#include <gmime/gmime.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>

#include "Provider.h"
#include "kdx/platform/ChildProcess.h"

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

template <typename T>
struct GUnref {
  void operator()(T* p) const {
    if (p) g_object_unref(p);
  }
};
template <typename T>
using GPtr = std::unique_ptr<T, GUnref<T>>;

// Holds SIGPIPE back on this thread while writing to a program, so that a program that stops
// reading makes the write fail instead of ending this process; a SIGPIPE raised meanwhile is
// taken off again.
class PipeSignalHeld {
 public:
  PipeSignalHeld() {
    sigemptyset(&pipeSet_);
    sigaddset(&pipeSet_, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSet_, &oldSet_);
    sigset_t pending;
    sigemptyset(&pending);
    sigpending(&pending);
    wasPending_ = sigismember(&pending, SIGPIPE);
  }
  ~PipeSignalHeld() {
    if (!wasPending_) {
      sigset_t pending;
      sigemptyset(&pending);
      sigpending(&pending);
      if (sigismember(&pending, SIGPIPE)) {
        const timespec zero{0, 0};
        sigtimedwait(&pipeSet_, nullptr, &zero);
      }
    }
    pthread_sigmask(SIG_SETMASK, &oldSet_, nullptr);
  }
  PipeSignalHeld(const PipeSignalHeld&) = delete;
  PipeSignalHeld& operator=(const PipeSignalHeld&) = delete;

 private:
  sigset_t pipeSet_;
  sigset_t oldSet_;
  bool wasPending_ = false;
};

// The message for `mail`, or null with `error` set. Attachments are not read here: their files
// are opened, and their contents are read, encoded and written piece by piece when the message
// is written, so memory does not grow with their size.
GPtr<GMimeMessage> BuildMessage(const OutgoingMail& mail, KdxMapiUlong& error) {
  InitGMime();
  error = SUCCESS_SUCCESS;
  GPtr<GMimeMessage> message(g_mime_message_new(TRUE));

  for (const Recipient& r : mail.recipients) {
    // Blind copies travel on sendmail's command line only; no header names them.
    if (r.recipClass == MAPI_BCC) continue;
    const std::string name = OneLine(r.name);
    InternetAddress* mailbox =
        internet_address_mailbox_new(name.empty() ? nullptr : name.c_str(), r.address.c_str());
    GMimeAddressType type = GMIME_ADDRESS_TYPE_TO;
    if (r.recipClass == MAPI_CC) type = GMIME_ADDRESS_TYPE_CC;
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

  // The text goes to GMime in a buffer of ours, allocated so that running short of memory is an
  // answer (GLib's ordinary allocation ends the program instead).
  GPtr<GMimeTextPart> text(g_mime_text_part_new_with_subtype("plain"));
  auto* bodyBytes = static_cast<guint8*>(g_try_malloc(mail.body.size() + 1));
  if (!bodyBytes) {
    error = MAPI_E_INSUFFICIENT_MEMORY;
    return nullptr;
  }
  std::memcpy(bodyBytes, mail.body.data(), mail.body.size());
  GPtr<GMimeStream> bodyStream(
      g_mime_stream_mem_new_with_byte_array(g_byte_array_new_take(bodyBytes, mail.body.size())));
  GPtr<GMimeDataWrapper> bodyContent(
      g_mime_data_wrapper_new_with_stream(bodyStream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
  g_mime_part_set_content(GMIME_PART(text.get()), bodyContent.get());
  bool ascii = true;
  for (char c : mail.body) ascii &= static_cast<unsigned char>(c) < 128;
  g_mime_text_part_set_charset(text.get(), ascii ? "us-ascii" : "utf-8");
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
        return nullptr;
      }
      GPtr<GMimeStream> content(file);
      GPtr<GMimePart> part(g_mime_part_new_with_type("application", "octet-stream"));
      GPtr<GMimeDataWrapper> wrapper(
          g_mime_data_wrapper_new_with_stream(content.get(), GMIME_CONTENT_ENCODING_DEFAULT));
      g_mime_part_set_content(part.get(), wrapper.get());
      g_mime_part_set_filename(part.get(), OneLine(a.name).c_str());
      g_mime_part_set_content_encoding(part.get(), GMIME_CONTENT_ENCODING_BASE64);
      g_mime_multipart_add(multipart.get(), GMIME_OBJECT(part.get()));
    }
    g_mime_message_set_mime_part(message.get(), GMIME_OBJECT(multipart.get()));
  }

  return message;
}

using Clock = std::chrono::steady_clock;

// How long the sendmail program may take none of the message and not end before it is given up
// (a server that accepts the connection and never answers would hold the call for good): 60 s,
// or the whole seconds of KDX_SENDMAIL_TIMEOUT (1 to 86400).
std::chrono::milliseconds IdleLimit() {
  if (const char* configured = std::getenv("KDX_SENDMAIL_TIMEOUT")) {
    char* end = nullptr;
    const long seconds = std::strtol(configured, &end, 10);
    if (end != configured && *end == '\0' && seconds > 0 && seconds <= 86400)
      return std::chrono::seconds(seconds);
  }
  return std::chrono::seconds(60);
}

// The writing end of the program's input (non-blocking) as a GMime stream whose writes wait for
// the pipe to take the bytes: a write fails, and `stalled` is set, when the program takes none of
// them for `idleMs`; after that every write fails at once.
struct BoundedPipe {
  GMimeStream parent;
  int fd;
  int idleMs;
  bool stalled;
};
struct BoundedPipeClass {
  GMimeStreamClass parent;
};

ssize_t BoundedPipeWrite(GMimeStream* stream, const char* buffer, size_t length) {
  auto* self = reinterpret_cast<BoundedPipe*>(stream);
  size_t done = 0;
  while (done < length && !self->stalled) {
    const ssize_t n = ::write(self->fd, buffer + done, length - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && errno == EAGAIN) {
      pollfd state{self->fd, POLLOUT, 0};
      const int ready = ::poll(&state, 1, self->idleMs);
      if (ready == 0) self->stalled = true;
      if (ready < 0 && errno != EINTR) return -1;
    } else if (!(n < 0 && errno == EINTR)) {
      return -1;  // the program went away
    }
  }
  if (done < length) return -1;
  stream->position += static_cast<gint64>(done);
  return static_cast<ssize_t>(done);
}

void BoundedPipeClassInit(gpointer klass, gpointer) {
  auto* stream = GMIME_STREAM_CLASS(klass);
  stream->read = [](GMimeStream*, char*, size_t) -> ssize_t { return -1; };
  stream->write = BoundedPipeWrite;
  stream->flush = [](GMimeStream*) { return 0; };
  stream->close = [](GMimeStream*) { return 0; };  // the descriptor is the caller's
  stream->eos = [](GMimeStream*) -> gboolean { return FALSE; };
  stream->reset = [](GMimeStream*) { return -1; };
  stream->seek = [](GMimeStream*, gint64, GMimeSeekWhence) -> gint64 { return -1; };
  stream->tell = [](GMimeStream* s) -> gint64 { return s->position; };
  stream->length = [](GMimeStream*) -> gint64 { return -1; };
  stream->substream = [](GMimeStream*, gint64, gint64) -> GMimeStream* { return nullptr; };
}

GPtr<GMimeStream> NewBoundedPipe(int fd, std::chrono::milliseconds idle) {
  static const GType type = g_type_register_static_simple(
      GMIME_TYPE_STREAM, "KdxBoundedPipe", sizeof(BoundedPipeClass), BoundedPipeClassInit,
      sizeof(BoundedPipe), nullptr, static_cast<GTypeFlags>(0));
  auto* pipe = static_cast<BoundedPipe*>(g_object_new(type, nullptr));
  g_mime_stream_construct(&pipe->parent, 0, -1);
  pipe->fd = fd;
  pipe->idleMs = static_cast<int>(idle.count());
  pipe->stalled = false;
  return GPtr<GMimeStream>(&pipe->parent);
}

// Writes `message` to the pipe `fd`: true when every byte was written. `stalled`: the program
// took nothing for `idle`.
bool WriteMessage(GMimeMessage* message, int fd, std::chrono::milliseconds idle, bool& stalled) {
  PipeSignalHeld held;
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  GPtr<GMimeStream> pipe = NewBoundedPipe(fd, idle);
  GMimeFormatOptions* options = g_mime_format_options_clone(nullptr);
  g_mime_format_options_set_newline_format(options, GMIME_NEWLINE_FORMAT_UNIX);
  const gint64 written = g_mime_object_write_to_stream(GMIME_OBJECT(message), options, pipe.get());
  g_mime_format_options_free(options);
  stalled = reinterpret_cast<BoundedPipe*>(pipe.get())->stalled;
  return written >= 0 && g_mime_stream_flush(pipe.get()) == 0;
}

// Once the whole message is in the pipe `fd`: true when the program has taken all of it out,
// false when it went away first. A program that stops reading and exits may have done so with
// the message, or its end, still in the pipe; it has then not sent what it was given.
bool ReaderGone(int fd) {
  pollfd state{fd, POLLOUT, 0};
  return ::poll(&state, 1, 0) > 0 && (state.revents & POLLERR);
}

enum class Reading {
  Taken,    // the program read the whole message out of the pipe
  Left,     // it went away first, or ended with part of the message still in the pipe
  Stalled,  // it read nothing more and did not end for the idle limit
};

// Waits until the program `pid` has read the whole message out of the pipe `fd`. A child it left
// behind may hold the pipe open without ever reading it: a program that ended with part of the
// message unread has left it (`status` then holds its exit status).
Reading ReadToTheEnd(int fd, pid_t pid, std::optional<int>& status,
                     std::chrono::milliseconds idle) {
  int lastUnread = -1;
  Clock::time_point lastProgress = Clock::now();
  for (;;) {
    if (ReaderGone(fd)) return Reading::Left;
    int unread = 0;
    if (::ioctl(fd, FIONREAD, &unread) != 0) return Reading::Taken;  // the exit status decides
    if (unread == 0) return Reading::Taken;
    if (status) return Reading::Left;  // it had ended before the last look
    if (unread != lastUnread) {
      lastUnread = unread;
      lastProgress = Clock::now();
    } else if (Clock::now() - lastProgress >= idle) {
      return Reading::Stalled;
    }
    status = EndedStatus(pid);
    if (!status) ::usleep(2000);
  }
}

// The exit status of the program `pid` once it has ended, waiting at most `idle`; nothing while
// it still runs.
std::optional<int> EndedWithin(pid_t pid, std::chrono::milliseconds idle) {
  const Clock::time_point deadline = Clock::now() + idle;
  for (;;) {
    if (std::optional<int> status = EndedStatus(pid)) return status;
    if (Clock::now() >= deadline) return std::nullopt;
    ::usleep(5000);
  }
}

// Ends a program that is not to send what it was given: killed before its input is closed, so
// that it never sees the end of the message.
void EndProgram(const StartedProgram& started) {
  ::kill(started.pid, SIGKILL);
  if (started.input >= 0) ::close(started.input);
  WaitForProgram(started.pid);
}

// Where a sendmail is looked for after PATH: /usr/sbin and /usr/lib, or the absolute folders of
// KDX_SENDMAIL_FOLDERS (':'-separated; set and empty means none), which tests use so that what
// the host has installed does not count.
std::vector<std::string> SendmailFolders() {
  const char* configured = std::getenv("KDX_SENDMAIL_FOLDERS");
  if (!configured) return {"/usr/sbin", "/usr/lib"};
  return platform::AbsolutePathEntries(configured);
}

}  // namespace

KdxMapiUlong SubmitToSendmail(const OutgoingMail& mail, bool& noSendmail) {
  noSendmail = false;
  std::string program;
  if (const char* configured = std::getenv("KDX_SENDMAIL"); configured && *configured) {
    // A relative name would be checked in the current folder, which the folder picker moves,
    // and started from the root folder: two different files.
    if (configured[0] != '/') {
      std::fprintf(stderr, "kdxmapi: KDX_SENDMAIL must name the program by its full path: %s\n",
                   configured);
      return MAPI_E_FAILURE;
    }
    program = configured;
  } else {
    program = platform::FindProgramOnPath("sendmail", SendmailFolders());
  }
  if (program.empty() || ::access(program.c_str(), X_OK) != 0) {
    noSendmail = true;
    return MAPI_E_FAILURE;
  }
  // Every recipient, blind copies included, is named on the command line; sendmail does not
  // read recipients from the headers (no -t).
  std::vector<std::string> argv = {program, "-oi", "--"};
  for (const Recipient& r : mail.recipients) {
    if (!IsPlainMailbox(r.address, MailboxUse::Header)) {
      std::fprintf(stderr, "kdxmapi: \"%s\" is not a single e-mail address\n",
                   OneLine(r.address).c_str());
      return MAPI_E_UNKNOWN_RECIPIENT;
    }
    if (r.recipClass != MAPI_ORIG) argv.push_back(r.address);
  }
  if (argv.size() == 3) return MAPI_E_INVALID_RECIPS;

  KdxMapiUlong error = SUCCESS_SUCCESS;
  const GPtr<GMimeMessage> message = BuildMessage(mail, error);
  if (!message) return error;

  StartedProgram started;
  if (!StartProgram(argv, true, started)) {
    std::fprintf(stderr, "kdxmapi: cannot run %s\n", program.c_str());
    return MAPI_E_FAILURE;
  }
  const std::chrono::milliseconds idle = IdleLimit();
  const auto stalledFor = [&] {
    std::fprintf(stderr, "kdxmapi: %s took none of the message and did not end for %lld s\n",
                 program.c_str(), static_cast<long long>(idle.count() / 1000));
    return MAPI_E_NETWORK_FAILURE;
  };
  bool stalled = false;
  const bool written = WriteMessage(message.get(), started.input, idle, stalled);
  if (!written && (stalled || !ReaderGone(started.input))) {
    // Stalled, or an attachment could not be read to the end: the program must not see the end
    // of its input and send what it has.
    EndProgram(started);
    if (stalled) return stalledFor();
    std::fprintf(stderr, "kdxmapi: the message could not be written to %s\n", program.c_str());
    return MAPI_E_FAILURE;
  }
  std::optional<int> ended;
  const Reading reading =
      written ? ReadToTheEnd(started.input, started.pid, ended, idle) : Reading::Left;
  if (reading == Reading::Stalled) {
    EndProgram(started);
    return stalledFor();
  }
  const bool closed = ::close(started.input) == 0;
  if (!ended) ended = EndedWithin(started.pid, idle);
  if (!ended) {
    EndProgram({started.pid, -1});
    return stalledFor();
  }
  const int status = *ended;
  if (status == 0 && (reading != Reading::Taken || !closed)) {
    // It stopped reading, yet claims success: it cannot have sent the whole message.
    std::fprintf(stderr, "kdxmapi: %s did not read the whole message\n", program.c_str());
    return MAPI_E_FAILURE;
  }
  // The program's exit status, as sysexits.h names it. msmtp answers 65 when the server refuses
  // a recipient, 69 when it refuses the message (any 4xx or 5xx reply but to a recipient: the
  // server was reached, so that is no network failure), 68 for an unknown host, 75 when no
  // connection can be made and 76 when the server's answer makes no sense (421 included).
  switch (status) {
    case 0:
      return SUCCESS_SUCCESS;
    case 65:  // EX_DATAERR
    case 67:  // EX_NOUSER
      std::fprintf(stderr, "kdxmapi: %s: a recipient was refused (status %d)\n", program.c_str(),
                   status);
      return MAPI_E_UNKNOWN_RECIPIENT;
    case 68:  // EX_NOHOST
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
