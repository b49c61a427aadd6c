// What the provider's receivers got: the MIME message the SMTP sink stored, the mailto: URL and
// Thunderbird's -compose argument the stand-in mail clients recorded.

#include <gmime/gmime.h>

#include <cctype>

#include "ProviderTestSupport.h"

namespace kdx::provider::test {

Parsed Parse(const std::string& raw) {
  g_mime_init();
  Parsed p;
  GMimeStream* stream = g_mime_stream_mem_new_with_buffer(raw.data(), raw.size());
  GMimeParser* parser = g_mime_parser_new_with_stream(stream);
  GMimeMessage* message = g_mime_parser_construct_message(parser, nullptr);
  g_object_unref(parser);
  g_object_unref(stream);
  if (!message) return p;
  if (const char* s = g_mime_message_get_subject(message)) p.subject = s;
  char* to = internet_address_list_to_string(g_mime_message_get_to(message), nullptr, FALSE);
  if (to) p.to = to;
  g_free(to);
  char* cc = internet_address_list_to_string(g_mime_message_get_cc(message), nullptr, FALSE);
  if (cc) p.cc = cc;
  g_free(cc);
  GMimeHeaderList* headers = g_mime_object_get_header_list(GMIME_OBJECT(message));
  for (int i = 0; i < g_mime_header_list_get_count(headers); ++i) {
    GMimeHeader* h = g_mime_header_list_get_header_at(headers, i);
    std::string name = g_mime_header_get_name(h);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    p.headers[name] = g_mime_header_get_raw_value(h) ? g_mime_header_get_raw_value(h) : "";
  }
  GMimePartIter* iter = g_mime_part_iter_new(GMIME_OBJECT(message));
  do {
    GMimeObject* current = g_mime_part_iter_get_current(iter);
    if (!current || !GMIME_IS_PART(current)) continue;
    GMimePart* part = GMIME_PART(current);
    GMimeStream* out = g_mime_stream_mem_new();
    if (GMimeDataWrapper* content = g_mime_part_get_content(part)) {
      g_mime_data_wrapper_write_to_stream(content, out);
    }
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out));
    std::string data(reinterpret_cast<const char*>(bytes->data), bytes->len);
    g_object_unref(out);
    if (const char* name = g_mime_part_get_filename(part)) {
      p.attachments.emplace_back(name, data);
    } else if (GMIME_IS_TEXT_PART(part)) {
      char* text = g_mime_text_part_get_text(GMIME_TEXT_PART(part));  // in UTF-8
      p.text = text ? text : "";
      g_free(text);
    }
  } while (g_mime_part_iter_next(iter));
  g_mime_part_iter_free(iter);
  g_object_unref(message);
  return p;
}

std::string PercentDecoded(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

std::multimap<std::string, std::string> MailtoFields(const std::string& url) {
  std::multimap<std::string, std::string> fields;
  const auto q = url.find('?');
  if (url.rfind("mailto:", 0) != 0 || q == std::string::npos) return fields;
  std::string rest = url.substr(q + 1);
  std::size_t start = 0;
  while (start <= rest.size()) {
    std::size_t amp = rest.find('&', start);
    if (amp == std::string::npos) amp = rest.size();
    const std::string item = rest.substr(start, amp - start);
    const auto eq = item.find('=');
    if (eq != std::string::npos) {
      fields.emplace(item.substr(0, eq), PercentDecoded(item.substr(eq + 1)));
    }
    start = amp + 1;
  }
  return fields;
}

namespace {

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> items;
  std::string item;
  for (char c : text + ",") {
    if (c == ',') {
      if (!item.empty()) items.push_back(item);
      item.clear();
    } else {
      item += c;
    }
  }
  return items;
}

}  // namespace

Composed FromMailto(const std::string& url) {
  Composed c;
  for (const auto& [key, value] : MailtoFields(url)) {
    c.fields.insert(key);
    if (key == "to") c.to.push_back(value);
    if (key == "cc") c.cc.push_back(value);
    if (key == "bcc") c.bcc.push_back(value);
    if (key == "attach") c.attachments.push_back(value);
    if (key == "subject") c.subject = value;
    if (key == "body") c.body = value;
  }
  return c;
}

Composed FromComposeArgument(const std::string& argument) {
  Composed c;
  std::vector<std::string> items;
  std::string item;
  // As Thunderbird reads it: a quote right after "=" opens a quoted value, the same quote
  // followed by a comma or the end closes it.
  char quote = 0;
  for (std::size_t i = 0; i < argument.size(); ++i) {
    const char ch = argument[i];
    const char next = i + 1 < argument.size() ? argument[i + 1] : ',';
    if (quote && ch == quote && next == ',') {
      quote = 0;
    } else if (!quote && (ch == '\'' || ch == '"') && i > 0 && argument[i - 1] == '=') {
      quote = ch;
    } else if (!quote && ch == ',') {
      items.push_back(item);
      item.clear();
      continue;
    }
    item += ch;
  }
  items.push_back(item);
  for (const std::string& it : items) {
    const auto eq = it.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = it.substr(0, eq);
    std::string value = it.substr(eq + 1);
    if (value.size() >= 2 && value.front() == '\'' && value.back() == '\'') {
      value = value.substr(1, value.size() - 2);
    }
    c.fields.insert(key);
    if (key == "to") c.to = SplitList(value);
    if (key == "cc") c.cc = SplitList(value);
    if (key == "bcc") c.bcc = SplitList(value);
    if (key == "attachment") c.attachments = SplitList(value);
    if (key == "subject") c.subject = PercentDecoded(value);
    if (key == "body") c.body = PercentDecoded(value);
  }
  return c;
}

std::string FirstLine(const std::string& record) {
  return record.substr(0, record.find('\n'));
}

}  // namespace kdx::provider::test
