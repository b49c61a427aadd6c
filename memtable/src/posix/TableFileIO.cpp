// File access of the table file routines on POSIX.

#include "TableFileIO.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <random>

#include "kdx/platform/Errors.h"
#include "kdx/platform/Text.h"

namespace kdx {

std::string PathForMessage(const std::string& path) {
  return text::Utf8ToCp1250(path);
}

namespace {

class TFdSource : public TByteSource {
 public:
  TFdSource(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~TFdSource() override { ::close(fd_); }
  std::size_t Read(char* buffer, std::size_t size) override {
    for (;;) {
      const ssize_t n = ::read(fd_, buffer, size);
      if (n >= 0) return static_cast<std::size_t>(n);
      if (errno != EINTR) throw EReadError("Stream read error");
    }
  }

 private:
  int fd_;
  std::string path_;
};

[[noreturn]] void CannotCreate(const std::string& path) {
  throw EFCreateError(FormatMessage("Cannot create file %s", PathForMessage(path)));
}

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

std::unique_ptr<TByteSource> OpenFileSource(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st;
  if (fd < 0 || ::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    if (fd >= 0) ::close(fd);
    throw EFOpenError(FormatMessage("Cannot open file %s", PathForMessage(path)));
  }
  return std::make_unique<TFdSource>(fd, path);
}

struct TFileReplacer::State {
  std::string path;    // as the caller named it
  std::string target;  // the file that is replaced (a symbolic link's destination)
  std::string temp;
  int fd = -1;
};

TFileReplacer::TFileReplacer(const std::string& path, bool append)
    : state_(std::make_unique<State>()) {
  // Replace what a symbolic link points to, not the link itself.
  state_->path = path;
  state_->target = path;
  if (char* real = ::realpath(path.c_str(), nullptr)) {
    state_->target = real;
    std::free(real);
  }
  const std::string& target = state_->target;
  struct stat st;
  const bool exists = ::stat(target.c_str(), &st) == 0;
  // A file the user may not write stays as it is, even though its folder would let a rename
  // replace it.
  if (exists && (S_ISDIR(st.st_mode) || ::access(target.c_str(), W_OK) != 0)) CannotCreate(path);

  const std::size_t slash = target.rfind('/');
  const std::string folder =
      slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  static std::atomic<unsigned> counter{0};
  std::random_device random;
  for (int attempt = 0; attempt < 100 && state_->fd < 0; ++attempt) {
    state_->temp = folder + "." + name + "." + std::to_string(::getpid()) + "." +
                   std::to_string(counter++) + "." + std::to_string(random() % 100000) + ".tmp";
    state_->fd = ::open(state_->temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (state_->fd < 0 && errno != EEXIST) break;
  }
  if (state_->fd < 0) CannotCreate(path);
  if (exists) (void)::fchmod(state_->fd, st.st_mode & 07777);

  if (append && exists) {
    // The new text goes after a copy of the old one.
    bool copied = false;
    const int in = ::open(target.c_str(), O_RDONLY | O_CLOEXEC);
    if (in >= 0) {
      char buffer[8192];
      for (;;) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) copied = true;
        if (n <= 0 || !WriteAll(state_->fd, buffer, static_cast<std::size_t>(n))) break;
      }
      ::close(in);
    }
    if (!copied) {
      ::close(state_->fd);
      state_->fd = -1;
      ::unlink(state_->temp.c_str());
      CannotCreate(path);
    }
  }
}

TFileReplacer::~TFileReplacer() {
  if (state_ && state_->fd >= 0) {
    ::close(state_->fd);
    ::unlink(state_->temp.c_str());
  }
}

void TFileReplacer::Write(const std::string& bytes) {
  if (!WriteAll(state_->fd, bytes.data(), bytes.size())) throw EWriteError("Stream write error");
}

void TFileReplacer::Commit() {
  if (::fsync(state_->fd) != 0) throw EWriteError("Stream write error");
  const int fd = state_->fd;
  state_->fd = -1;
  if (::close(fd) != 0) {
    ::unlink(state_->temp.c_str());
    throw EWriteError("Stream write error");
  }
  if (::rename(state_->temp.c_str(), state_->target.c_str()) != 0) {
    ::unlink(state_->temp.c_str());
    CannotCreate(state_->path);
  }
  // Make the rename itself durable.
  const std::size_t slash = state_->target.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : state_->target.substr(0, slash + 1);
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    (void)::fsync(dir);
    ::close(dir);
  }
}

}  // namespace kdx
