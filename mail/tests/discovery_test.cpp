// Discovery of the mail client, loading and unloading its library, and the result texts.

#include "MailTestSupport.h"
#include "kdx/mail/MapiEmail.h"

namespace kdx::mail {
namespace {

using kdx::test::ScopedEnv;
using kdx::test::TempDir;
using kdx::test::WriteFile;

const std::string kHeader = "Windows Registry Editor Version 5.00\r\n\r\n";
const std::string kSubsystem =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows Messaging Subsystem]\r\n";

class DiscoveryTest : public test::RegistryFileTest {};

TEST_F(DiscoveryTest, AnEmptyRegistryHasNoClient) {
  Use(kHeader);
  TSimpleMapi mapi;
  EXPECT_FALSE(mapi.HasUsableClient());
  EXPECT_TRUE(mapi.MailClients().empty());
  EXPECT_EQ(mapi.DefaultClient(), -1);
  EXPECT_EQ(mapi.ChosenClient(), -1);
  EXPECT_FALSE(mapi.ExtendedMapiRegistered());
  EXPECT_FALSE(mapi.SimpleMapiRegistered());
  EXPECT_FALSE(mapi.IsClientLibraryLoaded());
  for (void* entry : mapi.EntryPoints()) EXPECT_EQ(entry, nullptr);
  // Nothing to load: a clear error rather than a fault.
  EXPECT_TRUE(test::RaisesMapiError([&] { mapi.LoadClientLibrary(); },
                                    "No Simple MAPI client installed, cannot send the message", 0));
  EXPECT_FALSE(mapi.IsClientLibraryLoaded());
}

// The registry view of the other bitness (a 32-bit installer's keys as a 64-bit program sees
// them) is where the registry editor exports it: HKLM\SOFTWARE\WOW6432Node.
TEST_F(DiscoveryTest, ClientsOfBothRegistryViewsAreOneList) {
  auto client = [](const std::string& view, const std::string& name, const std::string& dll) {
    return "[HKEY_LOCAL_MACHINE\\SOFTWARE\\" + view + "Clients\\Mail\\" + name + "]\r\n@=\"" +
           name + (view.empty() ? " (64-bit view)" : " (32-bit view)") + "\"\r\n\"DLLPath\"=\"" +
           dll + "\"\r\n\r\n";
  };
  const std::string full = KDX_TEST_PROVIDER_FULL, eleven = KDX_TEST_PROVIDER_ELEVEN;
  const std::string own = "", other = "WOW6432Node\\";
  auto registry = [&](const std::string& ownDefault, const std::string& otherDefault) {
    return kHeader + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail]\r\n@=\"" + ownDefault +
           "\"\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Clients\\Mail]\r\n@=\"" +
           otherDefault + "\"\r\n\r\n" + client(own, "Native", eleven) +
           client(own, "both", "/nonexistent/mapi.so") + client(other, "Both", full) +
           client(other, "Only32", full) + client(other, "Native", eleven);
  };

  Use(registry("Native", "Only32"));
  {
    TSimpleMapi mapi;
    const auto& clients = mapi.MailClients();
    ASSERT_EQ(clients.size(), 3u) << "a client in both views is listed once";
    EXPECT_EQ(clients[0].KeyName, "both") << "the own view's spelling";
    EXPECT_TRUE(clients[0].Usable) << "the other view's library is the usable one";
    EXPECT_TRUE(clients[0].FromOtherView);
    EXPECT_EQ(clients[0].LibraryPath, full);
    EXPECT_EQ(clients[0].DisplayName, "Both (32-bit view)");
    EXPECT_EQ(clients[1].KeyName, "Native");
    EXPECT_FALSE(clients[1].Usable);
    EXPECT_FALSE(clients[1].FromOtherView) << "unusable in both: the own view's values stand";
    EXPECT_EQ(clients[1].DisplayName, "Native (64-bit view)");
    EXPECT_EQ(clients[2].KeyName, "Only32");
    EXPECT_TRUE(clients[2].Usable);
    EXPECT_TRUE(clients[2].FromOtherView);
    for (const TMapiClient& c : clients) EXPECT_FALSE(c.OtherBitness) << "ELF libraries";
    // The own view's default client cannot be used; the other view's can.
    EXPECT_EQ(mapi.DefaultClient(), 2);
    EXPECT_EQ(mapi.ClientLibraryPath(), full);
    EXPECT_TRUE(mapi.HasUsableClient());
  }
  // A usable default of the own view stays the default.
  Use(registry("BOTH", "Only32"));
  EXPECT_EQ(TSimpleMapi().DefaultClient(), 0);
  // Neither default usable: the own view's.
  Use(registry("Native", "nothing"));
  EXPECT_EQ(TSimpleMapi().DefaultClient(), 1);
  // Only the other view names a default.
  Use(registry("", "Native"));
  EXPECT_EQ(TSimpleMapi().DefaultClient(), 1);
}

// Whether a send can reach a program that takes the attachment, decided before anything is
// loaded: the chosen client's own library (its failures are a real hand-off's), or the system's
// stub with a usable default client (or Extended MAPI) behind it.
TEST_F(DiscoveryTest, AMailClientIsReachableThroughTheChosenLibrary) {
  auto clients = [](const std::string& view, const std::string& defaultName,
                    const std::string& library) {
    const std::string key = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\" + view + "Clients\\Mail";
    std::string reg = key + "]\r\n@=\"" + defaultName + "\"\r\n\r\n";
    reg += key + "\\Usable]\r\n\"DLLPath\"=\"" KDX_TEST_PROVIDER_FULL "\"\r\n\r\n";
    reg += key + "\\Chosen]\r\n\"DLLPath\"=\"" + library + "\"\r\n\r\n";
    return reg;
  };
  const std::string eleven = KDX_TEST_PROVIDER_ELEVEN, full = KDX_TEST_PROVIDER_FULL;
  const std::string own = "", other = "WOW6432Node\\";
  const std::string stub = kSubsystem + "\"MAPI\"=\"1\"\r\n\r\n";
  const std::string stubAndExtended = kSubsystem + "\"MAPI\"=\"1\"\r\n\"MAPIX\"=\"1\"\r\n\r\n";
  const std::string extended = kSubsystem + "\"MAPIX\"=\"1\"\r\n\r\n";
  const struct {
    const char* what;
    std::string registry;
    bool reachable;
  } cases[] = {
      {"nothing registered", "", false},
      {"a usable default", clients(own, "Chosen", full), true},
      {"the 32-bit installer's default", clients(other, "Chosen", full), true},
      {"a broken default is called and fails as it does", clients(own, "Chosen", eleven), true},
      {"no default client", clients(own, "", full), false},
      {"a default that is no subkey", clients(own, "Gone", full), false},
      {"Extended MAPI alone, nothing to load", extended, false},
      {"the stub before an unusable default (Wine's own)", stub + clients(own, "Chosen", eleven),
       false},
      {"the stub without a default", stub + clients(own, "", full), false},
      {"the stub before a usable default", stub + clients(own, "Chosen", full), true},
      {"the stub before the other view's usable default",
       stub + clients(own, "Chosen", eleven) + clients(other, "Usable", eleven), true},
      {"the stub with Extended MAPI behind it", stubAndExtended, true},
  };
  for (const auto& c : cases) {
    Use(kHeader + c.registry);
    TMapiEmail email;
    EXPECT_EQ(email.CanReachMailClient(), c.reachable) << c.what;
    if (c.reachable) continue;
    email.Recipients.AddRecipient("a@x.cz", "", RecipientKind::To, "");
    email.Attachments.push_back("never-checked.kdx");
    EXPECT_TRUE(test::Raises<ENoMailClient>([&] { email.Send(true); }, kNoMapiClientText))
        << c.what;
    EXPECT_FALSE(email.IsClientLibraryLoaded()) << c.what;
    EXPECT_EQ(email.Attachments[0], "never-checked.kdx") << c.what;
  }
}

TEST_F(DiscoveryTest, TheMessagingSubsystemFlagsCompareWholeTexts) {
  struct Case {
    const char* mapix;
    bool expected;
  } cases[] = {{"1", true}, {"1 ", false}, {"01", false}, {"0", false}, {"", false}};
  for (const Case& c : cases) {
    Use(kHeader + kSubsystem + "\"MAPIX\"=\"" + c.mapix + "\"\r\n\"MAPI\"=\"" + c.mapix +
        "\"\r\n\"MAPIXVER\"=\"1.0.0.1\"\r\n");
    TSimpleMapi mapi;
    EXPECT_EQ(mapi.ExtendedMapiRegistered(), c.expected) << c.mapix;
    EXPECT_EQ(mapi.SimpleMapiRegistered(), c.expected) << c.mapix;
    // "MAPIX" = "1" counts as a usable client even with no client registered.
    EXPECT_EQ(mapi.HasUsableClient(), c.expected) << c.mapix;
    EXPECT_EQ(mapi.MapiVersionText(), "1.0.0.1");
    EXPECT_TRUE(mapi.MailClients().empty());
  }
  // A "MAPIX" of another type is no text at all.
  Use(kHeader + kSubsystem + "\"MAPIX\"=dword:00000001\r\n");
  EXPECT_FALSE(TSimpleMapi().ExtendedMapiRegistered());
}

TEST_F(DiscoveryTest, ClientsAreListedTestedAndTheDefaultFoundIgnoringCase) {
  TempDir libs;
  std::filesystem::copy_file(KDX_TEST_PROVIDER_FULL, libs / "full.so");
  ScopedEnv libDir("KDX_TEST_LIBS", libs.Path());
  Use(kHeader +
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail]\r\n@=\"second CLIENT\"\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail\\A Eleven]\r\n@=\"Eleven names\"\r\n"
      "\"DLLPath\"=\"" KDX_TEST_PROVIDER_ELEVEN
      "\"\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail\\B Missing]\r\n"
      "\"DLLPath\"=\"/nonexistent/lib.so\"\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail\\Second Client]\r\n@=\"All twelve\"\r\n"
      // "%KDX_TEST_LIBS%/full.so" as REG_EXPAND_SZ in UTF-16LE bytes
      "\"DLLPath\"=hex(2):25,00,4b,00,44,00,58,00,5f,00,54,00,45,00,53,00,54,00,5f,00,4c,00,\\\r\n"
      "  49,00,42,00,53,00,25,00,2f,00,66,00,75,00,6c,00,6c,00,2e,00,73,00,6f,00,00,00\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail\\Z Empty]\r\n"
      "[HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging "
      "Subsystem\\Profiles]\r\n\"DefaultProfile\"=\"Office\"\r\n"
      "[HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging "
      "Subsystem\\Profiles\\Office]\r\n"
      "[HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging "
      "Subsystem\\Profiles\\Home]\r\n");
  TSimpleMapi mapi;
  const auto& clients = mapi.MailClients();
  ASSERT_EQ(clients.size(), 4u);
  EXPECT_EQ(clients[0].KeyName, "A Eleven");
  EXPECT_EQ(clients[0].DisplayName, "Eleven names");
  EXPECT_FALSE(clients[0].Usable);  // eleven of twelve names
  EXPECT_EQ(clients[1].KeyName, "B Missing");
  EXPECT_FALSE(clients[1].Usable);  // does not load
  EXPECT_EQ(clients[2].KeyName, "Second Client");
  EXPECT_EQ(clients[2].LibraryPath, libs / "full.so");  // %VAR% expanded
  EXPECT_TRUE(clients[2].Usable);
  EXPECT_EQ(clients[3].KeyName, "Z Empty");
  EXPECT_FALSE(clients[3].Usable);  // no DLLPath
  EXPECT_TRUE(mapi.HasUsableClient());
  EXPECT_EQ(mapi.DefaultClient(), 2);
  EXPECT_EQ(mapi.ChosenClient(), 2);
  EXPECT_EQ(mapi.ClientLibraryPath(), libs / "full.so");
  EXPECT_EQ(mapi.DefaultProfile(), "Office");
  EXPECT_EQ(mapi.ProfileNames(), (std::vector<std::string>{"Home", "Office"}));
  // Discovery leaves the object unloaded.
  EXPECT_FALSE(mapi.IsClientLibraryLoaded());
}

// Whether a client library is usable is read from the file: its initialisation does not run,
// and names that only a library it depends on exports do not count. The chosen library runs
// its initialisation when it is loaded to be called, and only then.
TEST_F(DiscoveryTest, TheUsabilityTestRunsNoCodeOfTheLibraryAndCountsOnlyItsOwnNames) {
  TempDir marks;
  const std::string constructed = marks / "constructed";
  ScopedEnv mark("KDX_TEST_CONSTRUCTED", constructed);
  Use(test::RegWithClient("Initialising", KDX_TEST_PROVIDER_CONSTRUCTOR));
  {
    TSimpleMapi mapi;
    ASSERT_EQ(mapi.MailClients().size(), 1u);
    EXPECT_TRUE(mapi.MailClients()[0].Usable);
    EXPECT_FALSE(std::filesystem::exists(constructed));
    mapi.LoadClientLibrary();
    EXPECT_TRUE(std::filesystem::exists(constructed));
  }

  Use(test::RegWithClient("Borrowing", KDX_TEST_PROVIDER_BORROWING));
  TSimpleMapi borrowing;
  ASSERT_EQ(borrowing.MailClients().size(), 1u);
  EXPECT_FALSE(borrowing.MailClients()[0].Usable);
  EXPECT_FALSE(borrowing.HasUsableClient());

  // Not a library for this machine at all: a text file, an empty file.
  WriteFile(marks / "text.so", "MAPISendMail MAPILogon");
  WriteFile(marks / "empty.so", "");
  for (const std::string& path : {marks / "text.so", marks / "empty.so"}) {
    Use(test::RegWithClient("Odd", path));
    EXPECT_FALSE(TSimpleMapi().MailClients()[0].Usable) << path;
  }
}

TEST_F(DiscoveryTest, ADefaultNameThatIsNoSubkeyChoosesNothing) {
  Use(test::RegWithClient("Only", KDX_TEST_PROVIDER_FULL, "Other"));
  TSimpleMapi mapi;
  EXPECT_TRUE(mapi.HasUsableClient());
  EXPECT_EQ(mapi.DefaultClient(), -1);
  EXPECT_EQ(mapi.ChosenClient(), -1);
  EXPECT_EQ(mapi.ClientLibraryPath(), "");
  EXPECT_THROW(mapi.LoadClientLibrary(), EMapiError);
}

TEST_F(DiscoveryTest, LoadsOnceResolvesAllTwelveAndUnloads) {
  Use(test::RegWithClient("Full", KDX_TEST_PROVIDER_FULL));
  TSimpleMapi mapi;
  mapi.UnloadClientLibrary();  // unloading an unloaded object does nothing
  EXPECT_FALSE(mapi.IsClientLibraryLoaded());
  mapi.LoadClientLibrary();
  ASSERT_TRUE(mapi.IsClientLibraryLoaded());
  void* handle = mapi.LibraryHandle();
  for (std::size_t i = 0; i < kMapiEntryPointCount; ++i) {
    void* expected = dlsym(handle, kMapiEntryPointNames[i]);
    EXPECT_EQ(mapi.EntryPoints()[i], expected) << kMapiEntryPointNames[i];
    EXPECT_NE(expected, nullptr);
  }
  mapi.LoadClientLibrary();  // loaded already: same handle, nothing reloaded
  EXPECT_EQ(mapi.LibraryHandle(), handle);
  mapi.UnloadClientLibrary();
  EXPECT_FALSE(mapi.IsClientLibraryLoaded());
  for (void* entry : mapi.EntryPoints()) EXPECT_EQ(entry, nullptr);
}

TEST_F(DiscoveryTest, AChosenLibraryLackingNamesRaisesTheFirstMissingName) {
  struct Case {
    const char* library;
    const char* message;
  } cases[] = {
      {KDX_TEST_PROVIDER_ELEVEN, "Function \"MAPIReadMail\" is not exported by client"},
      {KDX_TEST_PROVIDER_TEN, "Function \"MAPIDetails\" is not exported by client"},
      // Eleven names of its own; the loader would find the twelfth in its dependency.
      {KDX_TEST_PROVIDER_BORROWING, "Function \"MAPIReadMail\" is not exported by client"},
  };
  for (const Case& c : cases) {
    // MAPIX makes the client count as present although its library is not usable.
    Use(test::RegWithClient("Partial", c.library) + kSubsystem + "\"MAPIX\"=\"1\"\r\n");
    TSimpleMapi mapi;
    ASSERT_TRUE(mapi.HasUsableClient());
    EXPECT_FALSE(mapi.MailClients()[0].Usable);
    try {
      mapi.LoadClientLibrary();
      ADD_FAILURE() << "loaded " << c.library;
    } catch (const EMapiError& e) {
      EXPECT_STREQ(e.what(), c.message);
      EXPECT_EQ(e.ErrorCode, 0u);
    }
    EXPECT_FALSE(mapi.IsClientLibraryLoaded());
    for (void* entry : mapi.EntryPoints()) EXPECT_EQ(entry, nullptr);
  }
}

// The loader gives no system code, only its text: a library that does not load is reported in
// the form without a code, followed by the loader's text naming the file and the cause.
void ExpectLoadFailureWithoutCode(TSimpleMapi& mapi, const std::string& library,
                                  const std::string& cause) {
  try {
    mapi.LoadClientLibrary();
    ADD_FAILURE() << "loaded " << library;
  } catch (const EOSError& e) {
    const std::string message = e.what();
    EXPECT_EQ(message.rfind("A call to an OS function failed.\r\n" + library, 0), 0u) << message;
    EXPECT_NE(message.find(cause), std::string::npos) << message;
    EXPECT_EQ(e.ErrorCode, 0u) << message;
  }
  EXPECT_FALSE(mapi.IsClientLibraryLoaded());
}

TEST_F(DiscoveryTest, RegisteredSimpleMapiLoadsTheSystemLibraryWhateverTheDefault) {
  Use(test::RegWithClient("Full", KDX_TEST_PROVIDER_FULL) + kSubsystem + "\"MAPI\"=\"1\"\r\n");
  TSimpleMapi mapi;
  EXPECT_EQ(mapi.ClientLibraryPath(), "mapi32.dll");
  // There is no system library of that name here.
  ExpectLoadFailureWithoutCode(mapi, "mapi32.dll", "No such file or directory");
}

TEST_F(DiscoveryTest, AChosenLibraryThatDoesNotLoadIsReportedWithTheLoadersCause) {
  TempDir files;
  WriteFile(files / "text.so", "MAPISendMail MAPILogon");
  const struct {
    std::string library;
    const char* cause;
  } cases[] = {{files / "missing.so", "No such file or directory"},
               {files / "text.so", "file too short"},
               {files.Path(), "Is a directory"}};
  for (const auto& c : cases) {
    Use(test::RegWithClient("Broken", c.library) + kSubsystem + "\"MAPIX\"=\"1\"\r\n");
    TSimpleMapi mapi;
    ExpectLoadFailureWithoutCode(mapi, c.library, c.cause);
  }
}

TEST_F(DiscoveryTest, AMalformedRegistryFileLeavesTheConstructorAsRegistryError) {
  Use("not a registry file\n");
  EXPECT_THROW(TSimpleMapi(), ERegistryError);
}

TEST(MapiResultTest, TextsAndChecks) {
  EXPECT_EQ(MapiResultText(0), "");
  EXPECT_EQ(MapiResultText(1), "User abort");
  EXPECT_EQ(MapiResultText(2), "General MAPI failure");
  EXPECT_EQ(MapiResultText(7), "");
  EXPECT_EQ(MapiResultText(11), "A specified attachment was not found");
  EXPECT_EQ(MapiResultText(21), "A recipient was specified ambiguously");
  EXPECT_EQ(MapiResultText(25), "Invalid recipients");
  EXPECT_EQ(MapiResultText(26), "Not supported");
  EXPECT_EQ(MapiResultText(27), "");

  EXPECT_EQ(CheckMapiResult(0, false), 0u);
  EXPECT_EQ(CheckMapiResult(1, true), 1u);
  struct Case {
    std::uint32_t code;
    const char* message;
  } cases[] = {
      {1, "MAPI Error: (1) \"User abort\""}, {3, "MAPI Error: (3) \"MAPI login failure\""},
      {7, "MAPI Error: (7) \"\""},           {14, "MAPI Error: (14) \"Unknown recipient\""},
      {27, "MAPI Error: (27) \"\""},         {0xFFFFFFFFu, "MAPI Error: (4294967295) \"\""},
  };
  for (const Case& c : cases) {
    try {
      CheckMapiResult(c.code, c.code != 1);
      ADD_FAILURE() << "no exception for " << c.code;
    } catch (const EMapiError& e) {
      EXPECT_STREQ(e.what(), c.message);
      EXPECT_EQ(e.ErrorCode, c.code);
      // Part of the hierarchy the callers catch.
      EXPECT_NE(dynamic_cast<const EMailError*>(&e), nullptr);
      EXPECT_NE(dynamic_cast<const kdx::Exception*>(&e), nullptr);
    }
  }
}

}  // namespace
}  // namespace kdx::mail
