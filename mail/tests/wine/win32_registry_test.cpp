// The registry helpers of the mail hand-off against keys that the fixture wrote into Wine's real
// registry with `wine reg add` (windows/tests/registry-fixture.sh): value types, the default
// value, Czech key and value names in the ANSI code page, subkey enumeration, environment
// expansion through the system.

#include <windows.h>
#include <gtest/gtest.h>

#include "MailTestSupport.h"
#include "WineTestSupport.h"
#include "kdx/mail/MailErrors.h"
#include "kdx/mail/MailRegistry.h"
#include "kdx/platform/Text.h"

using namespace kdx::mail;
using namespace kdx::test;
using namespace kdx::wintest;
using kdx::mail::test::Raises;
using kdx::platform::RegistryRoot;

namespace {
const std::string kValues = "Software\\KDX Test\\Values";
const std::string kSubkeys = "Software\\KDX Test\\Subkeys";
constexpr RegistryRoot kUser = RegistryRoot::CurrentUser;
}  // namespace

TEST(Win32Registry, KeyExistsOpensForReadingOnly) {
  EXPECT_TRUE(RegistryKeyExists(kUser, kValues));
  EXPECT_TRUE(RegistryKeyExists(kUser, "\\" + kValues)) << "a leading backslash is skipped";
  EXPECT_TRUE(RegistryKeyExists(kUser, "SOFTWARE\\kdx test\\VALUES")) << "letter case";
  EXPECT_TRUE(RegistryKeyExists(kUser, kSubkeys + "\\" + Cp("Účetnictví")));
  EXPECT_FALSE(RegistryKeyExists(kUser, "Software\\KDX Test\\No such key"));
  EXPECT_FALSE(RegistryKeyExists(RegistryRoot::LocalMachine, kValues)) << "wrong root";
  EXPECT_TRUE(RegistryKeyExists(RegistryRoot::LocalMachine, "SOFTWARE\\Clients\\Mail"));
}

TEST(Win32Registry, ReadsTextValuesAndFallsBackToTheDefaultForEverythingElse) {
  const std::string dflt = "<default>";
  auto read = [&](const std::string& name) {
    return ReadRegistryString(kUser, kValues, name, dflt);
  };
  EXPECT_EQ(read("Text"), Cp("Příliš žluťoučký kůň"));
  EXPECT_EQ(read(""), Cp("výchozí hodnota")) << "the key's default value";
  EXPECT_EQ(read("Expand"), "%SystemRoot%\\system32\\mapi32.dll") << "REG_EXPAND_SZ unexpanded";
  EXPECT_EQ(read("Empty"), "") << "an empty text is a value, not a missing one";
  EXPECT_EQ(read(Cp("Název")), Cp("účet"));
  EXPECT_EQ(read("text"), Cp("Příliš žluťoučký kůň")) << "value names ignore letter case";
  EXPECT_EQ(read("Number"), dflt) << "REG_DWORD";
  EXPECT_EQ(read("Binary"), dflt) << "REG_BINARY";
  EXPECT_EQ(read("Multi"), dflt) << "REG_MULTI_SZ";
  EXPECT_EQ(read("No such value"), dflt);
  EXPECT_EQ(ReadRegistryString(kUser, "Software\\KDX Test\\No such key", "Text", dflt), dflt);
  // A key without a default value (Wine's reg.exe gives every key it adds an empty one).
  ScopedRegistryValue other(false, "Software\\KDX Test\\No default", "Other", std::string("x"));
  EXPECT_EQ(ReadRegistryString(kUser, "Software\\KDX Test\\No default", "", dflt), dflt);
}

TEST(Win32Registry, ReadsValuesLongerThanAnyFixedBuffer) {
  const std::string key = "Software\\KDX Test\\Long";
  std::string text;
  for (int i = 0; text.size() < 5000; ++i) text += Cp("řádek ") + std::to_string(i) + ";";
  ScopedRegistryValue value(false, key, "Long", text);
  EXPECT_EQ(ReadRegistryString(kUser, key, "Long", ""), text);
}

TEST(Win32Registry, ListsDirectSubkeysInEnumerationOrder) {
  std::vector<std::string> names = {"stale entry"};
  ASSERT_TRUE(ListSubkeyNames(kUser, kSubkeys, names));
  const std::vector<std::string> expected = {
      "alpha", "Beta",
      Cp("Gamma se zvlášť dlouhým názvem klíče, delším než ostatní dohromady, 0123456789"),
      Cp("Účetnictví")};
  EXPECT_EQ(names, expected);

  names = {"stale entry"};
  EXPECT_TRUE(ListSubkeyNames(kUser, "Software\\KDX Test\\Empty", names));
  EXPECT_TRUE(names.empty());
}

TEST(Win32Registry, ListingAKeyThatDoesNotOpenRaises) {
  std::vector<std::string> names = {"stale entry"};
  EXPECT_TRUE(
      Raises<ERegistryError>([&] { ListSubkeyNames(kUser, "Software\\KDX Test\\Gone", names); },
                             "Unable to open key \"Software\\KDX Test\\Gone\" for read"));
}

TEST(Win32Registry, ExpandsEnvironmentReferencesThroughTheSystem) {
  ScopedEnv czech("KDX_TEST_FOLDER", Cp("C:\\Účetnictví\\Přenosy"));
  std::string text = "%KDX_TEST_FOLDER%\\pob1.kdx";
  ExpandEnvironment(text);
  EXPECT_EQ(text, Cp("C:\\Účetnictví\\Přenosy\\pob1.kdx"));

  text = "%SystemRoot%\\system32\\mapi32.dll";
  ExpandEnvironment(text);
  EXPECT_EQ(kdx::text::AnsiUpperCase(text), "C:\\WINDOWS\\SYSTEM32\\MAPI32.DLL");

  text = "%KDX_NO_SUCH_VARIABLE%\\x;100%;%%";
  ExpandEnvironment(text);
  EXPECT_EQ(text, "%KDX_NO_SUCH_VARIABLE%\\x;100%;%%") << "unknown references stay";

  std::string longText(20000, 'x');
  longText += "%KDX_TEST_FOLDER%";
  ExpandEnvironment(longText);
  EXPECT_EQ(longText, std::string(20000, 'x') + Cp("C:\\Účetnictví\\Přenosy"));
}
