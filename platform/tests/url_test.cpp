#include "kdx/platform/Url.h"

#include <gtest/gtest.h>

using kdx::BuildUrl;
using kdx::TUrlFields;

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
  TUrlFields f;
  f.URLType = kdx::utMail;
  f.URL = "a@b.cz";
  f.MailSubject = "Hi there";
  f.MailBody = {"line 1", "line 2"};
  f.Cc = "c@b.cz";
  f.Bcc = "d@b.cz";
  EXPECT_EQ(BuildUrl(f),
            "mailto:a@b.cz?Subject=Hi there&Body=line 1%0A%0Dline 2%0A%0D&Bcc=d@b.cz&Cc=c@b.cz");
}

TEST(BuildUrl, MailWithoutFieldsIsTheBareAddress) {
  TUrlFields f;
  f.URLType = kdx::utMail;
  f.URL = "a@b.cz";
  EXPECT_EQ(BuildUrl(f), "mailto:a@b.cz");
}

// Each field keeps its own fixed introducer, so without a subject nothing writes the '?' that
// starts a query: "mailto:a@b.cz&Cc=..." is NOT a well-formed mailto: URL (a mail client reads
// "a@b.cz&Cc=c@b.cz" as the address). That is how the label has always composed it and what
// its documented behaviour keeps; the program's one label is a custom URL and never meets it.
// Pinned here as a known fault, so that a change to it is a decision and not an accident.
TEST(BuildUrl, KnownFaultMailWithoutSubjectHasNoQueryStart) {
  TUrlFields f;
  f.URLType = kdx::utMail;
  f.URL = "a@b.cz";
  f.Cc = "c@b.cz";
  const std::string cc = BuildUrl(f);
  EXPECT_EQ(cc.find('?'), std::string::npos) << cc;
  EXPECT_EQ(cc, "mailto:a@b.cz&Cc=c@b.cz");
  f.MailBody = {""};  // one empty line is still a line ending
  EXPECT_EQ(BuildUrl(f), "mailto:a@b.cz&Body=%0A%0D&Cc=c@b.cz");
  f.MailSubject = "S";  // a subject starts the query, and the rest follows it
  EXPECT_EQ(BuildUrl(f), "mailto:a@b.cz?Subject=S&Body=%0A%0D&Cc=c@b.cz");
}

TEST(BuildUrl, NothingElseIsEscaped) {
  TUrlFields f;
  f.URLType = kdx::utMail;
  f.URL = "a b@c";
  f.MailSubject = "x&y?z=%20\xE8";  // cp1250 byte passes through
  EXPECT_EQ(BuildUrl(f), "mailto:a b@c?Subject=x&y?z=%20\xE8");
}
