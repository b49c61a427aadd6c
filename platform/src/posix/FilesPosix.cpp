// POSIX backend of Files.h.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <random>

#include "common/FileCopy.h"
#include "kdx/platform/Errors.h"
#include "kdx/platform/Files.h"
#include "kdx/platform/Path.h"

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
  Fd(Fd&& other) noexcept : fd_(other.Release()) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = other.Release();
    }
    return *this;
  }
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

// --- opened files -----------------------------------------------------------------------------

OpenedFile::OpenedFile(const std::string& path) : handle_(-1) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.Get() < 0) RaiseErrno("open " + path, errno);
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0) RaiseErrno("stat " + path, errno);
  if (!S_ISREG(st.st_mode)) RaiseErrno(path, EISDIR);
  handle_ = fd.Release();
}

OpenedFile::~OpenedFile() {
  ::close(static_cast<int>(handle_));
}

std::size_t OpenedFile::Read(char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = ::read(static_cast<int>(handle_), buffer, size);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) RaiseErrno("read", errno);
  }
}

void OpenedFile::Rewind() {
  if (::lseek(static_cast<int>(handle_), 0, SEEK_SET) != 0) RaiseErrno("seek", errno);
}

bool OpenedFile::IsFile(const std::string& path) const {
  struct stat mine {
  }, other{};
  if (path.empty() || ::fstat(static_cast<int>(handle_), &mine) != 0 ||
      ::stat(path.c_str(), &other) != 0)
    return false;
  return mine.st_dev == other.st_dev && mine.st_ino == other.st_ino;
}

unsigned long OpenedFile::Attributes() const {
  struct stat st {};
  if (::fstat(static_cast<int>(handle_), &st) != 0) RaiseErrno("stat", errno);
  return st.st_mode;
}

// --- the replacement of a file's content ----------------------------------------------------

struct FileReplacer::State {
  std::string target;  // the file replaced (what a symbolic link names)
  std::string temp;    // empty when the target is written in place
  Fd fd;
  bool append = false;
  bool cut = false;  // in place: the old content has been cut
};

FileReplacer::FileReplacer(const std::string& path, bool append, ReplacedPermissions permissions)
    : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.append = append;
  s.target = path;
  if (char* real = ::realpath(path.c_str(), nullptr)) {
    s.target = real;
    std::free(real);
  }
  struct stat st {};
  const bool exists = ::stat(s.target.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) RaiseErrno("replace " + path, EISDIR);
  if (IsReadOnlyFile(s.target)) RaiseErrno("replace " + path, EACCES);

  const std::string folder = ContainingFolder(s.target);
  // Made with 0666, so that the system applies the umask and the folder's default ACL as it
  // does to every new file.
  static std::atomic<unsigned> counter{0};
  std::random_device random;
  int code = 0;
  for (int attempt = 0; attempt < 100 && s.fd.Get() < 0; ++attempt) {
    s.temp = folder + "/.kdx-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) +
             "-" + std::to_string(random() % 1000000) + ".tmp";
    s.fd = Fd(::open(s.temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    code = errno;
    if (s.fd.Get() < 0 && code != EEXIST) break;
  }
  if (s.fd.Get() < 0) {
    s.temp.clear();
    // A folder the user may not write, with a file there that they may: write it in place.
    if (!exists || (code != EACCES && code != EPERM)) RaiseErrno("create in " + folder, code);
    s.fd = Fd(::open(s.target.c_str(), O_WRONLY | O_CLOEXEC | (append ? O_APPEND : 0)));
    if (s.fd.Get() < 0) RaiseErrno("open " + path, errno);
    return;
  }
  try {
    if (exists && permissions == ReplacedPermissions::kKeepExisting) {
      // Owner and group where the caller may set them (the owner: root only).
      if (::fchown(s.fd.Get(), st.st_uid, st.st_gid) != 0)
        (void)::fchown(s.fd.Get(), static_cast<uid_t>(-1), st.st_gid);
      if (::fchmod(s.fd.Get(), st.st_mode & 07777) != 0) RaiseErrno("chmod", errno);
    }
    if (append && exists) {
      OpenedFile old(s.target);
      char buffer[64 * 1024];
      while (const std::size_t n = old.Read(buffer, sizeof buffer)) WriteAll(s.fd.Get(), buffer, n);
    }
  } catch (...) {
    s.fd.Reset();
    ::unlink(s.temp.c_str());
    throw;
  }
}

FileReplacer::~FileReplacer() {
  if (state_->fd.Get() >= 0 && !state_->temp.empty()) {
    state_->fd.Reset();
    ::unlink(state_->temp.c_str());
  }
}

bool FileReplacer::InPlace() const {
  return state_->temp.empty();
}

void FileReplacer::Write(const char* data, std::size_t size) {
  State& s = *state_;
  if (s.temp.empty() && !s.append && !s.cut) {
    if (::ftruncate(s.fd.Get(), 0) != 0) RaiseErrno("truncate " + s.target, errno);
    s.cut = true;
  }
  WriteAll(s.fd.Get(), data, size);
}

void FileReplacer::Commit() {
  State& s = *state_;
  if (s.temp.empty()) {
    Write(nullptr, 0);  // an empty content cuts the file too
    if (::fsync(s.fd.Get()) != 0) RaiseErrno("fsync " + s.target, errno);
    if (::close(s.fd.Release()) != 0) RaiseErrno("close " + s.target, errno);
    return;
  }
  try {
    if (::fsync(s.fd.Get()) != 0) RaiseErrno("fsync", errno);
    if (::close(s.fd.Release()) != 0) RaiseErrno("close", errno);
    if (::rename(s.temp.c_str(), s.target.c_str()) != 0) RaiseErrno("rename to " + s.target, errno);
  } catch (...) {
    s.fd.Reset();
    ::unlink(s.temp.c_str());
    throw;
  }
  // Make the rename itself durable.
  Fd dir(::open(ContainingFolder(s.target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.Get() >= 0) (void)::fsync(dir.Get());
}

void CopyAttributesWithoutReadOnly(const OpenedFile&, const std::string&) {}

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
