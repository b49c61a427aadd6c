// Which addresses the provider hands on: exactly one plain mailbox, written as the user gave it.

#include <glib.h>

#include <string_view>

#include "Provider.h"

namespace kdx::provider {

namespace {

bool IsAsciiAlnum(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Characters allowed in the local part besides letters and digits. In a header they are the
// RFC 5322 atom characters, which a mailbox needs no quoting for; toward the compose window only
// the few that no mail client's command line or address parser treats specially.
bool IsLocalChar(unsigned char c, MailboxUse use) {
  if (IsAsciiAlnum(c)) return true;
  if (use == MailboxUse::ComposeWindow) {
    return c >= 0x80 ||
           std::string_view("+-_=").find(static_cast<char>(c)) != std::string_view::npos;
  }
  return std::string_view("!#$%&'*+-/=?^_`{|}~").find(static_cast<char>(c)) !=
         std::string_view::npos;
}

bool IsDomainChar(unsigned char c, MailboxUse use) {
  return IsAsciiAlnum(c) || c == '-' || (use == MailboxUse::ComposeWindow && c >= 0x80);
}

// Non-empty runs of allowed characters separated by single dots.
template <typename Allowed>
bool IsDotSeparated(std::string_view text, Allowed allowed) {
  if (text.empty() || text.front() == '.' || text.back() == '.') return false;
  char previous = 0;
  for (char c : text) {
    if (c == '.') {
      if (previous == '.') return false;
    } else if (!allowed(static_cast<unsigned char>(c))) {
      return false;
    }
    previous = c;
  }
  return true;
}

}  // namespace

bool IsPlainMailbox(const std::string& address, MailboxUse use) {
  const auto at = address.find('@');
  if (at == std::string::npos || address.find('@', at + 1) != std::string::npos) return false;
  const std::string_view local(address.data(), at);
  const std::string_view domain(address.data() + at + 1, address.size() - at - 1);
  // A leading "|" or "/" makes a local delivery agent run a program or write a file; a leading
  // "-" reads as an option.
  if (local.empty() || local[0] == '|' || local[0] == '/' || local[0] == '-') return false;
  if (use == MailboxUse::ComposeWindow && !IsValidUtf8(address)) return false;
  return IsDotSeparated(local, [use](unsigned char c) { return IsLocalChar(c, use); }) &&
         IsDotSeparated(domain, [use](unsigned char c) { return IsDomainChar(c, use); });
}

bool IsValidUtf8(const std::string& text) {
  return g_utf8_validate_len(text.data(), text.size(), nullptr);
}

}  // namespace kdx::provider
