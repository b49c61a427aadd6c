#pragma once
// File access of the table file routines (internal); one implementation per platform
// (posix/, win32/). Paths are native paths in UTF-8.

#include <cstddef>
#include <memory>
#include <string>

namespace kdx {

// Bytes read in order from somewhere; Read returns 0 at the end.
class TByteSource {
 public:
  virtual ~TByteSource() = default;
  virtual std::size_t Read(char* buffer, std::size_t size) = 0;
};

// A file opened for reading; "Cannot open file %s" when it cannot be opened, "Stream read
// error" when a read fails.
std::unique_ptr<TByteSource> OpenFileSource(const std::string& path);

// A path for a message (messages are cp1250 text).
std::string PathForMessage(const std::string& path);

}  // namespace kdx
