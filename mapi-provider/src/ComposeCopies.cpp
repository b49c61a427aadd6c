// The files handed to the desktop's mail client for the compose window: a file's own path where
// every route of xdg-email carries it as it is, else a copy under the attachment's name in a
// private folder of its own; and the removal of the copies that earlier hand-offs left.
//
// What the routes do to a path: the mailto: URI of the generic, KDE and GNOME routes carries every
// byte percent-encoded. The Thunderbird route decodes the paths into one `attachment='a,b'` field
// of `thunderbird -compose` and passes that field through the shell's echo, which reads a
// backslash as the start of an escape (which ones depends on the shell) and drops line breaks at
// its end; Thunderbird splits the list at every comma, ends the quoted field at a quote that a
// comma follows, names the file a symbolic link leads to, and calls a file whose name begins
// like one of its own URLs ("file:", "imap:" ...) "Attached Message Part". Control characters
// never reach a header on the sendmail route either: they become blanks there as here.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

#include "Provider.h"
#include "kdx/platform/Path.h"
#include "kdx/platform/Text.h"

namespace kdx::provider {

namespace {

constexpr std::string_view kCopyFolderPrefix = "kdx-mail-";

// How long a copy stays: the mail client reads it only when the user sends the message, and a
// compose window may stay open over a weekend or a holiday.
constexpr std::time_t kCopyLifetimeSeconds = 7 * 24 * 60 * 60;

bool IsCarried(unsigned char c) {
  return c >= 0x20 && c != 0x7F && c != '\\' && c != ',';
}

bool IsAsciiLetterOrDigit(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// A folder name mkdtemp makes from "kdx-mail-XXXXXX".
bool IsCopyFolderName(std::string_view name) {
  return name.size() == kCopyFolderPrefix.size() + 6 && name.starts_with(kCopyFolderPrefix) &&
         std::all_of(name.begin() + kCopyFolderPrefix.size(), name.end(), IsAsciiLetterOrDigit);
}

// The name the mail client is to show for `name`: control characters as blanks, a backslash, a
// comma, a slash, a single quote at the end and the colon after a URL scheme of Thunderbird's
// as "_"; never empty, "." or "..".
std::string NameForClient(const std::string& name) {
  std::string out = name;
  const bool utf8 = IsValidUtf8(out);
  for (char& c : out) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) {
      c = ' ';
    } else if (!IsCarried(u) || c == '/' || (!utf8 && u >= 0x80)) {
      c = '_';
    }
  }
  if (!out.empty() && out.back() == '\'') out.back() = '_';
  if (const auto colon = out.find(':'); colon != std::string::npos) {
    const std::string_view scheme = std::string_view(out).substr(0, colon);
    for (const char* own : {"file", "mailbox", "imap", "news", "snews", "mailbox-message",
                            "imap-message", "news-message"}) {
      if (text::EqualsAsciiNoCase(scheme, own)) out[colon] = '_';
    }
  }
  if (out.empty() || out == "." || out == "..") out = "attachment";
  return out;
}

// The folder for copies: $TMPDIR when it names a folder by a path the routes carry, else /tmp.
std::string CopiesBase() {
  if (const char* tmp = std::getenv("TMPDIR"); tmp && tmp[0] == '/' && IsCarriedPath(tmp)) {
    std::error_code error;
    if (std::filesystem::is_directory(tmp, error)) return tmp;
  }
  return "/tmp";
}

// Removes the copy folders in `base` that this provider made (the name mkdtemp gives them, a
// folder, not a link, of this user with mode 0700) and that have not changed for the lifetime of a
// copy. Best effort: what cannot be read or removed stays.
void RemoveOldCopies(const std::string& base) {
  DIR* dir = ::opendir(base.c_str());
  if (!dir) return;
  const std::time_t before = std::time(nullptr) - kCopyLifetimeSeconds;
  std::vector<std::string> old;
  while (const dirent* entry = ::readdir(dir)) {
    if (!IsCopyFolderName(entry->d_name)) continue;
    struct stat st {};
    if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 07777) == 0700 &&
        st.st_mtime < before) {
      old.push_back(base + "/" + entry->d_name);
    }
  }
  ::closedir(dir);
  for (const std::string& folder : old) {
    std::error_code error;
    std::filesystem::remove_all(folder, error);  // removes links inside, never where they lead
  }
}

}  // namespace

bool IsCarriedPath(const std::string& path) {
  return !path.empty() && path.back() != '\'' && IsValidUtf8(path) &&
         std::all_of(path.begin(), path.end(),
                     [](char c) { return IsCarried(static_cast<unsigned char>(c)); });
}

ComposeAttachments::ComposeAttachments() : base_(CopiesBase()) {
  RemoveOldCopies(base_);
}

ComposeAttachments::~ComposeAttachments() {
  if (keep_) return;
  for (const std::string& folder : folders_) {
    std::error_code error;
    std::filesystem::remove_all(folder, error);
  }
}

std::string ComposeAttachments::PathFor(const Attachment& attachment) {
  const std::string& path = attachment.path;
  const std::string name = NameForClient(attachment.name);
  struct stat st {};
  if (IsCarriedPath(path) && platform::BareName(path) == name && ::lstat(path.c_str(), &st) == 0 &&
      !S_ISLNK(st.st_mode)) {
    return path;
  }
  std::string folder = base_ + "/" + std::string(kCopyFolderPrefix) + "XXXXXX";
  if (!::mkdtemp(folder.data())) {
    std::fprintf(stderr, "kdxmapi: cannot make a private folder in %s: %s\n", base_.c_str(),
                 std::strerror(errno));
    return {};
  }
  folders_.push_back(folder);
  const std::string copy = folder + "/" + name;
  std::error_code error;
  if (!std::filesystem::copy_file(path, copy, error)) {
    std::fprintf(stderr, "kdxmapi: cannot copy \"%s\" for the mail client: %s\n", path.c_str(),
                 error.message().c_str());
    return {};
  }
  return copy;
}

}  // namespace kdx::provider
