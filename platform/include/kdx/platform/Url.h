#pragma once
// Composition of the hyperlink label's target string, without any toolkit: the label (widgets
// layer) keeps its properties in a TUrlFields and asks BuildUrl for the string it opens and shows
// as its tooltip. Also the percent-encoding of URI parts and the mailto: URI of a new e-mail.

#include <string>
#include <string_view>
#include <vector>

namespace kdx {

// The kinds of target, in their fixed order.
enum TUrlType {
  utCustom,
  utFile,
  utFtp,
  utGopher,
  utHttp,
  utHttps,
  utMail,
  utNews,
  utTelnet,
  utWais
};

// The label's properties that take part in the target (cp1250 text, inserted as they are).
struct TUrlFields {
  std::string URL;
  TUrlType URLType = utCustom;
  std::string CustomURLType;  // the prefix used with utCustom
  std::string MailSubject;
  std::vector<std::string> MailBody;  // lines of the body
  std::string Cc;
  std::string Bcc;
};

// The prefix that a type puts before the address ("http://", "mailto:", ...); for utCustom the
// CustomURLType.
std::string UrlPrefix(const TUrlFields& fields);

// The composed target: prefix + URL, and for utMail the mail fields that are not empty, in the
// order Subject, Body, Bcc, Cc, the first of them introduced by '?' and the others by '&'
// ("mailto:a@b.cz?Subject=S&Cc=c@b.cz", "mailto:a@b.cz?Cc=c@b.cz"). Each body line ends with
// "%0A%0D". Nothing else is escaped.
std::string BuildUrl(const TUrlFields& fields);

// `bytes` with every byte that is not an RFC 3986 unreserved character (letters, digits,
// "-._~") and not in `keep` written as "%XX" (upper-case hex). UTF-8 text gives its bytes.
std::string PercentEncode(std::string_view bytes, std::string_view keep = {});

// A mailto: URI for a new e-mail to `recipient` with `subject` (cp1250 texts, converted to UTF-8,
// then percent-encoded; the address keeps its "@"): "mailto:<address>?subject=<subject>", the
// query left out for an empty subject. Safe to hand to the shell's opener as it is.
std::string MailtoUri(const std::string& recipient, const std::string& subject);

}  // namespace kdx
