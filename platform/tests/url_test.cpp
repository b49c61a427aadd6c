#include "kdx/platform/Url.h"

#include <gtest/gtest.h>

using kdx::BuildUrl;
using kdx::TUrlFields;

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
