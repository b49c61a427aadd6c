// The sendmail route: msmtp (as the sendmail-compatible program) delivering to a local SMTP
// sink, shell scripts standing in for sendmail, and the compose window when there is none.

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <optional>

#include "ProviderTestSupport.h"

namespace kdx::provider {
namespace {

using namespace kdx::provider::test;

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

// What msmtp answers for a server that cannot be reached, refuses or never answers becomes the
// call's result; nothing is delivered, and a silent server holds the call only for the idle limit.
TEST_F(ProviderTest, ASendmailThatCannotDeliverSaysWhy) {
  ScopedEnv idle("KDX_SENDMAIL_TIMEOUT", "1");
  const struct {
    const char* server;  // smtp_sink.py's behaviour; "closed": nothing listens on the port
    const char* recipient;
    std::size_t attachment;  // bytes; 0: none
    KdxMapiUlong result;
  } cases[] = {
      {"closed", "a@example.test", 0, MAPI_E_NETWORK_FAILURE},
      {"reject-recipient", "unknown@example.test", 0, MAPI_E_UNKNOWN_RECIPIENT},
      {"reject-data", "a@example.test", 0, MAPI_E_FAILURE},
      // msmtp has read the whole message, part of it waits in the pipe, the write waits for it.
      {"silent", "a@example.test", 0, MAPI_E_NETWORK_FAILURE},
      {"silent", "a@example.test", 16 << 10, MAPI_E_NETWORK_FAILURE},
      {"silent", "a@example.test", 1 << 20, MAPI_E_NETWORK_FAILURE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.server) + " with " + std::to_string(c.attachment) + " bytes");
    const std::string folder = dir_.MakeDir(std::string("sink-") + c.server);
    std::optional<SmtpSink> sink;
    int port = 0;
    if (std::string(c.server) == "closed") {
      port = SmtpSink(folder).port();  // a free port, closed again
    } else {
      port = sink.emplace(folder, c.server).port();
    }
    UseSendmail(port);
    Message m;
    m.recips = {{MAPI_TO, "", "SMTP:a@example.test"},
                {MAPI_TO, "", std::string("SMTP:") + c.recipient}};
    if (c.attachment) m.files = {{File("a.kdx", std::string(c.attachment, 'x')), ""}};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(provider_.Send(m.Build(), 0), c.result);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    if (sink) {
      EXPECT_EQ(sink->Count(), 0);
    }
  }

  // Any other failure of the program is a general failure.
  ScopedEnv failing("KDX_SENDMAIL", "/bin/false");
  Message m;
  m.recips = {{MAPI_TO, "a@example.test", "SMTP:a@example.test"}};
  EXPECT_EQ(provider_.Send(m.Build(), 0), static_cast<KdxMapiUlong>(MAPI_E_FAILURE));
  EXPECT_FALSE(fs::exists(dir_ / "record"));
}

TEST_F(ProviderTest, WithoutSendmailTheComposeWindowOpens) {
  ScopedEnv noSystemSendmail("KDX_SENDMAIL_FOLDERS", "");
  Message m;
  m.subject = "s";
  m.recips = {{MAPI_TO, "a@example.test", "SMTP:a@example.test"}};
  ASSERT_EQ(provider_.Send(m.Build(), MAPI_LOGON_UI), 0u);
  const auto fields = MailtoFields(FirstLine(Recorded()));
  EXPECT_EQ(fields.find("to")->second, "a@example.test");
  EXPECT_EQ(fields.find("subject")->second, "s");
}

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

}  // namespace
}  // namespace kdx::provider
