// The registry helpers over the .reg stand-in, and environment expansion.

#include "MailTestSupport.h"
#include "kdx/mail/MailRegistry.h"
#include "kdx/mail/SimpleMapi.h"
#include "kdx/platform/Library.h"
#include "kdx/platform/Text.h"

namespace kdx::mail {
namespace {

using kdx::test::ScopedEnv;
using kdx::test::TempDir;
using kdx::test::WriteFile;
const auto HKLM = RegistryRoot::LocalMachine;
const auto HKCU = RegistryRoot::CurrentUser;

const char* const kFixture =
    "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
    "\r\n"
    "; a comment line\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail]\r\n"
    "@=\"Po\xC5\xA1ta\"\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail\\zeta]\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail\\Alpha]\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail\\Po\xC5\xA1ta]\r\n"
    "\"Quoted\"=\"say \\\"hi\\\" C:\\\\dir\"\r\n"
    "\"Number\"=dword:0000001f\r\n"
    "\"Expand\"=hex(2):25,00,54,00,4d,00,50,00,25,00,5c,00,\\\r\n"
    "  61,00,00,00\r\n"
    "\"Blob\"=hex:01,02,\\\r\n"
    "  03\r\n"
    "\"Embedded\"=hex(1):61,00,62,00,00,00\r\n"
    "[HKEY_CURRENT_USER\\Software\\Test]\r\n"
    "\"Value\"=\"user\"\r\n";

class RegistryTest : public test::RegistryFileTest {};

TEST_F(RegistryTest, ReadsKeysValuesAndTypesOfAnExportedFile) {
  Use(kFixture);
  EXPECT_TRUE(RegistryKeyExists(HKLM, "SOFTWARE\\Clients\\Mail"));
  EXPECT_TRUE(RegistryKeyExists(HKLM, "\\software\\CLIENTS\\mail"));  // leading \ and case
  EXPECT_TRUE(RegistryKeyExists(HKLM, "SOFTWARE\\Clients\\Mail\\" + text::Utf8ToCp1250("POŠTA")));
  EXPECT_TRUE(RegistryKeyExists(HKLM, "SOFTWARE"));  // parents exist
  EXPECT_FALSE(RegistryKeyExists(HKLM, "SOFTWARE\\Clients\\News"));
  EXPECT_FALSE(RegistryKeyExists(HKCU, "SOFTWARE\\Clients\\Mail"));  // roots are apart
  EXPECT_TRUE(RegistryKeyExists(HKCU, "Software\\Test"));

  const std::string mail = "SOFTWARE\\Clients\\Mail";
  const std::string posta = mail + "\\" + text::Utf8ToCp1250("Pošta");
  // The default value, converted to cp1250.
  EXPECT_EQ(ReadRegistryString(HKLM, mail, "", "x"), text::Utf8ToCp1250("Pošta"));
  EXPECT_EQ(ReadRegistryString(HKLM, posta, "Quoted", ""), "say \"hi\" C:\\dir");
  EXPECT_EQ(ReadRegistryString(HKLM, posta, "quoted", ""), "say \"hi\" C:\\dir");
  // REG_EXPAND_SZ comes back unexpanded; UTF-16 bytes of a 5.00 file are converted.
  EXPECT_EQ(ReadRegistryString(HKLM, posta, "Expand", ""), "%TMP%\\a");
  // A text cut at its first zero byte.
  EXPECT_EQ(ReadRegistryString(HKLM, posta, "Embedded", ""), "ab");
  // Other types, missing values and missing keys give the default.
  EXPECT_EQ(ReadRegistryString(HKLM, posta, "Number", "def"), "def");
  EXPECT_EQ(ReadRegistryString(HKLM, posta, "Blob", "def"), "def");
  EXPECT_EQ(ReadRegistryString(HKLM, posta, "Missing", "def"), "def");
  EXPECT_EQ(ReadRegistryString(HKLM, posta, "", "def"), "def");  // no default value set
  EXPECT_EQ(ReadRegistryString(HKLM, "SOFTWARE\\Nothing", "", "def"), "def");

  // The raw view keeps the types and the sizes as the registry reports them.
  auto key = platform::RegistryKey::Open(HKLM, posta);
  ASSERT_TRUE(key);
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  ASSERT_TRUE(key->QueryValueInfo("Number", type, size));
  EXPECT_EQ(type, platform::kRegDword);
  EXPECT_EQ(size, 4u);
  std::string data;
  ASSERT_TRUE(key->ReadValue("Number", size, data));
  EXPECT_EQ(data, std::string("\x1f\0\0\0", 4));
  ASSERT_TRUE(key->QueryValueInfo("Blob", type, size));
  EXPECT_EQ(type, platform::kRegBinary);
  ASSERT_TRUE(key->ReadValue("Blob", size, data));
  EXPECT_EQ(data, "\x01\x02\x03");
  EXPECT_FALSE(key->ReadValue("Blob", 2, data));  // does not fit
  ASSERT_TRUE(key->QueryValueInfo("Quoted", type, size));
  EXPECT_EQ(type, platform::kRegSz);
  EXPECT_EQ(size, std::string("say \"hi\" C:\\dir").size() + 1);
}

TEST_F(RegistryTest, ListsSubkeysInNameOrderIgnoringCase) {
  Use(kFixture);
  std::vector<std::string> names = {"stale"};
  ASSERT_TRUE(ListSubkeyNames(HKLM, "SOFTWARE\\Clients\\Mail", names));
  EXPECT_EQ(names, (std::vector<std::string>{"Alpha", text::Utf8ToCp1250("Pošta"), "zeta"}));
  ASSERT_TRUE(ListSubkeyNames(HKCU, "Software\\Test", names));
  EXPECT_TRUE(names.empty());
}

TEST_F(RegistryTest, ListingAKeyThatDoesNotOpenRaisesWithThePathAsPassed) {
  Use(kFixture);
  std::vector<std::string> names = {"stale"};
  EXPECT_TRUE(
      test::Raises<ERegistryError>([&] { ListSubkeyNames(HKLM, "\\SOFTWARE\\Nope", names); },
                                   "Unable to open key \"\\SOFTWARE\\Nope\" for read"));
  EXPECT_TRUE(names.empty());
}

TEST_F(RegistryTest, ReadsUtf16FilesAsTheRegistryEditorWritesThem) {
  std::string utf8 = std::string(kFixture).substr(3);
  std::u16string wide;
  for (std::size_t i = 0; i < utf8.size();) {  // the fixture's only non-ASCII letter is š
    if (utf8.compare(i, 2, "\xC5\xA1") == 0) {
      wide += u'\u0161';
      i += 2;
    } else {
      wide += static_cast<char16_t>(utf8[i++]);
    }
  }
  std::string bytes = "\xFF\xFE";
  for (char16_t c : wide) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  Use(bytes);
  EXPECT_EQ(ReadRegistryString(HKLM, "SOFTWARE\\Clients\\Mail", "", ""),
            text::Utf8ToCp1250("Pošta"));
  EXPECT_EQ(ReadRegistryString(HKLM, "SOFTWARE\\Clients\\Mail\\alpha", "", "none"), "none");
  EXPECT_TRUE(RegistryKeyExists(HKLM, "SOFTWARE\\Clients\\Mail\\alpha"));
}

TEST_F(RegistryTest, Regedit4FilesKeepTheirAnsiBytesAndDeletionsApply) {
  Use("REGEDIT4\n\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\n"
      "\"Path\"=hex(2):25,57,25,00\n"
      "\"Gone\"=\"x\"\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\A\\Child]\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\B]\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\n"
      "\"Gone\"=-\n"
      "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\A\\Child]\n"
      "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\B]\n");
  EXPECT_EQ(ReadRegistryString(HKLM, "SOFTWARE\\A", "Path", ""), "%W%");
  EXPECT_EQ(ReadRegistryString(HKLM, "SOFTWARE\\A", "Gone", "deleted"), "deleted");
  EXPECT_FALSE(RegistryKeyExists(HKLM, "SOFTWARE\\A\\Child"));
  EXPECT_FALSE(RegistryKeyExists(HKLM, "SOFTWARE\\B"));
  EXPECT_TRUE(RegistryKeyExists(HKLM, "SOFTWARE\\A"));
}

TEST_F(RegistryTest, AMalformedFileIsReportedWithItsNameAndLine) {
  struct Case {
    const char* content;
    const char* fragment;
  } cases[] = {
      {"", "line 1: the file is empty"},
      {"[HKEY_LOCAL_MACHINE\\X]\n", "line 1: the first line is not"},
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\X]\n\"a\"=\"unclosed\n",
       "line 3: a quoted text is not closed"},
      {"REGEDIT4\n[HKEY_NOWHERE\\X]\n", "line 2: unknown root key \"HKEY_NOWHERE\""},
      {"REGEDIT4\n\"a\"=\"b\"\n", "line 2: a value outside of a key"},
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\X]\n\"a\"=hex:zz\n",
       "line 3: \"zz\" is not a hexadecimal byte"},
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\X]\n\"a\"=dword:123456789\n", "line 3: a dword value"},
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\X\n", "line 2: a key line does not end with ']'"},
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\X]\nnonsense\n", "line 3: a line is neither"},
  };
  for (const Case& c : cases) {
    Use(c.content);
    try {
      RegistryKeyExists(HKLM, "X");
      ADD_FAILURE() << "accepted: " << c.content;
    } catch (const ERegistryError& e) {
      const std::string message = e.what();
      EXPECT_NE(message.find("Registry file \"" + file_ + "\""), std::string::npos) << message;
      EXPECT_NE(message.find(c.fragment), std::string::npos) << message;
    }
  }
}

TEST_F(RegistryTest, AMissingRegistryFileIsAnErrorAndAChangedFileIsReadAgain) {
  EXPECT_THROW(RegistryKeyExists(HKLM, "SOFTWARE"), ERegistryError);
  Use("REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\One]\n");
  EXPECT_TRUE(RegistryKeyExists(HKLM, "SOFTWARE\\One"));
  Use("REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Two]\n\"v\"=\"longer than before\"\n");
  EXPECT_FALSE(RegistryKeyExists(HKLM, "SOFTWARE\\One"));
  EXPECT_TRUE(RegistryKeyExists(HKLM, "SOFTWARE\\Two"));
}

TEST(RegistryLocationTest, UserFileAndBuiltInDefault) {
  TempDir dir;
  platform::ScopedSystemRegistryFolderForTesting noSystemFile(dir / "etc");
  ScopedEnv noOverride("KDX_REGISTRY", std::nullopt);
  ScopedEnv config("XDG_CONFIG_HOME", dir.Path());
  // Without any file: the built-in default registers the bundled provider as default client.
  const std::string mail = "SOFTWARE\\Clients\\Mail";
  const std::string name = ReadRegistryString(HKLM, mail, "", "");
  ASSERT_FALSE(name.empty());
  const std::string dll = ReadRegistryString(HKLM, mail + "\\" + name, "DLLPath", "");
  EXPECT_NE(dll.find("libkdxmapi.so"), std::string::npos) << dll;
  EXPECT_EQ(dll[0], '/');

  // The user's file replaces the default.
  dir.MakeDir("kdx-manager");
  WriteFile(dir / "kdx-manager/registry.reg", test::RegWithClient("Mine", "/opt/mine.so"));
  EXPECT_EQ(ReadRegistryString(HKLM, mail, "", ""), "Mine");
  EXPECT_EQ(ReadRegistryString(HKLM, mail + "\\Mine", "DLLPath", ""), "/opt/mine.so");
}

// The administrator's file lies under the user's: a value of the user's file wins, the rest of
// the administrator's stays visible.
TEST(RegistryLocationTest, TheUsersFileIsLayeredOverTheSystemFolder) {
  TempDir dir;
  dir.MakeDir("etc");
  dir.MakeDir("config/kdx-manager");
  WriteFile(dir / "etc/registry.reg",
            "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kdx]\n\"a\"=\"system\"\n\"b\"=\"system\"\n");
  WriteFile(dir / "config/kdx-manager/registry.reg",
            "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kdx]\n\"a\"=\"user\"\n");
  platform::ScopedSystemRegistryFolderForTesting system(dir / "etc");
  ScopedEnv noOverride("KDX_REGISTRY", std::nullopt);
  ScopedEnv config("XDG_CONFIG_HOME", dir / "config");
  EXPECT_EQ(ReadRegistryString(HKLM, "SOFTWARE\\Kdx", "a", ""), "user");
  EXPECT_EQ(ReadRegistryString(HKLM, "SOFTWARE\\Kdx", "b", ""), "system");
  // Without the user's file the built-in default is not used: the system file is the registry.
  std::filesystem::remove(dir / "config/kdx-manager/registry.reg");
  EXPECT_EQ(ReadRegistryString(HKLM, "SOFTWARE\\Kdx", "a", ""), "system");
  EXPECT_EQ(ReadRegistryString(HKLM, "SOFTWARE\\Clients\\Mail", "", ""), "");
}

// Nothing is taken from the current folder, which the folder picker moves to wherever the user
// browses: not a registry file under a relative configuration folder, not a client library
// registered with a relative path.
TEST(RegistryLocationTest, NothingComesFromTheCurrentFolder) {
  TempDir home;
  platform::ScopedSystemRegistryFolderForTesting noSystemFile(home / "etc");
  TempDir browsed;
  browsed.MakeDir("cfg/kdx-manager");
  std::filesystem::copy_file(KDX_TEST_PROVIDER_FULL, browsed / "planted.so");
  WriteFile(browsed / "cfg/kdx-manager/registry.reg",
            test::RegWithClient("Planted", "./planted.so"));
  kdx::test::ScopedCwd cwd(browsed.Path());
  ScopedEnv noOverride("KDX_REGISTRY", std::nullopt);
  ScopedEnv homeEnv("HOME", home.Path());
  ScopedEnv config("XDG_CONFIG_HOME", "cfg");
  const std::string mail = "SOFTWARE\\Clients\\Mail";
  EXPECT_NE(ReadRegistryString(HKLM, mail, "", ""), "Planted");

  // The same registry named in full: the client's relative library path is not used.
  ScopedEnv registry("KDX_REGISTRY", browsed / "cfg/kdx-manager/registry.reg");
  TSimpleMapi mapi;
  ASSERT_EQ(mapi.MailClients().size(), 1u);
  EXPECT_FALSE(mapi.MailClients()[0].Usable);
  EXPECT_FALSE(mapi.HasUsableClient());
  EXPECT_EQ(platform::LoadLibraryByName("./planted.so"), nullptr);
}

TEST(ExpandEnvironmentTest, ReplacesSetVariablesAndKeepsTheRest) {
  ScopedEnv a("KDX_TEST_DIR", "/opt/mail");
  ScopedEnv b("KDX_TEST_CZ", "Pošta");
  ScopedEnv c("KDX_TEST_UNSET", std::nullopt);
  std::string t = "%KDX_TEST_DIR%/lib%KDX_TEST_UNSET%.so";
  ExpandEnvironment(t);
  EXPECT_EQ(t, "/opt/mail/lib%KDX_TEST_UNSET%.so");
  t = "100% of %KDX_TEST_DIR%";
  ExpandEnvironment(t);
  EXPECT_EQ(t, "100% of /opt/mail");
  t = "%%KDX_TEST_DIR%";
  ExpandEnvironment(t);
  EXPECT_EQ(t, "%/opt/mail");
  t = "%KDX_TEST_CZ%";
  ExpandEnvironment(t);
  EXPECT_EQ(t, text::Utf8ToCp1250("Pošta"));
  t = "no references";
  ExpandEnvironment(t);
  EXPECT_EQ(t, "no references");
}

}  // namespace
}  // namespace kdx::mail
