#include "kdx/platform/Url.h"

#include <gtest/gtest.h>

#include "CoreTestSupport.h"

using kdx::BuildUrl;
using kdx::TUrlFields;
using kdx::test::Cp;

namespace {

// A mail target to `address`, no other field set.
TUrlFields MailTo(const char* address) {
  TUrlFields f;
  f.URLType = kdx::utMail;
  f.URL = address;
  return f;
}

}  // namespace

TEST(BuildUrl, EachTypePutsItsPrefixBeforeTheAddress) {
  const std::pair<kdx::TUrlType, const char*> cases[] = {
      {kdx::utFile, "file://host"},     {kdx::utFtp, "ftp://host"},
      {kdx::utGopher, "gopher://host"}, {kdx::utHttp, "http://host"},
      {kdx::utHttps, "https://host"},   {kdx::utMail, "mailto:host"},
      {kdx::utNews, "news:host"},       {kdx::utTelnet, "telnet:host"},
      {kdx::utWais, "wais:host"},
  };
  for (const auto& [type, expected] : cases) {
    TUrlFields f;
    f.URL = "host";
    f.URLType = type;
    f.MailSubject = "ignored unless mail";
    f.Cc = "c@x";
    if (type == kdx::utMail) continue;  // mail fields are checked below
    EXPECT_EQ(BuildUrl(f), expected) << type;
  }
}

TEST(BuildUrl, CustomTypeUsesItsOwnPrefixAndEmptyPrefixGivesTheBareAddress) {
  TUrlFields f;
  f.URL = "www.example.cz";
  EXPECT_EQ(BuildUrl(f), "www.example.cz");
  f.CustomURLType = "callto:";
  EXPECT_EQ(BuildUrl(f), "callto:www.example.cz");
}

TEST(BuildUrl, MailFieldsComeInFixedOrderWithEncodedLineEnds) {
  TUrlFields f = MailTo("a@b.cz");
  f.MailSubject = "Hi there";
  f.MailBody = {"line 1", "line 2"};
  f.Cc = "c@b.cz";
  f.Bcc = "d@b.cz";
  EXPECT_EQ(BuildUrl(f),
            "mailto:a@b.cz?Subject=Hi there&Body=line 1%0A%0Dline 2%0A%0D&Bcc=d@b.cz&Cc=c@b.cz");
}

TEST(BuildUrl, MailWithoutFieldsIsTheBareAddress) {
  EXPECT_EQ(BuildUrl(MailTo("a@b.cz")), "mailto:a@b.cz");
}

// Without a subject the first field present starts the query: "mailto:a@b.cz&Cc=..." would hand
// the mail client "a@b.cz&Cc=c@b.cz" as the address.
TEST(BuildUrl, MailWithoutSubjectStartsItsQueryWithTheFirstFieldPresent) {
  TUrlFields f = MailTo("a@b.cz");
  f.Cc = "c@b.cz";
  EXPECT_EQ(BuildUrl(f), "mailto:a@b.cz?Cc=c@b.cz");
  f.Bcc = "d@b.cz";
  EXPECT_EQ(BuildUrl(f), "mailto:a@b.cz?Bcc=d@b.cz&Cc=c@b.cz");
  f.MailBody = {""};  // one empty line is still a line ending
  EXPECT_EQ(BuildUrl(f), "mailto:a@b.cz?Body=%0A%0D&Bcc=d@b.cz&Cc=c@b.cz");
  f.MailSubject = "S";
  EXPECT_EQ(BuildUrl(f), "mailto:a@b.cz?Subject=S&Body=%0A%0D&Bcc=d@b.cz&Cc=c@b.cz");
}

TEST(BuildUrl, NothingElseIsEscaped) {
  TUrlFields f = MailTo("a b@c");
  f.MailSubject = "x&y?z=%20\xE8";  // cp1250 byte passes through
  EXPECT_EQ(BuildUrl(f), "mailto:a b@c?Subject=x&y?z=%20\xE8");
}

// Only the unreserved characters (and what the caller keeps) stay; every other byte, UTF-8 and
// the URI's own delimiters included, is encoded, so no text can add a field or end the address.
TEST(PercentEncode, KeepsOnlyUnreservedCharactersAndWhatIsKept) {
  const struct {
    std::string text, keep, encoded;
  } cases[] = {
      {"AZaz09-._~", "", "AZaz09-._~"},
      {"a b&c=d?e#f%g+h,i;j/k:l@m", "", "a%20b%26c%3Dd%3Fe%23f%25g%2Bh%2Ci%3Bj%2Fk%3Al%40m"},
      {"a@b/c", "@", "a@b%2Fc"},
      {"\r\n\t'\"\\", "", "%0D%0A%09%27%22%5C"},
      {std::string("\0x", 2), std::string("\0", 1), "%00x"},
      {"P\xC5\x99"
       "enos",
       "", "P%C5%99enos"},  // UTF-8 "ř"
      {"\xFF\x80", "", "%FF%80"},
  };
  for (const auto& c : cases) EXPECT_EQ(kdx::PercentEncode(c.text, c.keep), c.encoded) << c.text;
}

TEST(MailtoUri, TheRecipientAndTheSubjectOfANewEMail) {
  EXPECT_EQ(kdx::MailtoUri("ucetni@example.cz", Cp("Přenosový soubor Velkor ze dne 07.12.2026")),
            "mailto:ucetni@example.cz?subject=P%C5%99enosov%C3%BD%20soubor%20Velkor%20ze%20dne%20"
            "07.12.2026");
  // An address cannot bring fields or a second recipient of its own.
  EXPECT_EQ(kdx::MailtoUri("a@x.cz?bcc=spy@evil.cz,b@x.cz", "s&body=x"),
            "mailto:a@x.cz%3Fbcc%3Dspy@evil.cz%2Cb@x.cz?subject=s%26body%3Dx");
  EXPECT_EQ(kdx::MailtoUri(Cp("jiří@example.cz"), ""), "mailto:ji%C5%99%C3%AD@example.cz");
}
