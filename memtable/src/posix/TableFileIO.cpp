// File access of the table file routines on POSIX.

#include "TableFileIO.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

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

}  // namespace kdx
