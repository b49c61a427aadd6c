// File access of the table file routines on Windows (wide calls; paths arrive in UTF-8).

#include "TableFileIO.h"

#include <windows.h>
#undef FormatMessage  // the program's own, not the Win32 macro

#include "kdx/platform/Errors.h"
#include "kdx/platform/Text.h"
#include "kdx/platform/WideText.h"

namespace kdx {

std::string PathForMessage(const std::string& path) {
  return text::Utf8ToCp1250(path);
}

namespace {

class THandleSource : public TByteSource {
 public:
  explicit THandleSource(HANDLE h) : h_(h) {}
  ~THandleSource() override { CloseHandle(h_); }
  std::size_t Read(char* buffer, std::size_t size) override {
    DWORD read = 0;
    if (!ReadFile(h_, buffer, static_cast<DWORD>(size), &read, nullptr))
      throw EReadError("Stream read error");
    return read;
  }

 private:
  HANDLE h_;
};

}  // namespace

std::unique_ptr<TByteSource> OpenFileSource(const std::string& path) {
  // Others may read meanwhile, nobody may write.
  HANDLE h = CreateFileW(platform::Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    throw EFOpenError(FormatMessage("Cannot open file %s", PathForMessage(path)));
  return std::make_unique<THandleSource>(h);
}

}  // namespace kdx
