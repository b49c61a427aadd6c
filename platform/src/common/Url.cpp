#include "kdx/platform/Url.h"

#include "kdx/platform/Text.h"

namespace kdx {

namespace {

// The body as the label's line list gives it as text: every line ends with CR LF.
std::string BodyText(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\r\n";
  return text;
}

// Replaces every CR LF, scanning from the left, by the line-feed code and then the
// carriage-return code.
std::string EncodeLineEnds(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      out += "%0A%0D";
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

std::string UrlPrefix(const TUrlFields& fields) {
  switch (fields.URLType) {
    case utCustom:
      return fields.CustomURLType;
    case utFile:
      return "file://";
    case utFtp:
      return "ftp://";
    case utGopher:
      return "gopher://";
    case utHttp:
      return "http://";
    case utHttps:
      return "https://";
    case utMail:
      return "mailto:";
    case utNews:
      return "news:";
    case utTelnet:
      return "telnet:";
    case utWais:
      return "wais:";
  }
  return {};
}

std::string BuildUrl(const TUrlFields& fields) {
  std::string url = UrlPrefix(fields) + fields.URL;
  if (fields.URLType != utMail) return url;
  // The first field present starts the query with '?', the others follow it with '&' (without
  // a subject, "&Cc=" straight after the address would make it part of the address).
  bool query = false;
  const auto append = [&url, &query](const char* name, const std::string& value) {
    if (value.empty()) return;
    url += query ? '&' : '?';
    url += name;
    url += '=';
    url += value;
    query = true;
  };
  append("Subject", fields.MailSubject);
  append("Body", EncodeLineEnds(BodyText(fields.MailBody)));
  append("Bcc", fields.Bcc);
  append("Cc", fields.Cc);
  return url;
}

std::string PercentEncode(std::string_view bytes, std::string_view keep) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size());
  for (const char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    const bool unreserved = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                            (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~';
    if (unreserved || (c != 0 && keep.find(ch) != std::string_view::npos)) {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string MailtoUri(const std::string& recipient, const std::string& subject) {
  std::string uri = "mailto:" + PercentEncode(text::Cp1250ToUtf8(recipient), "@");
  if (!subject.empty()) uri += "?subject=" + PercentEncode(text::Cp1250ToUtf8(subject));
  return uri;
}

}  // namespace kdx
