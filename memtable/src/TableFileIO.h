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

// Replaces a file as a whole. The constructor creates a temporary file beside the target (with
// `append`, holding a copy of the existing target); Commit flushes it to the disk and renames it
// over the target. Until Commit succeeds the target is untouched; the destructor removes a
// temporary file that was not committed.
//   "Cannot create file %s": the target cannot be replaced (read-only, a folder, the folder not
//   writable) or the temporary file cannot be made.
//   "Stream write error": a write or the flush fails.
class TFileReplacer {
 public:
  TFileReplacer(const std::string& path, bool append);
  ~TFileReplacer();
  TFileReplacer(const TFileReplacer&) = delete;
  TFileReplacer& operator=(const TFileReplacer&) = delete;

  void Write(const std::string& bytes);
  void Commit();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// A path for a message (messages are cp1250 text).
std::string PathForMessage(const std::string& path);

}  // namespace kdx
