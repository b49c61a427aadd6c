// The mail hand-off on Windows, end to end against Wine's real registry and loader: discovery of
// the clients the fixture registered beside Wine's own, loading a client library by the
// registry's path (twelve names, eleven, a missing dependency), the structures MAPISendMail
// receives as the Windows ABI lays them out, and a send through Wine's own mapi32.dll.
//
// What Wine 8 does with MAPISendMail (found by running it, with WINEDEBUG=+mapi,+winebrowser):
// mapi32.dll loads the provider named by the default value of HKLM\Software\Clients\Mail
// ("Native Mail Client", winemapi.dll); winemapi turns the message into a mailto: URL (to, cc,
// bcc, subject, body; the "SMTP:" prefix of the address dropped; attachments ignored with a
// "fixme") and hands it to winebrowser.exe, which starts the first program of the "Mailers"
// list (HKCU\Software\Wine\WineBrowser) that exists. The fixture sets that list to xdg-email and
// the test puts a recording stand-in first on PATH. winemapi.dll itself exports only eleven of
// the twelve names (no MAPIFreeBuffer), so on a bare Wine prefix the program finds no usable
// client and, without "MAPIX" = "1", refuses to send; with the stub and that client the default
// it refuses too (ENoMailClient), for the attachment would be lost.

#include <windows.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "MailTestSupport.h"
#include "WineTestSupport.h"
#include "kdx/mail/MailRegistry.h"
#include "kdx/mail/MapiEmail.h"
#include "kdx/mail/MapiTypes.h"
#include "kdx/platform/Text.h"

using namespace kdx::mail;
using namespace kdx::test;
using namespace kdx::wintest;
using kdx::mail::test::RaisesMapiError;

namespace {

class Win32Mail : public ::testing::Test {
 protected:
  void SetUp() override { ExportTestMapiDir(); }
};

}  // namespace

TEST_F(Win32Mail, DiscoveryFindsWinesClientAndTheRegisteredOnes) {
  TSimpleMapi mapi;
  const auto& clients = mapi.MailClients();
  ASSERT_EQ(clients.size(), 7u);
  // The two views' clients as one list in the registry's order; a client in both is one.
  const char* keys[] = {"KDX Test 32",       "KDX Test Both",    "KDX Test Dependency",
                        "KDX Test Eleven",   "KDX Test Missing", "KDX Test Twelve",
                        "Native Mail Client"};
  const bool usable[] = {true, true, true, false, false, true, false};
  const bool otherBitness[] = {true, true, false, false, false, false, false};
  const bool otherView[] = {true, false, false, false, false, false, false};
  for (size_t i = 0; i < 7; ++i) {
    EXPECT_EQ(clients[i].KeyName, keys[i]);
    EXPECT_EQ(clients[i].Usable, usable[i]) << keys[i];
    EXPECT_EQ(clients[i].OtherBitness, otherBitness[i]) << keys[i];
    EXPECT_EQ(clients[i].FromOtherView, otherView[i]) << keys[i];
  }
  EXPECT_EQ(clients[0].DisplayName, "KDX test client (32-bit)");
  EXPECT_EQ(clients[0].LibraryPath, TestMapi32Dir() + "\\kdxtestmapi12.dll");
  EXPECT_EQ(clients[5].DisplayName, "KDX test client (twelve)");
  EXPECT_EQ(clients[5].LibraryPath, TestMapiDir() + "\\kdxtestmapi12.dll") << "DLLPath expanded";
  EXPECT_EQ(clients[4].LibraryPath, "C:\\no such folder\\nosuchmapi.dll");
  EXPECT_EQ(kdx::text::AnsiUpperCase(clients[6].LibraryPath),
            "C:\\WINDOWS\\SYSTEM32\\WINEMAPI.DLL");

  EXPECT_EQ(mapi.DefaultClient(), 6);
  EXPECT_EQ(mapi.ChosenClient(), 6);
  EXPECT_FALSE(mapi.ChosenLibraryIsOtherBitness());
  EXPECT_TRUE(mapi.SimpleMapiRegistered()) << "Wine registers MAPI = 1";
  EXPECT_FALSE(mapi.ExtendedMapiRegistered());
  EXPECT_EQ(mapi.MapiVersionText(), "1.0.0.1");
  EXPECT_TRUE(mapi.HasUsableClient());
  EXPECT_EQ(mapi.DefaultProfile(), Cp("Účetní"));
  EXPECT_EQ(mapi.ProfileNames(), (std::vector<std::string>{"Outlook", Cp("Účetní")}));
  EXPECT_EQ(mapi.ClientLibraryPath(), "mapi32.dll");
  EXPECT_FALSE(mapi.IsClientLibraryLoaded()) << "discovery leaves the object unloaded";
  EXPECT_TRUE(IsWindowsNtFamily);
}

TEST_F(Win32Mail, DefaultClientIsMatchedWithoutRegardToCase) {
  ClientLibrary client("kdx test TWELVE");
  TSimpleMapi mapi;
  EXPECT_FALSE(mapi.SimpleMapiRegistered());
  EXPECT_EQ(mapi.DefaultClient(), 5);
  EXPECT_EQ(mapi.ClientLibraryPath(), TestMapiDir() + "\\kdxtestmapi12.dll");
}

TEST_F(Win32Mail, WithoutAUsableClientSendRefusesUnlessExtendedMapiIsRegistered) {
  // Only Wine's own client and the broken ones are left usable-looking.
  ScopedRegistryValue twelve(true, kClientsKey + "\\KDX Test Twelve", "DLLPath",
                             std::string("C:\\no such folder\\a.dll"));
  ScopedRegistryValue dep(true, kClientsKey + "\\KDX Test Dependency", "DLLPath",
                          std::string("C:\\no such folder\\b.dll"));
  ScopedRegistryValue only32(true, kClientsKey + "\\KDX Test 32", "DLLPath",
                             std::string("C:\\no such folder\\c.dll"), true);
  ScopedRegistryValue both32(true, kClientsKey + "\\KDX Test Both", "DLLPath",
                             std::string("C:\\no such folder\\d.dll"), true);
  ScopedRegistryValue both64(true, kClientsKey + "\\KDX Test Both", "DLLPath",
                             std::string("C:\\no such folder\\d.dll"));
  {
    TMapiEmail mail;
    EXPECT_FALSE(mail.HasUsableClient());
    mail.Recipients.AddRecipient("jan.novak@example.cz", "", RecipientKind::To, "");
    EXPECT_TRUE(RaisesMapiError([&] { mail.Send(false); },
                                "No Simple MAPI client installed, cannot send the message", 0));
    EXPECT_FALSE(mail.IsClientLibraryLoaded());
  }
  ScopedRegistryValue mapix(true, kSubsystemKey, "MAPIX", std::string("1"));
  TSimpleMapi mapi;
  EXPECT_TRUE(mapi.ExtendedMapiRegistered());
  EXPECT_TRUE(mapi.HasUsableClient());
}

TEST_F(Win32Mail, ClientLibraryReceivesTheMessageAsTheWindowsAbiLaysItOut) {
  ClientLibrary client("KDX Test Twelve");
  TempDir folder;
  const std::string file = folder.WriteFile("POB1_PB.KDX", "data");
  const std::string record = folder / "record.txt";
  ScopedEnv recordEnv("KDX_TESTMAPI_RECORD", record);
  ScopedEnv resultEnv("KDX_TESTMAPI_RESULT", std::nullopt);
  char previousDir[MAX_PATH] = {};
  GetCurrentDirectoryA(sizeof previousDir, previousDir);
  ASSERT_TRUE(SetCurrentDirectoryA(folder.Path().c_str()));

  TMapiEmail mail;
  mail.Clear();
  mail.Recipients.AddRecipient(" \tjan.novak@example.cz  ", "", RecipientKind::To, "");
  mail.Subject = Cp("Přenosový soubor Velkor ze dne 8.12.2026");
  mail.Attachments.push_back("POB1_PB.KDX");  // relative: taken against the current folder
  const bool sentWithDialog = mail.Send(true);
  const bool sentSilently = mail.Send(false);
  SetCurrentDirectoryA(previousDir);
  EXPECT_TRUE(sentWithDialog);
  EXPECT_TRUE(sentSilently);
  EXPECT_TRUE(mail.IsClientLibraryLoaded()) << "the library stays loaded after Send";
  ASSERT_EQ(mail.Attachments.size(), 1u);
  EXPECT_EQ(kdx::text::AnsiUpperCase(mail.Attachments[0]), kdx::text::AnsiUpperCase(file));

  const auto sends = SendActionCalls(ReadFile(record), mail.ParentWindow());
  ASSERT_EQ(sends.size(), 2u);
  for (const RecordedSend& s : sends) {
    EXPECT_EQ(s.message.at("reserved"), "0");
    EXPECT_EQ(s.message.at("flags"), "0");
    EXPECT_EQ(s.message.at("originator"), "-");
    EXPECT_EQ(s.texts.at("subject"), Cp("Přenosový soubor Velkor ze dne 8.12.2026"));
    EXPECT_EQ(s.texts.at("note"), "") << "an empty body is an empty text, not null";
    EXPECT_EQ(s.texts.at("type"), "<null>");
    EXPECT_EQ(s.texts.at("date"), "<null>");
    EXPECT_EQ(s.texts.at("conversation"), "<null>");
    ASSERT_EQ(s.recips.size(), 1u);
    EXPECT_EQ(s.recips[0].at("class"), "1");
    EXPECT_EQ(s.recips[0].at("name"), "jan.novak@example.cz");
    EXPECT_EQ(s.recips[0].at("address"), "SMTP:jan.novak@example.cz");
    EXPECT_EQ(s.recips[0].at("eidsize"), "0");
    EXPECT_EQ(s.recips[0].at("eid"), "-");
    ASSERT_EQ(s.files.size(), 1u);
    EXPECT_EQ(s.files[0].at("position"), "4294967295");
    EXPECT_EQ(s.files[0].at("flags"), "0");
    EXPECT_EQ(s.files[0].at("path"), mail.Attachments[0]);
    EXPECT_EQ(s.files[0].at("name"), "<null>");
    EXPECT_EQ(s.files[0].at("type"), "-");
  }
}

TEST_F(Win32Mail, ClientAnswersBecomeResultsOrErrors) {
  ClientLibrary client("KDX Test Twelve");
  TMapiEmail mail;
  mail.Recipients.AddRecipient("jan.novak@example.cz", "Jan", RecipientKind::Cc, "EX");
  ExpectClientAnswersAsInProcess(mail);
  EXPECT_TRUE(mail.IsClientLibraryLoaded());
}

TEST_F(Win32Mail, AClientWithElevenNamesIsRefusedAndReleased) {
  ClientLibrary client("KDX Test Eleven");
  TSimpleMapi mapi;
  EXPECT_FALSE(mapi.MailClients()[3].Usable);
  EXPECT_TRUE(RaisesMapiError([&] { mapi.LoadClientLibrary(); },
                              "Function \"MAPIResolveName\" is not exported by client", 0));
  EXPECT_FALSE(mapi.IsClientLibraryLoaded());
  for (void* p : mapi.EntryPoints()) EXPECT_EQ(p, nullptr);
  EXPECT_EQ(GetModuleHandleA("kdxtestmapi11.dll"), nullptr) << "library not released";
}

TEST_F(Win32Mail, AClientThatCannotLoadRaisesTheSystemError) {
  ClientLibrary client("KDX Test Dependency");
  TSimpleMapi mapi;
  EXPECT_TRUE(mapi.MailClients()[2].Usable) << "inspection does not load dependencies";
  try {
    mapi.LoadClientLibrary();
    FAIL() << "no exception";
  } catch (const kdx::EOSError& e) {
    EXPECT_EQ(e.ErrorCode, static_cast<unsigned long>(ERROR_MOD_NOT_FOUND));
    const std::string prefix = "System Error.  Code: 126.\r\n";
    EXPECT_EQ(std::string(e.what()).substr(0, prefix.size()), prefix) << e.what();
    EXPECT_GT(std::string(e.what()).size(), prefix.size()) << "the system's text follows";
  }
  EXPECT_FALSE(mapi.IsClientLibraryLoaded());
}

// Wine's own client would hand the desktop's mailer a mailto: URL without the attachment: with
// only the stub registered and that client the default, the send is refused before anything is
// loaded or started.
TEST_F(Win32Mail, SendThroughWinesMapi32IsRefusedForItWouldDropTheAttachment) {
  const auto recordEnv = GetEnv("KDX_XDG_EMAIL_RECORD");
  ASSERT_TRUE(recordEnv) << "run by ctest: KDX_XDG_EMAIL_RECORD names the stand-in's record";
  const std::string record = HostPathToWindows(*recordEnv);
  DeleteFileA(record.c_str());
  TempDir folder;

  TMapiEmail mail;
  ASSERT_TRUE(mail.SimpleMapiRegistered());
  ASSERT_EQ(mail.ClientLibraryPath(), "mapi32.dll");
  EXPECT_FALSE(mail.CanReachMailClient()) << "winemapi.dll lacks MAPIFreeBuffer";
  mail.Recipients.AddRecipient("jan.novak@example.cz ", "", RecipientKind::To, "");
  mail.Subject = Cp("Přenosový soubor Velkor ze dne 8.12.2026");
  mail.Attachments.push_back(folder.WriteFile("POB1_PB.KDX", "data"));
  EXPECT_TRUE(kdx::mail::test::Raises<ENoMailClient>(
      [&] { mail.Send(false); }, "No Simple MAPI client installed, cannot send the message"));
  EXPECT_FALSE(mail.IsClientLibraryLoaded());
  std::this_thread::sleep_for(std::chrono::seconds(2));
  EXPECT_EQ(GetFileAttributesA(record.c_str()), INVALID_FILE_ATTRIBUTES)
      << "the desktop's mailer was started: " << ReadFile(record);
}
