// File access of the table file routines on Windows (wide calls; paths arrive in UTF-8).

#include "TableFileIO.h"

#include <windows.h>
#undef FormatMessage  // the program's own, not the Win32 macro

#include "kdx/platform/Errors.h"
#include "kdx/platform/Text.h"

namespace kdx {

std::string PathForMessage(const std::string& path) {
  return text::Utf8ToCp1250(path);
}

namespace {

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

[[noreturn]] void CannotCreate(const std::string& path) {
  throw EFCreateError(FormatMessage("Cannot create file %s", PathForMessage(path)));
}

bool WriteAll(HANDLE h, const char* data, std::size_t size) {
  while (size > 0) {
    const DWORD chunk = size > 0x10000000 ? 0x10000000 : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(h, data, chunk, &written, nullptr) || written == 0) return false;
    data += written;
    size -= written;
  }
  return true;
}

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
  HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    throw EFOpenError(FormatMessage("Cannot open file %s", PathForMessage(path)));
  return std::make_unique<THandleSource>(h);
}

struct TFileReplacer::State {
  std::string path;
  std::wstring target;
  std::wstring temp;
  HANDLE h = INVALID_HANDLE_VALUE;
};

TFileReplacer::TFileReplacer(const std::string& path, bool append)
    : state_(std::make_unique<State>()) {
  state_->path = path;
  state_->target = Wide(path);
  const DWORD attributes = GetFileAttributesW(state_->target.c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (exists && (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)))
    CannotCreate(path);
  if (exists) {
    // A file another program holds open for writing is locked: leave it be.
    HANDLE probe = CreateFileW(state_->target.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE) CannotCreate(path);
    CloseHandle(probe);
  }
  for (int attempt = 0; attempt < 100 && state_->h == INVALID_HANDLE_VALUE; ++attempt) {
    state_->temp = state_->target + L"." + std::to_wstring(GetCurrentProcessId()) + L"." +
                   std::to_wstring(GetTickCount() + static_cast<DWORD>(attempt)) + L".tmp";
    state_->h = CreateFileW(state_->temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    if (state_->h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (state_->h == INVALID_HANDLE_VALUE) CannotCreate(path);

  if (append && exists) {
    bool copied = false;
    HANDLE in = CreateFileW(state_->target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (in != INVALID_HANDLE_VALUE) {
      char buffer[8192];
      for (;;) {
        DWORD n = 0;
        if (!ReadFile(in, buffer, sizeof buffer, &n, nullptr)) break;
        if (n == 0) {
          copied = true;
          break;
        }
        if (!WriteAll(state_->h, buffer, n)) break;
      }
      CloseHandle(in);
    }
    if (!copied) {
      CloseHandle(state_->h);
      state_->h = INVALID_HANDLE_VALUE;
      DeleteFileW(state_->temp.c_str());
      CannotCreate(path);
    }
  }
}

TFileReplacer::~TFileReplacer() {
  if (state_ && state_->h != INVALID_HANDLE_VALUE) {
    CloseHandle(state_->h);
    DeleteFileW(state_->temp.c_str());
  }
}

void TFileReplacer::Write(const std::string& bytes) {
  if (!WriteAll(state_->h, bytes.data(), bytes.size())) throw EWriteError("Stream write error");
}

void TFileReplacer::Commit() {
  if (!FlushFileBuffers(state_->h)) throw EWriteError("Stream write error");
  CloseHandle(state_->h);
  state_->h = INVALID_HANDLE_VALUE;
  if (!MoveFileExW(state_->temp.c_str(), state_->target.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileW(state_->temp.c_str());
    CannotCreate(state_->path);
  }
}

}  // namespace kdx
