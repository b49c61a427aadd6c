// TMapiEmail: the descriptors handed to MAPISendMail, the order of the checks, the results, and
// the owner window.

#include <unistd.h>

#include "MailTestSupport.h"
#include "kdx/mail/MapiEmail.h"
#include "kdx/mail/MapiTypes.h"
#include "kdx/mail/OwnerWindow.h"
#include "kdx/platform/Text.h"
#include "kdx/platform/TopWindows.h"

namespace kdx::mail {
namespace {

using kdx::test::ScopedCwd;
using kdx::test::ScopedEnv;
using kdx::test::TempDir;
using kdx::test::WriteFile;
using test::ProviderProbe;

class SendTest : public test::RegistryFileTest {
 protected:
  SendTest() { Use(test::RegWithClient("Recorder", KDX_TEST_PROVIDER_FULL)); }
  std::string attachment_ = dir_.WriteFile("EXPORT.KDX", "transfer data");
  ProviderProbe probe_{KDX_TEST_PROVIDER_FULL};
};

// The sequence of the send action, and the exact message it produces.
TEST_F(SendTest, TheSendActionsMessage) {
  for (bool show : {true, false}) {
    TMapiEmail email;
    email.Clear();
    email.Recipients.AddRecipient("  \tucetni@example.cz \r\n", "", RecipientKind::To, "");
    email.Subject = text::Utf8ToCp1250("Přenosový soubor Velkor ze dne 7.12.2026");
    email.Attachments.push_back(attachment_);
    EXPECT_TRUE(email.Send(show));
    EXPECT_TRUE(email.IsClientLibraryLoaded());  // stays loaded after Send

    const RecordedSend& r = *probe_;
    EXPECT_EQ(r.sendCalls, show ? 1 : 2);
    EXPECT_EQ(r.session, 0u);
    EXPECT_EQ(r.uiParam, 0u);  // no windows registered in this process
    EXPECT_EQ(r.flags, show ? 0x9u : 0x1u);
    EXPECT_EQ(r.reserved, 0u);
    ASSERT_FALSE(r.messageNull);
    EXPECT_EQ(r.messageReserved, 0u);
    EXPECT_EQ(r.subject, text::Utf8ToCp1250("Přenosový soubor Velkor ze dne 7.12.2026"));
    EXPECT_FALSE(r.noteNull);  // an empty text, not null
    EXPECT_EQ(r.note, "");
    EXPECT_TRUE(r.messageTypeNull);
    EXPECT_TRUE(r.dateReceivedNull);
    EXPECT_TRUE(r.conversationIdNull);
    EXPECT_EQ(r.messageFlags, 0u);
    EXPECT_TRUE(r.originatorNull);
    ASSERT_EQ(r.recipCount, 1u);
    ASSERT_EQ(r.recips.size(), 1u);
    EXPECT_EQ(r.recips[0].reserved, 0u);
    EXPECT_EQ(r.recips[0].recipClass, static_cast<KdxMapiUlong>(MAPI_TO));
    EXPECT_EQ(r.recips[0].name, "ucetni@example.cz");
    EXPECT_EQ(r.recips[0].address, "SMTP:ucetni@example.cz");
    EXPECT_EQ(r.recips[0].eidSize, 0u);
    EXPECT_TRUE(r.recips[0].entryIdNull);
    ASSERT_EQ(r.fileCount, 1u);
    ASSERT_EQ(r.files.size(), 1u);
    EXPECT_EQ(r.files[0].reserved, 0u);
    EXPECT_EQ(r.files[0].flags, 0u);
    EXPECT_EQ(r.files[0].position, 0xFFFFFFFFu);
    EXPECT_EQ(r.files[0].path, attachment_);
    EXPECT_TRUE(r.files[0].fileNameNull);
    EXPECT_TRUE(r.files[0].fileTypeNull);
  }
}

TEST_F(SendTest, RecipientsClassesNamesAndAddressTypes) {
  TMapiEmail email;
  EXPECT_EQ(email.Recipients.DefaultAddressType, "SMTP");
  EXPECT_EQ(email.Recipients.AddRecipient(" a@x.cz ", "", RecipientKind::To, ""), 0);
  EXPECT_EQ(email.Recipients.AddRecipient("b@x.cz", "Bohuslav", RecipientKind::Cc, "EX"), 1);
  EXPECT_EQ(email.Recipients.AddRecipient("c@x.cz", "", RecipientKind::Bcc, ""), 2);
  EXPECT_EQ(email.Recipients.AddRecipient("d@x.cz", "", RecipientKind::Originator, ""), 3);
  EXPECT_EQ(email.Recipients[0].Address, "a@x.cz");
  EXPECT_TRUE(email.Send(false));
  const RecordedSend& r = *probe_;
  ASSERT_EQ(r.recips.size(), 4u);
  EXPECT_EQ(r.recips[0].recipClass, 1u);
  EXPECT_EQ(r.recips[1].recipClass, 2u);
  EXPECT_EQ(r.recips[1].name, "Bohuslav");
  EXPECT_EQ(r.recips[1].address, "EX:b@x.cz");  // own type before the default
  EXPECT_EQ(r.recips[2].recipClass, 3u);
  EXPECT_EQ(r.recips[3].recipClass, 0u);
  EXPECT_TRUE(r.filesNull);  // no attachments: no descriptors
  EXPECT_EQ(r.fileCount, 0u);

  // Without a default type the bare address goes; a recipient with only a name has no address.
  email.Clear();
  email.Recipients.DefaultAddressType = "";
  email.Recipients.AddRecipient("e@x.cz", "", RecipientKind::To, "");
  email.Recipients.AddRecipient("", "Jen jméno", RecipientKind::To, "");
  email.Recipients.AddRecipient("", "Typ", RecipientKind::To, "FAX");
  EXPECT_TRUE(email.Send(false));
  ASSERT_EQ(probe_->recips.size(), 3u);
  EXPECT_EQ(probe_->recips[0].address, "e@x.cz");
  EXPECT_TRUE(probe_->recips[1].addressNull);
  EXPECT_EQ(probe_->recips[1].name, "Jen jméno");
  EXPECT_EQ(probe_->recips[2].address, "FAX:");
}

TEST_F(SendTest, NoRecipientsAreForTheComposeWindowOnly) {
  TMapiEmail email;
  EXPECT_TRUE(email.Send(true));
  EXPECT_EQ(probe_->recipCount, 0u);
  EXPECT_TRUE(probe_->recipsNull);
  EXPECT_FALSE(probe_->subjectNull);  // empty subject: an empty text
  EXPECT_EQ(probe_->subject, "");

  TMapiEmail silent;
  EXPECT_TRUE(test::RaisesMapiError([&] { silent.Send(false); },
                                    "MAPI Error: (25) \"Invalid recipients\"", 25));
  EXPECT_FALSE(silent.IsClientLibraryLoaded());
  EXPECT_EQ(probe_->sendCalls, 1);
}

TEST_F(SendTest, ABlankAddressWithoutNameIsInvalidBeforeAnyLibraryIsLoaded) {
  TMapiEmail email;
  email.Recipients.AddRecipient(" \t ", "", RecipientKind::To, "");
  EXPECT_EQ(email.Recipients[0].Address, "");
  email.Attachments.push_back(attachment_);
  EXPECT_TRUE(test::RaisesMapiError([&] { email.Send(true); },
                                    "MAPI Error: (25) \"Invalid recipients\"", 25));
  EXPECT_FALSE(email.IsClientLibraryLoaded());
  EXPECT_EQ(probe_->sendCalls, 0);
}

TEST_F(SendTest, AttachmentsAreCheckedAsPassedThenMadeFullBeforeRecipients) {
  dir_.MakeDir("sub/folder");
  WriteFile(dir_ / "sub/rel.kdx", "x");
  ScopedCwd cwd(dir_ / "sub");
  TMapiEmail email;
  email.Recipients.AddRecipient("a@x.cz", "", RecipientKind::To, "");
  email.Attachments = {"rel.kdx", "./folder/../folder", "missing.kdx", "rel.kdx"};
  EXPECT_TRUE(test::RaisesMapiError(
      [&] { email.Send(false); }, "MAPI Error: (11) \"A specified attachment was not found\"", 11));
  // Entries before the missing one are rewritten to full paths; a folder passes the test.
  EXPECT_EQ(email.Attachments[0], dir_ / "sub/rel.kdx");
  EXPECT_EQ(email.Attachments[1], dir_ / "sub/folder");
  EXPECT_EQ(email.Attachments[2], "missing.kdx");
  EXPECT_EQ(email.Attachments[3], "rel.kdx");
  EXPECT_FALSE(email.IsClientLibraryLoaded());
  EXPECT_EQ(probe_->sendCalls, 0);

  // The missing attachment comes before the missing recipients.
  TMapiEmail noRecipients;
  noRecipients.Attachments = {"missing.kdx"};
  try {
    noRecipients.Send(false);
    FAIL() << "sent";
  } catch (const EMapiError& e) {
    EXPECT_EQ(e.ErrorCode, 11u);
  }

  // And the full path is what the client receives.
  email.Attachments = {"rel.kdx"};
  EXPECT_TRUE(email.Send(false));
  ASSERT_EQ(probe_->files.size(), 1u);
  EXPECT_EQ(probe_->files[0].path, dir_ / "sub/rel.kdx");
  EXPECT_EQ(email.Attachments[0], dir_ / "sub/rel.kdx");
}

// A ".." after a symbolic link: the file that passes the existence test is the file the client
// gets, in the system's reading of the path (the parent of the link's target).
TEST_F(SendTest, TheAttachmentCheckedIsTheAttachmentSent) {
  dir_.MakeDir("deep/inner");
  std::filesystem::create_directory_symlink(dir_ / "deep/inner", dir_ / "link");
  WriteFile(dir_ / "deep/x.kdx", "checked");
  TMapiEmail email;
  email.Recipients.AddRecipient("a@x.cz", "", RecipientKind::To, "");
  email.Attachments = {dir_ / "link/../x.kdx"};
  EXPECT_TRUE(email.Send(false));
  EXPECT_EQ(email.Attachments[0], dir_ / "deep/x.kdx");
  ASSERT_EQ(probe_->files.size(), 1u);
  EXPECT_EQ(probe_->files[0].path, dir_ / "deep/x.kdx");

  // A file that only the textual reading finds (dir/x.kdx) does not pass.
  WriteFile(dir_ / "x.kdx", "another file");
  std::filesystem::remove(dir_ / "deep/x.kdx");
  email.Attachments = {dir_ / "link/../x.kdx"};
  try {
    email.Send(false);
    FAIL() << "sent";
  } catch (const EMapiError& e) {
    EXPECT_EQ(e.ErrorCode, 11u);
  }
  EXPECT_EQ(probe_->sendCalls, 1);
}

// A link into a folder whose name code page 1250 cannot spell (Cyrillic): the client gets a
// path it can open, not the resolved one mangled into cp1250. Where no such path exists (a
// relative name in such a folder), the error says why.
TEST_F(SendTest, AnAttachmentUnderALinkToAFolderOutsideCp1250) {
  dir_.MakeDir("Документы");
  WriteFile(dir_ / "Документы/x.kdx", "the file");
  std::filesystem::create_directory_symlink(dir_ / "Документы", dir_ / "link");
  TMapiEmail email;
  email.Recipients.AddRecipient("a@x.cz", "", RecipientKind::To, "");
  email.Attachments = {dir_ / "link/x.kdx"};
  EXPECT_TRUE(email.Send(false));
  ASSERT_EQ(probe_->files.size(), 1u);
  EXPECT_EQ(kdx::test::ReadFile(text::Cp1250ToUtf8(probe_->files[0].path)), "the file");
  EXPECT_EQ(email.Attachments[0], probe_->files[0].path);

  ScopedCwd inside(dir_ / "Документы");
  email.Attachments = {"x.kdx"};
  try {
    email.Send(false);
    FAIL() << "sent " << probe_->files[0].path;
  } catch (const EMapiError& e) {
    EXPECT_NE(std::string(e.what()).find("code page 1250"), std::string::npos) << e.what();
  }
  EXPECT_EQ(probe_->sendCalls, 1);
}

TEST_F(SendTest, RecipientsAreCheckedBeforeTheLibraryIsLoaded) {
  // A client that cannot be loaded: the recipient error still comes first.
  WriteFile(file_, test::RegWithClient("Broken", "/nonexistent/lib.so") +
                       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows Messaging "
                       "Subsystem]\r\n\"MAPIX\"=\"1\"\r\n");
  TMapiEmail email;
  email.Attachments.push_back(attachment_);
  try {
    email.Send(false);
    FAIL() << "sent";
  } catch (const EMapiError& e) {
    EXPECT_EQ(e.ErrorCode, 25u);
  }
  email.Recipients.AddRecipient("a@x.cz", "", RecipientKind::To, "");
  try {
    email.Send(false);
    FAIL() << "sent";
  } catch (const EOSError& e) {
    EXPECT_NE(std::string(e.what()).find("/nonexistent/lib.so"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(email.IsClientLibraryLoaded());
}

TEST_F(SendTest, NoUsableClientTouchesNothing) {
  WriteFile(file_, "REGEDIT4\n");
  TMapiEmail email;
  email.Attachments.push_back("missing-but-never-checked.kdx");
  EXPECT_TRUE(test::RaisesMapiError([&] { email.Send(true); },
                                    "No Simple MAPI client installed, cannot send the message", 0));
  EXPECT_THROW(email.Send(true), ENoMailClient);
  EXPECT_EQ(email.Attachments[0], "missing-but-never-checked.kdx");
}

TEST_F(SendTest, TheClientsAnswer) {
  TMapiEmail email;
  email.Recipients.AddRecipient("a@x.cz", "", RecipientKind::To, "");
  probe_->result = MAPI_USER_ABORT;  // the user closed the compose window
  EXPECT_FALSE(email.Send(true));
  probe_->result = MAPI_E_NETWORK_FAILURE;
  EXPECT_TRUE(
      test::RaisesMapiError([&] { email.Send(true); }, "MAPI Error: (23) \"Network failure\"", 23));
  // "Not supported": the bundled provider found no mail client that takes the attachment.
  probe_->result = MAPI_E_NOT_SUPPORTED;
  EXPECT_TRUE(
      test::Raises<ENoMailClient>([&] { email.Send(true); }, "MAPI Error: (26) \"Not supported\""));
  EXPECT_TRUE(
      test::RaisesMapiError([&] { email.Send(false); }, "MAPI Error: (26) \"Not supported\"", 26));
  EXPECT_TRUE(email.IsClientLibraryLoaded());
  probe_->result = SUCCESS_SUCCESS;
  EXPECT_TRUE(email.Send(true));  // the loaded library is reused
  EXPECT_EQ(probe_->sendCalls, 5);
}

TEST_F(SendTest, FlagsFollowTheLogonSettingsAndTheSession) {
  TMapiEmail email;
  EXPECT_EQ(email.MessageFlags(true), 9u);
  EXPECT_EQ(email.MessageFlags(false), 1u);
  email.LogonSettings.Include(LogonSetting::NewSession);
  email.LogonSettings.Include(LogonSetting::ForceDownload);
  EXPECT_EQ(email.MessageFlags(false), 0x1003u);
  email.LogonSettings.Exclude(LogonSetting::ShowLogonUI);
  EXPECT_EQ(email.MessageFlags(true), 0x100Au);
  email.SessionHandle = 5;  // with a session no logon flag is added
  EXPECT_EQ(email.MessageFlags(true), 8u);
  EXPECT_EQ(email.MessageFlags(false), 0u);
  email.SessionHandle = 0;
}

TEST_F(SendTest, AnOpenSessionIsClosedBeforeTheLibraryIsReleased) {
  {
    TMapiEmail email;
    email.Recipients.AddRecipient("a@x.cz", "", RecipientKind::To, "");
    EXPECT_TRUE(email.Send(false));
    email.SessionHandle = 42;
    email.UnloadClientLibrary();
    EXPECT_EQ(probe_->logoffCalls, 1);
    EXPECT_EQ(email.SessionHandle, 0u);
    email.LoadClientLibrary();
    email.SessionHandle = 43;
  }  // destruction unloads through the same step
  EXPECT_EQ(probe_->logoffCalls, 2);
}

TEST_F(SendTest, ALibraryLackingNamesIsReleasedSafelyWhileASessionIsSet) {
  // MAPIDetails is missing: MAPILogoff (resolved later) is still null when the library is let go.
  WriteFile(file_, test::RegWithClient("Ten", KDX_TEST_PROVIDER_TEN) +
                       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows Messaging "
                       "Subsystem]\r\n\"MAPIX\"=\"1\"\r\n");
  TMapiEmail email;
  email.SessionHandle = 5;
  email.Recipients.AddRecipient("a@x.cz", "", RecipientKind::To, "");
  EXPECT_TRUE(test::Raises<EMapiError>([&] { email.Send(false); },
                                       "Function \"MAPIDetails\" is not exported by client"));
  EXPECT_FALSE(email.IsClientLibraryLoaded());
}

TEST_F(SendTest, ClearEmptiesTheMessageButKeepsSettings) {
  TMapiEmail email;
  email.Recipients.DefaultAddressType = "X400";
  email.Recipients.AddRecipient("a@x.cz", "", RecipientKind::To, "");
  email.Subject = "s";
  email.Body = "b";
  email.Attachments.push_back("f");
  email.Clear();
  EXPECT_EQ(email.Recipients.Count(), 0);
  EXPECT_TRUE(email.Subject.empty());
  EXPECT_TRUE(email.Body.empty());
  EXPECT_TRUE(email.Attachments.empty());
  EXPECT_EQ(email.Recipients.DefaultAddressType, "X400");
  EXPECT_EQ(email.MessageFlags(false), 1u);
}

// --- the owner window -------------------------------------------------------------------------

class ParentWindowTest : public SendTest {
 protected:
  ~ParentWindowTest() override { platform::SetTopWindowProvider({}); }
  void Windows(std::vector<platform::TopWindowInfo> list) {
    platform::SetTopWindowProvider([list] { return list; });
  }
  const unsigned long self_ = static_cast<unsigned long>(getpid());
};

TEST_F(ParentWindowTest, TheFirstVisibleUnownedApplicationWindowOfThisProcess) {
  using platform::kWsExAppWindow;
  using platform::kWsExToolWindow;
  Windows({
      {101, self_ + 1, true, 0, 0},                             // another process
      {102, self_, false, 0, 0},                                // hidden
      {103, self_, true, 555, 0},                               // owned (a dialog)
      {104, self_, true, 0, kWsExToolWindow},                   // a tool window
      {105, self_, true, 0, kWsExToolWindow | kWsExAppWindow},  // tool but app window
      {106, self_, true, 0, 0},
  });
  EXPECT_EQ(FindMainWindowOfProcess(self_), 105u);
  EXPECT_EQ(FindMainWindowOfProcess(self_ + 1), 101u);
  EXPECT_EQ(FindMainWindowOfProcess(self_ + 2), 0u);

  TMapiEmail email;
  EXPECT_EQ(email.ParentWindow(), 105u);
  email.Recipients.AddRecipient("a@x.cz", "", RecipientKind::To, "");
  EXPECT_TRUE(email.Send(true));
  EXPECT_EQ(probe_->uiParam, 105u);
}

TEST_F(ParentWindowTest, NoQualifyingWindowGivesTheNullWindow) {
  Windows({{201, self_, false, 0, 0}, {202, self_, true, 9, 0}});
  TMapiEmail email;
  EXPECT_EQ(email.ParentWindow(), 0u);
  email.Recipients.AddRecipient("a@x.cz", "", RecipientKind::To, "");
  EXPECT_TRUE(email.Send(true));
  EXPECT_EQ(probe_->uiParam, 0u);
}

}  // namespace
}  // namespace kdx::mail
