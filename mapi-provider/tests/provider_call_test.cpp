// The provider's calls, whichever way the message goes: the twelve entry points, the checks of
// a message before any program runs, the whole send action of the program through the built-in
// registry default, programs never taken from the current folder, and an attachment path
// resolved once.

#include "MailTestSupport.h"
#include "ProviderTestSupport.h"
#include "kdx/mail/MapiEmail.h"
#include "kdx/mail/MapiTypes.h"

namespace kdx::provider {
namespace {

using namespace kdx::provider::test;

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

// The whole path of the send action: TMapiEmail, the built-in registry default, the bundled
// provider, msmtp and the sink; and the same with the compose window.
TEST_F(ProviderTest, TheSendActionWithTheBuiltInDefaultReachesSendmailAndTheMailClient) {
  platform::ScopedSystemRegistryFolderForTesting noSystemFile(dir_ / "etc");
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

  const auto fields = MailtoFields(FirstLine(Recorded()));
  EXPECT_EQ(fields.find("to")->second, "ucetni@example.test");
  EXPECT_EQ(fields.find("subject")->second, "Přenosový soubor Velkor ze dne 7.12.2026");
  EXPECT_EQ(fields.find("attach")->second, path);
  EXPECT_EQ(fields.count("body"), 0u);
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
  EXPECT_EQ(FromMailto(FirstLine(Recorded())).to, std::vector<std::string>{"a@example.test"});
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
  const Composed c = FromMailto(FirstLine(Recorded()));
  ASSERT_EQ(c.attachments.size(), 1u);
  EXPECT_EQ(ReadFile(c.attachments[0]), "the file checked");
}

}  // namespace
}  // namespace kdx::provider
