// The Linux Simple MAPI provider with real peers: msmtp (as the sendmail-compatible program)
// delivering to a local SMTP sink, and xdg-email opening a recording stand-in mail client.
// Every test builds its own world in a temporary folder: PATH, XDG folders, msmtp's
// configuration, a free port.

#include <dlfcn.h>
#include <fcntl.h>
#include <gmime/gmime.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <list>
#include <map>
#include <optional>
#include <set>
#include <thread>

#include "MailTestSupport.h"
#include "kdx/mail/MapiTypes.h"
#include "kdx/mail/SimpleMapi.h"
#include "kdx/platform/Text.h"

extern char** environ;

namespace kdx::provider {
namespace {

using kdx::test::Cp;
using kdx::test::ReadFile;
using kdx::test::ScopedEnv;
using kdx::test::TempDir;
using kdx::test::WriteFile;
namespace fs = std::filesystem;

// The provider, loaded as the program loads it.
class Provider {
 public:
  // KDX_PROVIDER_UNDER_TEST runs the tests against another build of the provider (an older
  // one, to see a test fail without its fix).
  Provider() : handle_(dlopen(Path(), RTLD_NOW | RTLD_LOCAL)) {
    if (!handle_) throw std::runtime_error(dlerror());
    send_ = reinterpret_cast<LPMAPISENDMAIL>(dlsym(handle_, "MAPISendMail"));
  }
  ~Provider() { dlclose(handle_); }
  static const char* Path() {
    const char* other = std::getenv("KDX_PROVIDER_UNDER_TEST");
    return other && *other ? other : KDX_PROVIDER;
  }
  void* Symbol(const char* name) const { return dlsym(handle_, name); }
  KdxMapiUlong Send(MapiMessage* message, KdxMapiFlags flags) const {
    return send_(0, 0, message, flags, 0);
  }

 private:
  void* handle_;
  LPMAPISENDMAIL send_;
};

// A message built from plain values; keeps the texts alive for the call.
struct Message {
  std::string subject;
  std::string body;
  struct Recip {
    KdxMapiUlong cls;
    std::string name;
    std::string address;
  };
  std::vector<Recip> recips;
  struct File {
    std::string path;
    std::string name;  // empty: null lpszFileName
  };
  std::vector<File> files;

  MapiMessage* Build() {
    recipDescs_.clear();
    fileDescs_.clear();
    for (Recip& r : recips) {
      recipDescs_.push_back(MapiRecipDesc{
          0, r.cls, r.name.data(), r.address.empty() ? nullptr : r.address.data(), 0, nullptr});
    }
    for (File& f : files) {
      fileDescs_.push_back(MapiFileDesc{0, 0, 0xFFFFFFFFu, f.path.data(),
                                        f.name.empty() ? nullptr : f.name.data(), nullptr});
    }
    message_ = MapiMessage{};
    message_.lpszSubject = subject.data();
    message_.lpszNoteText = body.data();
    message_.nRecipCount = static_cast<KdxMapiUlong>(recipDescs_.size());
    message_.lpRecips = recipDescs_.empty() ? nullptr : recipDescs_.data();
    message_.nFileCount = static_cast<KdxMapiUlong>(fileDescs_.size());
    message_.lpFiles = fileDescs_.empty() ? nullptr : fileDescs_.data();
    return &message_;
  }

 private:
  std::vector<MapiRecipDesc> recipDescs_;
  std::vector<MapiFileDesc> fileDescs_;
  MapiMessage message_{};
};

// The local SMTP sink (python3-aiosmtpd) on a free loopback port.
class SmtpSink {
 public:
  explicit SmtpSink(const std::string& folder) : folder_(folder) {
    int in[2];
    int out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    std::vector<std::string> args = {"/usr/bin/python3", KDX_SMTP_SINK, folder};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    stdin_ = in[1];
    if (rc != 0) throw std::runtime_error("cannot start the SMTP sink");
    std::string line;
    char c;
    while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
    close(out[0]);
    port_ = std::atoi(line.c_str());
    if (port_ <= 0) throw std::runtime_error("the SMTP sink did not start (python3-aiosmtpd?)");
  }
  ~SmtpSink() {
    close(stdin_);
    int status;
    waitpid(pid_, &status, 0);
  }
  int port() const { return port_; }
  // The n-th message received (1-based) and its envelope recipients; "<missing>" if none.
  std::string Message(int n) const { return ReadFile(folder_ + "/" + std::to_string(n) + ".eml"); }
  std::string Recipients(int n) const {
    return ReadFile(folder_ + "/" + std::to_string(n) + ".rcpt");
  }
  int Count() const {
    int n = 0;
    while (fs::exists(folder_ + "/" + std::to_string(n + 1) + ".eml")) ++n;
    return n;
  }

 private:
  std::string folder_;
  pid_t pid_ = 0;
  int stdin_ = -1;
  int port_ = 0;
};

// A parsed message (GMime), with the decoded content of its attachments.
struct Parsed {
  std::string subject;
  std::string to;
  std::string cc;
  std::map<std::string, std::string> headers;  // lower-cased name -> raw value
  std::string text;
  std::vector<std::pair<std::string, std::string>> attachments;  // file name, bytes
};

Parsed Parse(const std::string& raw) {
  g_mime_init();
  Parsed p;
  GMimeStream* stream = g_mime_stream_mem_new_with_buffer(raw.data(), raw.size());
  GMimeParser* parser = g_mime_parser_new_with_stream(stream);
  GMimeMessage* message = g_mime_parser_construct_message(parser, nullptr);
  g_object_unref(parser);
  g_object_unref(stream);
  if (!message) return p;
  if (const char* s = g_mime_message_get_subject(message)) p.subject = s;
  char* to = internet_address_list_to_string(g_mime_message_get_to(message), nullptr, FALSE);
  if (to) p.to = to;
  g_free(to);
  char* cc = internet_address_list_to_string(g_mime_message_get_cc(message), nullptr, FALSE);
  if (cc) p.cc = cc;
  g_free(cc);
  GMimeHeaderList* headers = g_mime_object_get_header_list(GMIME_OBJECT(message));
  for (int i = 0; i < g_mime_header_list_get_count(headers); ++i) {
    GMimeHeader* h = g_mime_header_list_get_header_at(headers, i);
    std::string name = g_mime_header_get_name(h);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    p.headers[name] = g_mime_header_get_raw_value(h) ? g_mime_header_get_raw_value(h) : "";
  }
  GMimePartIter* iter = g_mime_part_iter_new(GMIME_OBJECT(message));
  do {
    GMimeObject* current = g_mime_part_iter_get_current(iter);
    if (!current || !GMIME_IS_PART(current)) continue;
    GMimePart* part = GMIME_PART(current);
    GMimeStream* out = g_mime_stream_mem_new();
    if (GMimeDataWrapper* content = g_mime_part_get_content(part)) {
      g_mime_data_wrapper_write_to_stream(content, out);
    }
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out));
    std::string data(reinterpret_cast<const char*>(bytes->data), bytes->len);
    g_object_unref(out);
    if (const char* name = g_mime_part_get_filename(part)) {
      p.attachments.emplace_back(name, data);
    } else if (GMIME_IS_TEXT_PART(part)) {
      char* text = g_mime_text_part_get_text(GMIME_TEXT_PART(part));  // in UTF-8
      p.text = text ? text : "";
      g_free(text);
    }
  } while (g_mime_part_iter_next(iter));
  g_mime_part_iter_free(iter);
  g_object_unref(message);
  return p;
}

// The fields of the mailto: URL the stand-in mail client received, percent-decoded.
std::multimap<std::string, std::string> MailtoFields(const std::string& url) {
  std::multimap<std::string, std::string> fields;
  auto decode = [](const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
      if (s[i] == '%' && i + 2 < s.size()) {
        out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
        i += 2;
      } else {
        out += s[i];
      }
    }
    return out;
  };
  const auto q = url.find('?');
  if (url.rfind("mailto:", 0) != 0 || q == std::string::npos) return fields;
  std::string rest = url.substr(q + 1);
  std::size_t start = 0;
  while (start <= rest.size()) {
    std::size_t amp = rest.find('&', start);
    if (amp == std::string::npos) amp = rest.size();
    const std::string item = rest.substr(start, amp - start);
    const auto eq = item.find('=');
    if (eq != std::string::npos) fields.emplace(item.substr(0, eq), decode(item.substr(eq + 1)));
    start = amp + 1;
  }
  return fields;
}

// The world of one test: PATH with a chosen set of programs, XDG folders, a desktop whose
// mailto: handler is the recording stand-in, msmtp's configuration.
class ProviderTest : public ::testing::Test {
 protected:
  ProviderTest() {
    dir_.MakeDir("bin");
    dir_.MakeDir("config/msmtp");
    dir_.MakeDir("data/applications");
    dir_.MakeDir("sink");
    dir_.MakeDir("files");
    // The stand-in mail client: records its arguments, one per line.
    WriteFile(dir_ / "bin/kdx-test-mailer",
              "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$KDX_TEST_RECORD\"\n");
    fs::permissions(dir_ / "bin/kdx-test-mailer", fs::perms::owner_all);
    WriteFile(dir_ / "data/applications/kdx-test-mailer.desktop",
              "[Desktop Entry]\nType=Application\nName=Test mailer\n"
              "Exec=kdx-test-mailer %u\nMimeType=x-scheme-handler/mailto;\n");
    WriteFile(dir_ / "config/mimeapps.list",
              "[Default Applications]\nx-scheme-handler/mailto=kdx-test-mailer.desktop\n");
  }

  // Makes msmtp, reached as "sendmail" on PATH, deliver to `port`.
  void UseSendmail(int port) {
    WriteFile(dir_ / "config/msmtp/config", "account default\nhost 127.0.0.1\nport " +
                                                std::to_string(port) +
                                                "\nfrom kdx@example.test\nauth off\ntls off\n");
    fs::permissions(dir_ / "config/msmtp/config", fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink("/usr/bin/msmtp", dir_ / "bin/sendmail");
  }

  // Removes the stand-in mail client's registration: the desktop has no mail client.
  void RemoveMailClient() {
    fs::remove(dir_ / "config/mimeapps.list");
    fs::remove(dir_ / "data/applications/kdx-test-mailer.desktop");
  }

  std::string Recorded() const { return ReadFile(dir_ / "record"); }

  std::string File(const std::string& name, const std::string& bytes) {
    return dir_.WriteFile("files/" + name, bytes);
  }

  TempDir dir_;
  ScopedEnv path_{"PATH", dir_ / "bin" + ":/usr/bin:/bin"};
  ScopedEnv home_{"HOME", dir_.Path()};
  ScopedEnv config_{"XDG_CONFIG_HOME", dir_ / "config"};
  ScopedEnv data_{"XDG_DATA_HOME", dir_ / "data"};
  ScopedEnv dataDirs_{"XDG_DATA_DIRS", dir_ / "none"};
  ScopedEnv display_{"DISPLAY", ":kdx-test"};
  ScopedEnv browser_{"BROWSER", dir_ / "no-browser"};
  ScopedEnv record_{"KDX_TEST_RECORD", dir_ / "record"};
  ScopedEnv desktop_{"XDG_CURRENT_DESKTOP", std::nullopt};
  ScopedEnv session_{"DESKTOP_SESSION", std::nullopt};
  ScopedEnv kde_{"KDE_FULL_SESSION", std::nullopt};
  ScopedEnv gnome_{"GNOME_DESKTOP_SESSION_ID", std::nullopt};
  ScopedEnv mailer_{"MAILER", std::nullopt};
  ScopedEnv sendmail_{"KDX_SENDMAIL", std::nullopt};
  ScopedEnv registry_{"KDX_REGISTRY", std::nullopt};
  Provider provider_;
};

std::string AllBytes() {
  std::string bytes;
  for (int round = 0; round < 300; ++round) {
    for (int b = 0; b < 256; ++b) bytes += static_cast<char>((b * 7 + round) & 0xFF);
  }
  return bytes;
}

TEST_F(ProviderTest, ExportsTheTwelveEntryPointsAndAnswersTheUnusedOnes) {
  for (const char* name : mail::kMapiEntryPointNames) {
    EXPECT_NE(provider_.Symbol(name), nullptr) << name;
  }
  auto logon = reinterpret_cast<LPMAPILOGON>(provider_.Symbol("MAPILogon"));
  KdxMapiLhandle session = 0;
  EXPECT_EQ(logon(0, nullptr, nullptr, MAPI_LOGON_UI, 0, &session), 0u);
  EXPECT_NE(session, 0u);
  EXPECT_EQ(logon(0, nullptr, nullptr, 0, 0, nullptr), static_cast<KdxMapiUlong>(MAPI_E_FAILURE));
  auto logoff = reinterpret_cast<LPMAPILOGOFF>(provider_.Symbol("MAPILogoff"));
  EXPECT_EQ(logoff(session, 0, 0, 0), 0u);
  auto freeBuffer = reinterpret_cast<LPMAPIFREEBUFFER>(provider_.Symbol("MAPIFreeBuffer"));
  EXPECT_EQ(freeBuffer(nullptr), 0u);
  auto resolve = reinterpret_cast<LPMAPIRESOLVENAME>(provider_.Symbol("MAPIResolveName"));
  MapiRecipDesc* recip = nullptr;
  EXPECT_EQ(resolve(0, 0, const_cast<char*>("x"), 0, 0, &recip),
            static_cast<KdxMapiUlong>(MAPI_E_NOT_SUPPORTED));
  auto documents = reinterpret_cast<LPMAPISENDDOCUMENTS>(provider_.Symbol("MAPISendDocuments"));
  EXPECT_EQ(documents(0, nullptr, nullptr, nullptr, 0),
            static_cast<KdxMapiUlong>(MAPI_E_NOT_SUPPORTED));
}

TEST_F(ProviderTest, ChecksTheMessageBeforeAnyProgramRuns) {
  SmtpSink sink(dir_ / "sink");
  UseSendmail(sink.port());
  EXPECT_EQ(provider_.Send(nullptr, 0), static_cast<KdxMapiUlong>(MAPI_E_FAILURE));

  Message m;
  m.recips = {{MAPI_TO, "a@example.test", "SMTP:a@example.test"}};
  MapiMessage* raw = m.Build();
  raw->nFileCount = 1;  // files announced, none given
  EXPECT_EQ(provider_.Send(raw, 0), static_cast<KdxMapiUlong>(MAPI_E_FAILURE));
  raw = m.Build();
  raw->nRecipCount = 2;
  raw->lpRecips = nullptr;
  EXPECT_EQ(provider_.Send(raw, MAPI_DIALOG), static_cast<KdxMapiUlong>(MAPI_E_FAILURE));

  m.files = {{"", ""}};
  EXPECT_EQ(provider_.Send(m.Build(), 0), static_cast<KdxMapiUlong>(MAPI_E_FAILURE));
  m.files = {{(dir_ / "files/missing.kdx"), ""}};
  for (KdxMapiFlags flags : {0u, static_cast<KdxMapiFlags>(MAPI_DIALOG)}) {
    EXPECT_EQ(provider_.Send(m.Build(), flags),
              static_cast<KdxMapiUlong>(MAPI_E_ATTACHMENT_NOT_FOUND));
  }
  m.files = {{(dir_ / "files"), ""}};  // a folder cannot be attached
  EXPECT_EQ(provider_.Send(m.Build(), 0),
            static_cast<KdxMapiUlong>(MAPI_E_ATTACHMENT_OPEN_FAILURE));
  m.files.clear();
  m.recips = {{7, "a@example.test", "SMTP:a@example.test"}};
  EXPECT_EQ(provider_.Send(m.Build(), 0), static_cast<KdxMapiUlong>(MAPI_E_BAD_RECIPTYPE));
  m.recips = {{MAPI_TO, "", ""}};
  EXPECT_EQ(provider_.Send(m.Build(), 0), static_cast<KdxMapiUlong>(MAPI_E_INVALID_RECIPS));
  m.recips.clear();  // no recipients and no compose window
  EXPECT_EQ(provider_.Send(m.Build(), 0), static_cast<KdxMapiUlong>(MAPI_E_INVALID_RECIPS));

  EXPECT_EQ(sink.Count(), 0);
  EXPECT_FALSE(fs::exists(dir_ / "record"));
}

TEST_F(ProviderTest, SendmailDeliversACompleteMimeMessage) {
  SmtpSink sink(dir_ / "sink");
  UseSendmail(sink.port());
  const std::string bytes = AllBytes();
  Message m;
  m.subject = Cp("Přenosový soubor Velkor ze dne 7.12.2026");
  m.body = Cp("Dobrý den,\r\nposílám data.");
  m.recips = {{MAPI_TO, "ucetni@example.test", "SMTP:ucetni@example.test"},
              {MAPI_CC, Cp("Šéf"), "smtp:sef@example.test"},
              {MAPI_BCC, "tajny@example.test", "SMTP:tajny@example.test"}};
  m.files = {{File("EXPORT.KDX", bytes), ""},
             {Cp(File("přenos dat.bin", "abc").c_str()), Cp("Účet.txt")}};
  ASSERT_EQ(provider_.Send(m.Build(), MAPI_LOGON_UI), 0u);

  ASSERT_EQ(sink.Count(), 1);
  EXPECT_EQ(sink.Recipients(1), "ucetni@example.test\nsef@example.test\ntajny@example.test\n");
  const std::string raw = sink.Message(1);
  const Parsed p = Parse(raw);
  EXPECT_EQ(p.subject, "Přenosový soubor Velkor ze dne 7.12.2026");
  EXPECT_EQ(p.to, "ucetni@example.test");
  EXPECT_EQ(p.cc, "Šéf <sef@example.test>");
  EXPECT_EQ(p.headers.count("bcc"), 0u) << raw;  // blind copies are never written
  EXPECT_EQ(p.headers.count("date"), 1u);
  EXPECT_EQ(p.headers.count("message-id"), 1u);
  EXPECT_EQ(p.text, "Dobrý den,\r\nposílám data.");
  ASSERT_EQ(p.attachments.size(), 2u);
  EXPECT_EQ(p.attachments[0].first, "EXPORT.KDX");
  EXPECT_EQ(p.attachments[0].second, bytes);
  EXPECT_EQ(p.attachments[1].first, "Účet.txt");
  EXPECT_EQ(p.attachments[1].second, "abc");
  // Headers are encoded and the body travels in 7 bits: the whole message is plain ASCII.
  for (char c : raw) ASSERT_LT(static_cast<unsigned char>(c), 128u) << raw;
  EXPECT_NE(raw.find("Content-Transfer-Encoding: base64"), std::string::npos);
}

TEST_F(ProviderTest, HostileTextsCannotAddHeadersOrRecipients) {
  SmtpSink sink(dir_ / "sink");
  UseSendmail(sink.port());
  Message m;
  m.subject = "Data\r\nBcc: victim@example.test\r\nX-Injected: yes";
  m.recips = {{MAPI_TO, "Name\r\nBcc: victim2@example.test", "SMTP:ok@example.test"}};
  m.files = {{File("a.kdx", "x"), "evil\"name\r\nX-Part-Injected: 1.kdx"}};
  ASSERT_EQ(provider_.Send(m.Build(), MAPI_LOGON_UI), 0u);
  ASSERT_EQ(sink.Count(), 1);
  EXPECT_EQ(sink.Recipients(1), "ok@example.test\n");
  const std::string raw = sink.Message(1);
  const Parsed p = Parse(raw);
  EXPECT_EQ(p.subject, "Data  Bcc: victim@example.test  X-Injected: yes");
  EXPECT_EQ(p.headers.count("x-injected"), 0u);
  EXPECT_EQ(raw.find("\nX-Part-Injected"), std::string::npos) << raw;
  EXPECT_EQ(raw.find("\nBcc:"), std::string::npos) << raw;
  ASSERT_EQ(p.attachments.size(), 1u);
  EXPECT_EQ(p.attachments[0].first, "evil\"name  X-Part-Injected: 1.kdx");

  // An address that would stand for several mailboxes or a group is refused.
  for (const char* address :
       {"SMTP:a@example.test, b@example.test", "SMTP:a@x.test;b@x.test", "SMTP:\"x\"@x.test",
        "SMTP:a@x.test\r\nBcc: c@x.test", "SMTP:-oQ/tmp@x.test", "SMTP:<a@x.test>"}) {
    m.recips = {{MAPI_TO, "n", address}};
    EXPECT_EQ(provider_.Send(m.Build(), 0), static_cast<KdxMapiUlong>(MAPI_E_UNKNOWN_RECIPIENT))
        << address;
  }
  EXPECT_EQ(sink.Count(), 1);
}

TEST_F(ProviderTest, ASendmailThatCannotDeliverIsANetworkFailure) {
  int port = 0;
  {
    SmtpSink closed(dir_ / "sink");  // find a free port, then close it again
    port = closed.port();
  }
  UseSendmail(port);
  Message m;
  m.recips = {{MAPI_TO, "a@example.test", "SMTP:a@example.test"}};
  EXPECT_EQ(provider_.Send(m.Build(), 0), static_cast<KdxMapiUlong>(MAPI_E_NETWORK_FAILURE));

  // Any other failure of the program is a general failure.
  ScopedEnv failing("KDX_SENDMAIL", "/bin/false");
  EXPECT_EQ(provider_.Send(m.Build(), 0), static_cast<KdxMapiUlong>(MAPI_E_FAILURE));
  EXPECT_FALSE(fs::exists(dir_ / "record"));
}

TEST_F(ProviderTest, TheComposeWindowGetsEveryTextAsTextHostileOnesIncluded) {
  const std::string pwned = dir_ / "pwned";
  const std::string hostile =
      "'\"; touch " + pwned + "; `touch " + pwned + "` $(touch " + pwned + ")";
  const std::string path = File("a b;$(touch " + std::string("x") + ")'\"`.kdx", "data");
  Message m;
  m.subject = Cp("Přenos ") + hostile + "\nline two";
  m.body = "body " + hostile;
  m.recips = {{MAPI_TO, "ucetni@example.test", "SMTP:ucetni@example.test"},
              {MAPI_TO, "x", Cp("SMTP:přemysl.o+x=y@example.test")},
              {MAPI_CC, "c", "SMTP:cc@example.test"},
              {MAPI_BCC, "b", "bcc@example.test"},
              {MAPI_ORIG, "me", "SMTP:me@example.test"}};
  m.files = {{path, ""}};
  ASSERT_EQ(provider_.Send(m.Build(), MAPI_LOGON_UI | MAPI_DIALOG), 0u);

  const std::string recorded = Recorded();
  ASSERT_FALSE(recorded.empty());
  const auto fields = MailtoFields(recorded.substr(0, recorded.find('\n')));
  std::vector<std::string> to;
  for (auto [it, end] = fields.equal_range("to"); it != end; ++it) to.push_back(it->second);
  EXPECT_EQ(to, (std::vector<std::string>{"ucetni@example.test", "přemysl.o+x=y@example.test"}));
  EXPECT_EQ(fields.find("cc")->second, "cc@example.test");
  EXPECT_EQ(fields.find("bcc")->second, "bcc@example.test");
  EXPECT_EQ(fields.find("subject")->second, "Přenos " + hostile + "\r\nline two");
  EXPECT_EQ(fields.find("body")->second, "body " + hostile);
  // A path with quotes and separators reaches the client as a private copy of the file.
  const std::string handed = fields.find("attach")->second;
  EXPECT_NE(handed, path);
  EXPECT_EQ(ReadFile(handed), "data");
  EXPECT_EQ(fs::path(handed).filename(), "a b___touch x____.kdx");
  EXPECT_EQ(fields.count("me"), 0u);
  EXPECT_FALSE(fs::exists(pwned));
  EXPECT_FALSE(fs::exists(dir_ / "files/x"));
  fs::remove_all(fs::path(handed).parent_path());

  // An address that is not one plain mailbox never reaches the client.
  for (const char* address : {"SMTP:q\"u;o$(id)`id`@example.test", "SMTP:a@x.test,b@x.test",
                              "SMTP:o'neil@x.test", "SMTP:a%2Cb@x.test", "SMTP:a\\b@x.test"}) {
    m.recips = {{MAPI_TO, "x", address}};
    EXPECT_EQ(provider_.Send(m.Build(), MAPI_DIALOG),
              static_cast<KdxMapiUlong>(MAPI_E_UNKNOWN_RECIPIENT))
        << address;
  }
}

TEST_F(ProviderTest, EmptySubjectAndBodyAreLeftOutOfTheComposeWindow) {
  Message m;
  ASSERT_EQ(provider_.Send(m.Build(), MAPI_DIALOG), 0u);
  EXPECT_EQ(Recorded(), "mailto:\n");
}

TEST_F(ProviderTest, WithoutAMailClientTheComposeWindowFails) {
  RemoveMailClient();
  Message m;
  m.recips = {{MAPI_TO, "a@example.test", "SMTP:a@example.test"}};
  EXPECT_EQ(provider_.Send(m.Build(), MAPI_DIALOG), static_cast<KdxMapiUlong>(MAPI_E_FAILURE));
  EXPECT_FALSE(fs::exists(dir_ / "record"));
}

TEST_F(ProviderTest, WithoutSendmailTheComposeWindowOpens) {
  ScopedEnv noSystemSendmail("KDX_SENDMAIL_FOLDERS", "");
  Message m;
  m.subject = "s";
  m.recips = {{MAPI_TO, "a@example.test", "SMTP:a@example.test"}};
  ASSERT_EQ(provider_.Send(m.Build(), MAPI_LOGON_UI), 0u);
  const auto fields = MailtoFields(Recorded().substr(0, Recorded().find('\n')));
  EXPECT_EQ(fields.find("to")->second, "a@example.test");
  EXPECT_EQ(fields.find("subject")->second, "s");
}

// The whole path of the send action: TMapiEmail, the built-in registry default, the bundled
// provider, msmtp and the sink; and the same with the compose window.
TEST_F(ProviderTest, TheSendActionWithTheBuiltInDefaultReachesSendmailAndTheMailClient) {
  mail::test::ScopedSystemRegistryFolder noSystemFile(dir_ / "etc");
  SmtpSink sink(dir_ / "sink");
  UseSendmail(sink.port());
  const std::string bytes = AllBytes();
  const std::string path = File("EXPORT.KDX", bytes);
  const std::string subject = Cp("Přenosový soubor Velkor ze dne 7.12.2026");
  for (bool show : {false, true}) {
    mail::TMapiEmail email;
    ASSERT_TRUE(email.HasUsableClient());
    email.Clear();
    email.Recipients.AddRecipient(" ucetni@example.test ", "", mail::RecipientKind::To, "");
    email.Subject = subject;
    email.Attachments.push_back(path);
    EXPECT_TRUE(email.Send(show));
  }
  ASSERT_EQ(sink.Count(), 1);
  EXPECT_EQ(sink.Recipients(1), "ucetni@example.test\n");
  const Parsed p = Parse(sink.Message(1));
  EXPECT_EQ(p.subject, "Přenosový soubor Velkor ze dne 7.12.2026");
  ASSERT_EQ(p.attachments.size(), 1u);
  EXPECT_EQ(p.attachments[0].first, "EXPORT.KDX");
  EXPECT_EQ(p.attachments[0].second, bytes);

  const auto fields = MailtoFields(Recorded().substr(0, Recorded().find('\n')));
  EXPECT_EQ(fields.find("to")->second, "ucetni@example.test");
  EXPECT_EQ(fields.find("subject")->second, "Přenosový soubor Velkor ze dne 7.12.2026");
  EXPECT_EQ(fields.find("attach")->second, path);
  EXPECT_EQ(fields.count("body"), 0u);
}

// --- the compose window on every route of xdg-email ---------------------------------------

// What a mail client's compose window would be filled with.
struct Composed {
  std::vector<std::string> to, cc, bcc, attachments;
  std::string subject, body;
  std::set<std::string> fields;
};

std::string PercentDecoded(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> items;
  std::string item;
  for (char c : text + ",") {
    if (c == ',') {
      if (!item.empty()) items.push_back(item);
      item.clear();
    } else {
      item += c;
    }
  }
  return items;
}

Composed FromMailto(const std::string& url) {
  Composed c;
  for (const auto& [key, value] : MailtoFields(url)) {
    c.fields.insert(key);
    if (key == "to") c.to.push_back(value);
    if (key == "cc") c.cc.push_back(value);
    if (key == "bcc") c.bcc.push_back(value);
    if (key == "attach") c.attachments.push_back(value);
    if (key == "subject") c.subject = value;
    if (key == "body") c.body = value;
  }
  return c;
}

// Thunderbird's -compose argument: fields separated by commas outside single quotes, each
// "name=value" with the value optionally quoted; lists inside separated by commas.
Composed FromComposeArgument(const std::string& argument) {
  Composed c;
  std::vector<std::string> items;
  std::string item;
  bool quoted = false;
  for (char ch : argument + ",") {
    if (ch == '\'') quoted = !quoted;
    if (ch == ',' && !quoted) {
      items.push_back(item);
      item.clear();
    } else {
      item += ch;
    }
  }
  for (const std::string& it : items) {
    const auto eq = it.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = it.substr(0, eq);
    std::string value = it.substr(eq + 1);
    if (value.size() >= 2 && value.front() == '\'' && value.back() == '\'') {
      value = value.substr(1, value.size() - 2);
    }
    c.fields.insert(key);
    if (key == "to") c.to = SplitList(value);
    if (key == "cc") c.cc = SplitList(value);
    if (key == "bcc") c.bcc = SplitList(value);
    if (key == "attachment") c.attachments = SplitList(value);
    if (key == "subject") c.subject = PercentDecoded(value);
    if (key == "body") c.body = PercentDecoded(value);
  }
  return c;
}

enum class Route { Generic, Kde, Gnome, ThunderbirdGeneric, ThunderbirdKde, ThunderbirdGnome3 };

std::string RouteName(const ::testing::TestParamInfo<Route>& info) {
  switch (info.param) {
    case Route::Generic:
      return "GenericHandler";
    case Route::Kde:
      return "Kde";
    case Route::Gnome:
      return "Gnome";
    case Route::ThunderbirdGeneric:
      return "ThunderbirdAsHandler";
    case Route::ThunderbirdKde:
      return "ThunderbirdOnKde";
    case Route::ThunderbirdGnome3:
      return "ThunderbirdOnLxde";
  }
  return "Unknown";
}

class ComposeRouteTest : public ProviderTest, public ::testing::WithParamInterface<Route> {
 protected:
  void SetUp() override {
    const std::string record = "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$KDX_TEST_RECORD\"\n";
    auto program = [this](const char* name, const std::string& script) {
      fs::permissions(dir_.WriteFile(std::string("bin/") + name, script), fs::perms::owner_all);
    };
    const Route route = GetParam();
    thunderbird_ = route == Route::ThunderbirdGeneric || route == Route::ThunderbirdKde ||
                   route == Route::ThunderbirdGnome3;
    if (thunderbird_) {
      program("thunderbird", record);
      WriteFile(dir_ / "data/applications/kdx-test-mailer.desktop",
                "[Desktop Entry]\nType=Application\nName=Mail\n"
                "Exec=thunderbird %u\nMimeType=x-scheme-handler/mailto;\n");
    }
    if (route == Route::Kde || route == Route::ThunderbirdKde) {
      env_.emplace_back("XDG_CURRENT_DESKTOP", "KDE");
      env_.emplace_back("KDE_SESSION_VERSION", "5");
      program("kde-open5", record);
    }
    if (route == Route::ThunderbirdKde) {
      program("kreadconfig5",
              "#!/bin/sh\ncase \"$*\" in *EmailClient*) echo 'thunderbird %u';; "
              "*Profile*) echo Default;; esac\n");
    }
    if (route == Route::Gnome) env_.emplace_back("XDG_CURRENT_DESKTOP", "GNOME");
    if (route == Route::ThunderbirdGnome3) env_.emplace_back("XDG_CURRENT_DESKTOP", "LXDE");
    if (route == Route::Gnome) {
      program("gio", "#!/bin/sh\n[ \"$1\" = help ] && exit 0\n[ \"$1\" = open ] && shift\n" +
                         record.substr(10));
    }
  }

  Composed Received() const {
    const std::string recorded = Recorded();
    if (thunderbird_) {
      EXPECT_EQ(recorded.rfind("-compose\n", 0), 0u) << recorded;
      return FromComposeArgument(recorded.substr(9, recorded.size() - 10));
    }
    return FromMailto(recorded.substr(0, recorded.find('\n')));
  }

  bool thunderbird_ = false;
  std::list<ScopedEnv> env_;
};

TEST_P(ComposeRouteTest, NoTextOrFileNameAddsARecipientAFieldOrAnotherFile) {
  const std::string quoted = File("x',bcc='spy@evil.test',subject='hi.kdx", "quoted file");
  // The shell's echo in xdg-email reads "\0057" as "/": this name would turn into files/a/b.kdx.
  const std::string backslashed = File("a\\0057b.kdx", "backslash file");
  fs::create_directories(dir_ / "files/a");
  WriteFile(dir_ / "files/a/b.kdx", "decoy");
  const std::string comma = File("p,q.kdx", "comma file");
  const std::string plain = File("EXPORT 1.KDX", "plain file");
  Message m;
  // Two backslashes survive one echo as one, which the next echo reads as "&".
  m.subject = "s\\\\0046to=evil@x.test\\c',bcc='spy@evil.test',x='%41";
  m.body = "b\\\\0046bcc=spy2@evil.test&attach=/etc/passwd\nline";
  m.recips = {{MAPI_TO, "a", "SMTP:a@example.test"}, {MAPI_CC, "c", "SMTP:c@example.test"}};
  m.files = {{quoted, ""}, {backslashed, ""}, {comma, ""}, {plain, ""}};
  ASSERT_EQ(provider_.Send(m.Build(), MAPI_DIALOG), 0u);

  const Composed c = Received();
  EXPECT_EQ(c.to, std::vector<std::string>{"a@example.test"});
  EXPECT_EQ(c.cc, std::vector<std::string>{"c@example.test"});
  EXPECT_TRUE(c.bcc.empty());
  EXPECT_EQ(c.subject, m.subject);
  EXPECT_EQ(c.body, "b\\\\0046bcc=spy2@evil.test&attach=/etc/passwd\r\nline");
  const std::set<std::string> expected =
      thunderbird_ ? std::set<std::string>{"to", "cc", "subject", "body", "attachment"}
                   : std::set<std::string>{"to", "cc", "subject", "body", "attach"};
  EXPECT_EQ(c.fields, expected);
  ASSERT_EQ(c.attachments.size(), 4u);
  EXPECT_EQ(ReadFile(c.attachments[0]), "quoted file");
  EXPECT_EQ(ReadFile(c.attachments[1]), "backslash file");
  EXPECT_EQ(ReadFile(c.attachments[2]), "comma file");
  EXPECT_EQ(c.attachments[3], plain);  // a plain path is handed over as it is
  fs::remove_all(fs::path(c.attachments[0]).parent_path());

  fs::remove(dir_ / "record");
  m.files = {{plain, ""}};
  m.recips = {{MAPI_TO, "a", "SMTP:a@x.test',attachment='file:///etc/passwd',to='b@evil.test"}};
  EXPECT_EQ(provider_.Send(m.Build(), MAPI_DIALOG),
            static_cast<KdxMapiUlong>(MAPI_E_UNKNOWN_RECIPIENT));
  EXPECT_FALSE(fs::exists(dir_ / "record"));
}

INSTANTIATE_TEST_SUITE_P(EveryRoute, ComposeRouteTest,
                         ::testing::Values(Route::Generic, Route::Kde, Route::Gnome,
                                           Route::ThunderbirdGeneric, Route::ThunderbirdKde,
                                           Route::ThunderbirdGnome3),
                         RouteName);

// --- sendmail -----------------------------------------------------------------------------

class SendmailTest : public ProviderTest {
 protected:
  // KDX_SENDMAIL names a shell script of ours.
  void UseScript(const std::string& body) {
    WriteFile(dir_ / "bin/fake-sendmail", "#!/bin/sh\n" + body);
    fs::permissions(dir_ / "bin/fake-sendmail", fs::perms::owner_all);
    sendmailScript_.emplace("KDX_SENDMAIL", dir_ / "bin/fake-sendmail");
  }
  // A sendmail that records its arguments and the message.
  void UseRecorder() {
    UseScript(
        "printf '%s\\n' \"$@\" > \"$KDX_TEST_RECORD.args\"\ncat > \"$KDX_TEST_RECORD.msg\"\n");
  }
  std::string Args() const { return ReadFile(dir_ / "record.args"); }
  std::string Sent() const { return ReadFile(dir_ / "record.msg"); }
  std::optional<ScopedEnv> sendmailScript_;
};

TEST_F(SendmailTest, EveryRecipientIsOnTheCommandLineAndNoBlindCopyInTheMessage) {
  UseRecorder();
  Message m;
  m.recips = {{MAPI_TO, "t", "SMTP:to@example.test"},
              {MAPI_CC, "c", "SMTP:cc@example.test"},
              {MAPI_BCC, "b", "SMTP:hidden@example.test"},
              {MAPI_ORIG, "me", "SMTP:me@example.test"}};
  ASSERT_EQ(provider_.Send(m.Build(), 0), 0u);
  EXPECT_EQ(Args(), "-oi\n--\nto@example.test\ncc@example.test\nhidden@example.test\n");
  const std::string sent = Sent();
  EXPECT_NE(sent.find("\nCc: c <cc@example.test>\n"), std::string::npos) << sent;
  EXPECT_EQ(sent.find("hidden"), std::string::npos) << sent;
  EXPECT_EQ(Parse(sent).headers.count("bcc"), 0u);
}

TEST_F(SendmailTest, OnlyOnePlainMailboxIsAcceptedAndWrittenAsGiven) {
  UseRecorder();
  Message m;
  for (const std::string& address : std::vector<std::string>{
           "a@b.test@c.test", "a@b@c.test", "|cmd@x.test", "/etc/passwd", "/tmp/x@y.test", "root",
           Cp("přemysl@example.test"), "a@příklad.test", "a..b@x.test", ".a@x.test", "a.@x.test",
           "a@x..test", "a@", "@x.test", "a@x_y.test", "-oQ@x.test"}) {
    m.recips = {{MAPI_TO, "", "SMTP:" + address}};
    EXPECT_EQ(provider_.Send(m.Build(), 0), static_cast<KdxMapiUlong>(MAPI_E_UNKNOWN_RECIPIENT))
        << address;
  }
  EXPECT_FALSE(fs::exists(dir_ / "record.args"));

  for (const std::string address : {"a.b+c@x-y.test", "o'neil@x.test", "x{y}|z=1@Example.TEST"}) {
    m.recips = {{MAPI_TO, "", "SMTP:" + address}};
    ASSERT_EQ(provider_.Send(m.Build(), 0), 0u) << address;
    EXPECT_EQ(Args(), "-oi\n--\n" + address + "\n");
    EXPECT_NE(Sent().find("\nTo: " + address + "\n"), std::string::npos) << Sent();
  }
}

TEST_F(SendmailTest, ASendmailThatStopsReadingIsAFailure) {
  UseScript("head -c 100 > /dev/null\nexit 0\n");
  Message m;
  m.recips = {{MAPI_TO, "", "SMTP:a@example.test"}};
  m.files = {{File("big.kdx", std::string(5 << 20, 'x')), ""}};
  EXPECT_EQ(provider_.Send(m.Build(), 0), static_cast<KdxMapiUlong>(MAPI_E_FAILURE));
  // A short message fits into the pipe whole: every write succeeds, yet most of it is unread.
  m.files.clear();
  EXPECT_EQ(provider_.Send(m.Build(), 0), static_cast<KdxMapiUlong>(MAPI_E_FAILURE));
  // One that reads everything has the message.
  UseScript("cat > /dev/null\nexit 0\n");
  EXPECT_EQ(provider_.Send(m.Build(), 0), 0u);
  // One that gives up without reading says why, and its reason is the answer.
  UseScript("exit 75\n");
  m.files = {{File("big.kdx", std::string(5 << 20, 'x')), ""}};
  EXPECT_EQ(provider_.Send(m.Build(), 0), static_cast<KdxMapiUlong>(MAPI_E_NETWORK_FAILURE));
}

// A copy of the program in a folder whose name code page 1250 cannot spell (and one it can)
// finds its bundled provider and sends.
TEST_F(SendmailTest, TheBundledProviderIsFoundWhereverTheProgramLies) {
  UseRecorder();
  const std::string attachment = File("EXPORT.KDX", "transfer");
  for (const std::string folder : {"Программы/kdx", "Účetnictví/kdx"}) {
    SCOPED_TRACE(folder);
    fs::create_directories(dir_ / folder);
    fs::copy_file(KDX_BUNDLED_SEND_PROBE, dir_ / folder + "/probe");
    fs::copy_file(Provider::Path(), dir_ / folder + "/libkdxmapi.so");
    fs::permissions(dir_ / folder + "/probe", fs::perms::owner_all);
    FILE* run = popen(
        ("'" + dir_ / folder + "/probe' '" + dir_ / "etc" + "' '" + attachment + "' 2>&1").c_str(),
        "r");
    ASSERT_NE(run, nullptr);
    std::string output;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, run)) output += buffer;
    EXPECT_EQ(pclose(run), 0) << output;
    EXPECT_EQ(output, "sent\n");
    EXPECT_NE(Sent().find("EXPORT.KDX"), std::string::npos);
    fs::remove(dir_ / "record.msg");
  }
}

// A sendmail that ends, leaving behind a child that holds its standard input open and never
// reads it: the message is not sent, and the call does not wait for that child.
TEST_F(SendmailTest, ABackgroundChildHoldingTheInputDoesNotHoldTheCall) {
  // (An asynchronous command's input is /dev/null unless redirected: fd 3 keeps the pipe.)
  UseScript(
      "exec 3<&0\n(sleep 60; touch \"$KDX_TEST_RECORD.child-ended\") <&3 &\n"
      "echo $! > \"$KDX_TEST_RECORD.child\"\nexit 0\n");
  Message m;
  m.recips = {{MAPI_TO, "", "SMTP:a@example.test"}};
  EXPECT_EQ(provider_.Send(m.Build(), 0), static_cast<KdxMapiUlong>(MAPI_E_FAILURE));
  EXPECT_FALSE(fs::exists(dir_ / "record.child-ended")) << "the call waited for the child";
  ::kill(std::atoi(ReadFile(dir_ / "record.child").c_str()), SIGKILL);
}

// KDX_SENDMAIL must name its program by a full path: a relative one would be checked in the
// current folder (which the folder picker moves) and started from another.
TEST_F(SendmailTest, ARelativeSendmailProgramIsRefused) {
  // The same relative name leads to one program from the browsed folder and to another from the
  // root folder.
  const std::string relative = dir_.Path().substr(1) + "/programs/sendmail";
  const fs::path browsed = dir_ / "browsed";
  for (const fs::path& program : {browsed / relative, "/" / fs::path(relative)}) {
    fs::create_directories(program.parent_path());
    WriteFile(program, "#!/bin/sh\ncat > \"$KDX_TEST_RECORD.ran-" +
                           program.parent_path().parent_path().filename().string() + "\"\n");
    fs::permissions(program, fs::perms::owner_all);
  }
  kdx::test::ScopedCwd cwd(browsed.string());
  ScopedEnv relativeProgram("KDX_SENDMAIL", relative);
  Message m;
  m.recips = {{MAPI_TO, "", "SMTP:a@example.test"}};
  EXPECT_EQ(provider_.Send(m.Build(), 0), static_cast<KdxMapiUlong>(MAPI_E_FAILURE));
  for (const auto& entry : fs::directory_iterator(dir_.Path())) {
    EXPECT_EQ(entry.path().filename().string().rfind("record.ran-", 0), std::string::npos)
        << entry.path() << " ran";
  }
  EXPECT_FALSE(fs::exists(dir_ / "record")) << "the compose window opened instead";
}

// AddressSanitizer keeps huge reservations of address space and stops (or hangs in its own
// report) when a limit on it makes an allocation of its own fail: the tests that limit the
// address space run in the plain build only.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

// The process's address space in kB (VmSize), to which the tests below add their limit.
long AddressSpaceKb() {
  long kb = 0;
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmSize:", 0) == 0) kb = std::atol(line.c_str() + 7);
  }
  return kb;
}

// The attachment is read, encoded and written piece by piece: with the address space limited
// to a few hundred megabytes more than the process already has, a 2 GB file still goes out.
TEST_F(SendmailTest, ALargeAttachmentIsStreamedNotHeldInMemory) {
  if (kAddressSanitizer) GTEST_SKIP() << "limits the address space: not under AddressSanitizer";
  UseScript("wc -c > \"$KDX_TEST_RECORD.count\"\n");
  const std::string path = dir_ / "files/huge.kdx";
  { std::ofstream(path, std::ios::binary); }
  constexpr std::uintmax_t kSize = std::uintmax_t{2} << 30;
  fs::resize_file(path, kSize);  // sparse: no disk space taken
  Message m;
  m.recips = {{MAPI_TO, "", "SMTP:a@example.test"}};
  m.files = {{path, ""}};
  MapiMessage* message = m.Build();

  const long vmKb = AddressSpaceKb();
  ASSERT_GT(vmKb, 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const rlim_t limit = static_cast<rlim_t>(vmKb) * 1024 + (rlim_t{384} << 20);
    const rlimit rl{limit, limit};
    setrlimit(RLIMIT_AS, &rl);
    _exit(static_cast<int>(provider_.Send(message, 0)));
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  const std::uintmax_t written = std::stoull("0" + ReadFile(dir_ / "record.count"));
  EXPECT_GT(written, kSize / 3 * 4);
}

// Memory running short while the message is prepared is reported, not a crash of the program:
// whichever allocation fails first, with less or more room, the answer is "insufficient memory"
// or the message goes out.
TEST_F(SendmailTest, RunningOutOfMemoryIsReportedAsInsufficientMemory) {
  if (kAddressSanitizer) GTEST_SKIP() << "limits the address space: not under AddressSanitizer";
  UseScript("cat > /dev/null\n");
  Message m;
  m.recips = {{MAPI_TO, "", "SMTP:a@example.test"}};
  m.body = std::string(96 << 20, 'x');
  for (KdxMapiFlags flags : {0u, static_cast<KdxMapiFlags>(MAPI_DIALOG)}) {
    for (rlim_t roomMb : {32, 128, 192, 256, 320}) {
      MapiMessage* message = m.Build();
      const long vmKb = AddressSpaceKb();
      const pid_t child = fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        const rlim_t limit = static_cast<rlim_t>(vmKb) * 1024 + (roomMb << 20);
        const rlimit rl{limit, limit};
        setrlimit(RLIMIT_AS, &rl);
        _exit(static_cast<int>(provider_.Send(message, flags)));
      }
      int status = 0;
      ASSERT_EQ(waitpid(child, &status, 0), child);
      ASSERT_TRUE(WIFEXITED(status))
          << "ended by signal " << WTERMSIG(status) << " with " << roomMb << " MB, flags " << flags;
      const int result = WEXITSTATUS(status);
      if (roomMb == 32 || flags == MAPI_DIALOG) {
        // Too little room for the text at all; the compose window cannot take 96 MB of text on
        // a command line either way.
        EXPECT_NE(result, 0) << roomMb;
      }
      EXPECT_TRUE(result == 0 || result == static_cast<int>(MAPI_E_INSUFFICIENT_MEMORY) ||
                  (flags == MAPI_DIALOG && result == static_cast<int>(MAPI_E_FAILURE)))
          << result << " with " << roomMb << " MB, flags " << flags;
    }
  }
}

// --- the private copies for the compose window ---------------------------------------------

// A file whose path the compose window cannot take as it is (here: a comma) goes over as a copy
// in a private folder. When the hand-off fails, that copy of a possibly sensitive file does not
// stay behind; a TMPDIR that names no folder means /tmp.
TEST_F(ProviderTest, NoPrivateCopyStaysBehindWhenTheHandOffFails) {
  const std::string tmp = dir_.MakeDir("tmp");
  ScopedEnv tmpdir("TMPDIR", tmp);
  Message m;
  m.recips = {{MAPI_TO, "", "SMTP:a@example.test"}};
  m.files = {{File("a,b.kdx", "secret"), ""}};
  // The mail client fails.
  const std::string mailer = ReadFile(dir_ / "bin/kdx-test-mailer");
  WriteFile(dir_ / "bin/kdx-test-mailer", "#!/bin/sh\nexit 1\n");
  EXPECT_EQ(provider_.Send(m.Build(), MAPI_DIALOG), static_cast<KdxMapiUlong>(MAPI_E_FAILURE));
  EXPECT_TRUE(fs::is_empty(tmp));
  WriteFile(dir_ / "bin/kdx-test-mailer", mailer);

  // A later attachment cannot be copied (it is larger than this process may write): the copy
  // of the first goes too.
  {
    std::ofstream(dir_ / "files/c,d.kdx").close();
    fs::resize_file(dir_ / "files/c,d.kdx", 4 << 20);
    m.files.push_back({dir_ / "files/c,d.kdx", ""});
    rlimit before{};
    getrlimit(RLIMIT_FSIZE, &before);
    rlimit limited = before;
    limited.rlim_cur = 1 << 20;
    setrlimit(RLIMIT_FSIZE, &limited);
    const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    const KdxMapiUlong result = provider_.Send(m.Build(), MAPI_DIALOG);
    signal(SIGXFSZ, oldHandler);
    setrlimit(RLIMIT_FSIZE, &before);
    EXPECT_EQ(result, static_cast<KdxMapiUlong>(MAPI_E_ATTACHMENT_WRITE_FAILURE));
    EXPECT_TRUE(fs::is_empty(tmp));
    EXPECT_FALSE(fs::exists(dir_ / "record"));
    m.files.pop_back();
  }

  // A TMPDIR that names a missing folder: the copy is made under /tmp.
  ScopedEnv missing("TMPDIR", dir_ / "no-such-folder");
  ASSERT_EQ(provider_.Send(m.Build(), MAPI_DIALOG), 0u);
  const Composed c = FromMailto(Recorded().substr(0, Recorded().find('\n')));
  ASSERT_EQ(c.attachments.size(), 1u);
  EXPECT_EQ(c.attachments[0].rfind("/tmp/kdx-mail-", 0), 0u) << c.attachments[0];
  EXPECT_EQ(ReadFile(c.attachments[0]), "secret");
  if (c.attachments[0].rfind("/tmp/kdx-mail-", 0) == 0) {
    fs::remove_all(fs::path(c.attachments[0]).parent_path());
  }
}

// --- programs from the current folder -----------------------------------------------------

TEST_F(ProviderTest, NoProgramIsTakenFromTheCurrentFolderOrARelativePathEntry) {
  ScopedEnv noSystemSendmail("KDX_SENDMAIL_FOLDERS", "");
  // A folder the user browsed to, holding programs of the names the provider and xdg-email run.
  const fs::path browsed = dir_ / "browsed";
  fs::create_directories(browsed / "rel");
  for (const fs::path name : {"sendmail", "xdg-email", "xdg-open", "xdg-mime", "gio", "which",
                              "rel/sendmail", "rel/xdg-email", "rel/xdg-open"}) {
    WriteFile(browsed / name, "#!/bin/sh\necho \"$0\" >> \"$KDX_TEST_RECORD.planted\"\n");
    fs::permissions(browsed / name, fs::perms::owner_all);
  }
  const fs::path previous = fs::current_path();
  fs::current_path(browsed);
  ScopedEnv path("PATH", ":rel::" + dir_ / "bin" + ":/usr/bin:/bin");
  Message m;
  m.recips = {{MAPI_TO, "", "SMTP:a@example.test"}};
  const KdxMapiUlong sent = provider_.Send(m.Build(), 0);  // no sendmail: the compose window
  const KdxMapiUlong composed = provider_.Send(m.Build(), MAPI_DIALOG);
  fs::current_path(previous);
  EXPECT_EQ(sent, 0u);
  EXPECT_EQ(composed, 0u);
  EXPECT_FALSE(fs::exists(dir_ / "record.planted"));
  EXPECT_EQ(FromMailto(Recorded().substr(0, Recorded().find('\n'))).to,
            std::vector<std::string>{"a@example.test"});
}

// --- the file checked is the file sent ----------------------------------------------------

TEST_F(ProviderTest, AnAttachmentPathIsResolvedOnceThroughItsLinks) {
  SmtpSink sink(dir_ / "sink");
  UseSendmail(sink.port());
  // files/link leads to files/deep/inner: "files/link/../x.kdx" is files/deep/x.kdx on disk,
  // while collapsing ".." as text gives files/x.kdx.
  fs::create_directories(dir_ / "files/deep/inner");
  fs::create_directory_symlink(dir_ / "files/deep/inner", dir_ / "files/link");
  WriteFile(dir_ / "files/deep/x.kdx", "the file checked");
  WriteFile(dir_ / "files/x.kdx", "another file");
  Message m;
  m.recips = {{MAPI_TO, "", "SMTP:a@example.test"}};
  m.files = {{dir_ / "files/link/../x.kdx", ""}};
  ASSERT_EQ(provider_.Send(m.Build(), 0), 0u);
  ASSERT_EQ(provider_.Send(m.Build(), MAPI_DIALOG), 0u);
  const Parsed p = Parse(sink.Message(1));
  ASSERT_EQ(p.attachments.size(), 1u);
  EXPECT_EQ(p.attachments[0].second, "the file checked");
  const Composed c = FromMailto(Recorded().substr(0, Recorded().find('\n')));
  ASSERT_EQ(c.attachments.size(), 1u);
  EXPECT_EQ(ReadFile(c.attachments[0]), "the file checked");
}

}  // namespace
}  // namespace kdx::provider
