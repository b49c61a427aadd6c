// POSIX backend of Files.h.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "kdx/platform/Errors.h"
#include "kdx/platform/Files.h"

namespace kdx::platform {

namespace {

[[noreturn]] void RaiseErrno(const std::string& what, int code) {
  throw EOSError(what + ": " + std::strerror(code), static_cast<unsigned long>(code));
}

// Closes a descriptor when it leaves scope.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int Get() const { return fd_; }
  void Reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  int Release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

std::string FolderOf(const std::string& path) {
  const auto pos = path.rfind('/');
  if (pos == std::string::npos) return ".";
  if (pos == 0) return "/";
  return path.substr(0, pos);
}

void WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      RaiseErrno("write", errno);
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
}

}  // namespace

bool FileExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {
  }, sb{};
  if (a.empty() || b.empty()) return false;
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool IsReadOnlyFile(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::lstat(path.c_str(), &st) != 0) return false;
  // Folders do not count; nor does a link, as the rename replaces the link, not what it names.
  if (!S_ISREG(st.st_mode)) return false;
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return true;
  return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0;
}

void CopyFileReplacing(const std::string& source, const std::string& target) {
  Fd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.Get() < 0) RaiseErrno("open " + source, errno);
  struct stat st {};
  if (::fstat(in.Get(), &st) != 0) RaiseErrno("stat " + source, errno);
  if (!S_ISREG(st.st_mode)) RaiseErrno(source, EISDIR);
  // The rename would replace a file the user may not write; Windows' copy refuses it.
  if (IsReadOnlyFile(target)) RaiseErrno("replace " + target, EACCES);

  std::string temp = FolderOf(target) + "/.kdx-copy-XXXXXX";
  Fd out(::mkostemp(temp.data(), O_CLOEXEC));
  if (out.Get() < 0) RaiseErrno("create in " + FolderOf(target), errno);
  try {
    char buffer[64 * 1024];
    for (;;) {
      const ssize_t n = ::read(in.Get(), buffer, sizeof buffer);
      if (n < 0) {
        if (errno == EINTR) continue;
        RaiseErrno("read " + source, errno);
      }
      if (n == 0) break;
      WriteAll(out.Get(), buffer, static_cast<size_t>(n));
    }
    if (::fchmod(out.Get(), st.st_mode & 07777) != 0) RaiseErrno("chmod", errno);
    if (::fsync(out.Get()) != 0) RaiseErrno("fsync", errno);
    if (::close(out.Release()) != 0) RaiseErrno("close", errno);
    if (::rename(temp.c_str(), target.c_str()) != 0) RaiseErrno("rename to " + target, errno);
  } catch (...) {
    out.Reset();
    ::unlink(temp.c_str());
    throw;
  }
}

void RemoveFile(const std::string& path) {
  if (::unlink(path.c_str()) != 0) RaiseErrno("unlink " + path, errno);
}

std::string ExecutablePath() {
  std::string buffer(4096, '\0');
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) RaiseErrno("readlink /proc/self/exe", errno);
    if (static_cast<size_t>(n) < buffer.size()) {
      buffer.resize(static_cast<size_t>(n));
      return buffer;
    }
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace kdx::platform
