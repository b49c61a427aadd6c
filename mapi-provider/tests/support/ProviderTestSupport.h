#pragma once
// The provider tests' support (kdx_provider_test_support): the provider loaded as the program
// loads it, Simple MAPI messages built from plain values, a desktop of the test's own (PATH, XDG
// folders, no desktop session), the local SMTP sink, and what the message's receivers got: the
// MIME message parsed, the mailto: URL and Thunderbird's -compose argument decoded.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "CoreTestSupport.h"
#include "kdx/mail/MapiTypes.h"

namespace kdx::provider::test {

using namespace kdx::test;
namespace fs = std::filesystem;

// The provider, loaded as the program loads it. KDX_PROVIDER_UNDER_TEST runs the tests against
// another build of it (an older one, to see a test fail without its fix).
class Provider {
 public:
  Provider();
  ~Provider();
  Provider(const Provider&) = delete;
  Provider& operator=(const Provider&) = delete;
  static const char* Path();
  void* Symbol(const char* name) const;
  // MAPISendMail without a session or a window.
  KdxMapiUlong Send(MapiMessage* message, KdxMapiFlags flags) const;

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
    std::string address;  // empty: null lpszAddress
  };
  std::vector<Recip> recips;
  struct File {
    std::string path;
    std::string name;  // empty: null lpszFileName
  };
  std::vector<File> files;

  MapiMessage* Build();

 private:
  std::vector<MapiRecipDesc> recipDescs_;
  std::vector<MapiFileDesc> fileDescs_;
  MapiMessage message_{};
};

// A desktop of the test's own in `dir`: PATH its bin/ and the system's folders, HOME and the XDG
// folders inside it, no desktop session, no browser or mailer of the host, and KDX_TEST_RECORD
// naming dir/record for the stand-in mail clients.
struct BareDesktop {
  explicit BareDesktop(const TempDir& dir);
  ScopedEnv path, home, config, data, dataDirs, browser, record;
  ScopedEnv desktop, session, kde, gnome, mailer;
};

// The local SMTP sink (python3-aiosmtpd) on a free loopback port, writing into `folder`;
// `behaviour` makes it fail (smtp_sink.py: "reject-recipient", "reject-data", "silent").
class SmtpSink {
 public:
  explicit SmtpSink(const std::string& folder, const std::string& behaviour = "accept");
  ~SmtpSink();
  SmtpSink(const SmtpSink&) = delete;
  SmtpSink& operator=(const SmtpSink&) = delete;
  int port() const { return port_; }
  // The n-th message received (1-based) and its envelope recipients; "<missing>" if none.
  std::string Message(int n) const;
  std::string Recipients(int n) const;
  int Count() const;

 private:
  std::string folder_;
  int pid_ = 0;
  int stdin_ = -1;
  int port_ = 0;
};

// The recording stand-in mail client of ProviderTest, below its folder.
inline constexpr const char* kStandInMailer = "bin/claws-mail";

// The world of one provider test: PATH with a chosen set of programs, XDG folders, a desktop
// whose mailto: handler (kdx-test-mailer.desktop) is the recording stand-in (kStandInMailer: its
// arguments, one per line, into dir/record), msmtp's configuration, the provider loaded.
class ProviderTest : public ::testing::Test {
 protected:
  ProviderTest();
  // Makes msmtp, reached as "sendmail" on PATH, deliver to `port` (again: to another port).
  void UseSendmail(int port);
  // Removes the stand-in mail client's registration: the desktop has no mail client.
  void RemoveMailClient();
  // What the stand-in mail client received.
  std::string Recorded() const;
  // A file files/<name> holding `bytes`; its path.
  std::string File(const std::string& name, const std::string& bytes);

  TempDir dir_;
  BareDesktop desktop_{dir_};
  ScopedEnv display_{"DISPLAY", ":kdx-test"};
  ScopedEnv sendmail_{"KDX_SENDMAIL", std::nullopt};
  ScopedEnv registry_{"KDX_REGISTRY", std::nullopt};
  Provider provider_;
};

// 300 rounds of every byte value in changing order.
std::string AllBytes();

// --- what the receivers got ------------------------------------------------------------------

// A parsed message (GMime), with the decoded content of its attachments.
struct Parsed {
  std::string subject;
  std::string to;
  std::string cc;
  std::map<std::string, std::string> headers;  // lower-cased name -> raw value
  std::string text;
  std::vector<std::pair<std::string, std::string>> attachments;  // file name, bytes
};
Parsed Parse(const std::string& raw);

// "%XX" sequences turned into their bytes.
std::string PercentDecoded(const std::string& s);

// The fields of a mailto: URL, percent-decoded.
std::multimap<std::string, std::string> MailtoFields(const std::string& url);

// What a mail client's compose window would be filled with.
struct Composed {
  std::vector<std::string> to, cc, bcc, attachments;
  std::string subject, body;
  std::set<std::string> fields;
};
Composed FromMailto(const std::string& url);
// Thunderbird's -compose argument: fields separated by commas outside quoted values (from a
// quote after "=" to the same quote before a comma or the end), each "name=value" with the value
// optionally in single quotes; lists inside separated by commas.
Composed FromComposeArgument(const std::string& argument);

// The first line of a record (the mailto: URL the stand-in client got as its first argument).
std::string FirstLine(const std::string& record);

}  // namespace kdx::provider::test
