// Folders and the current folder on POSIX (Files.h): getcwd, chdir, opendir/readdir, fnmatch.
// Hidden entries are those whose name starts with "."; POSIX has no system attribute.

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "kdx/platform/Errors.h"
#include "kdx/platform/Files.h"
#include "kdx/platform/Text.h"

namespace kdx::platform {

namespace {

// Messages carry cp1250 text; the path is UTF-8 here.
std::string MessagePath(const std::string& path) {
  return text::Utf8ToCp1250(path);
}

bool MatchesMask(const std::string& name, const std::string& mask) {
  if (mask.empty() || mask == "*" || mask == "*.*") return true;
  return fnmatch(mask.c_str(), name.c_str(), FNM_CASEFOLD | FNM_NOESCAPE) == 0;
}

// statfs magic numbers of the file systems that keep letter case but ignore it.
constexpr long kMsdosMagic = 0x4d44;
constexpr long kExfatMagic = 0x2011BAB0;
constexpr long kNtfsMagic = 0x5346544e;
constexpr long kSmbMagic = 0x517B;
constexpr long kCifsMagic = static_cast<long>(0xFF534D42);
constexpr long kSmb2Magic = static_cast<long>(0xFE534D42);

}  // namespace

std::string GetCurrentDir() {
  std::string buffer(4096, '\0');
  for (;;) {
    if (getcwd(buffer.data(), buffer.size()) != nullptr) {
      buffer.resize(std::strlen(buffer.c_str()));
      return buffer;
    }
    if (errno != ERANGE) {
      const int code = errno;
      throw EOSError(std::string("Cannot read the current directory. ") + std::strerror(code),
                     static_cast<unsigned long>(code));
    }
    buffer.resize(buffer.size() * 2);
  }
}

void SetCurrentDir(const std::string& path) {
  if (path.empty() || chdir(path.c_str()) != 0) {
    const int code = path.empty() ? ENOENT : errno;
    throw EOSError(
        "Cannot change to directory \"" + MessagePath(path) + "\". " + std::strerror(code),
        static_cast<unsigned long>(code));
  }
}

std::vector<DirEntry> ListDirectory(const std::string& dir, const std::string& mask) {
  std::unique_ptr<DIR, int (*)(DIR*)> handle(opendir(dir.empty() ? "." : dir.c_str()), closedir);
  if (!handle) {
    const int code = errno;
    throw EOSError("Cannot read directory \"" + MessagePath(dir) + "\". " + std::strerror(code),
                   static_cast<unsigned long>(code));
  }
  const int dirFd = dirfd(handle.get());
  std::vector<DirEntry> result;
  while (const dirent* e = readdir(handle.get())) {
    const std::string name = e->d_name;
    if (name == "." || name == ".." || !MatchesMask(name, mask)) continue;
    struct stat st {};
    // Symbolic links count as what they point to, as a user sees them; a dangling one is left out.
    if (fstatat(dirFd, e->d_name, &st, 0) != 0) continue;
    DirEntry entry;
    entry.name = name;
    entry.directory = S_ISDIR(st.st_mode);
    entry.hidden = name[0] == '.';
    entry.readOnly = faccessat(dirFd, e->d_name, W_OK, 0) != 0;
    result.push_back(std::move(entry));
  }
  return result;
}

VolumeCaseFlags GetVolumeCaseFlags(const std::string& path) {
  VolumeCaseFlags flags;
  struct statfs fs {};
  if (statfs(path.c_str(), &fs) != 0) return flags;
  const long magic = static_cast<long>(fs.f_type);
  if (magic == kMsdosMagic || magic == kExfatMagic || magic == kNtfsMagic || magic == kSmbMagic ||
      magic == kCifsMagic || magic == kSmb2Magic)
    flags.caseSensitive = false;
  return flags;
}

}  // namespace kdx::platform
