// Windows backend of Files.h: wide calls on UTF-8 paths.
#include <windows.h>

#include "common/FileCopy.h"
#include "kdx/platform/Errors.h"
#include "kdx/platform/Files.h"
#include "kdx/platform/WideText.h"

namespace kdx::platform {

namespace {

[[noreturn]] void RaiseLastError(const std::string& what) {
  const DWORD code = GetLastError();
  throw EOSError(what + ": system error " + std::to_string(code), code);
}

std::wstring FolderOf(const std::wstring& path) {
  const auto pos = path.find_last_of(L"\\/:");
  if (pos == std::wstring::npos) return {};
  return path.substr(0, pos + 1);
}

bool Identity(const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
  HANDLE h = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const BOOL ok = GetFileInformationByHandle(h, &info);
  CloseHandle(h);
  return ok != FALSE;
}

}  // namespace

bool FileExists(const std::string& path) {
  if (path.empty()) return false;
  const DWORD a = GetFileAttributesW(Wide(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
  if (path.empty()) return false;
  const DWORD a = GetFileAttributesW(Wide(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool SameFile(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  BY_HANDLE_FILE_INFORMATION ia{}, ib{};
  if (!Identity(Wide(a), ia) || !Identity(Wide(b), ib)) return false;
  return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
         ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

bool IsReadOnlyFile(const std::string& path) {
  if (path.empty()) return false;
  const DWORD a = GetFileAttributesW(Wide(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY) &&
         (a & FILE_ATTRIBUTE_READONLY);
}

// --- opened files -----------------------------------------------------------------------------

OpenedFile::OpenedFile(const std::string& path) : handle_(0) {
  // Others may read, write and delete meanwhile: a mail client removes its temporary copy while
  // the program still holds it open.
  HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) RaiseLastError("open " + path);
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(h, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    CloseHandle(h);
    SetLastError(ERROR_ACCESS_DENIED);
    RaiseLastError("open " + path);
  }
  handle_ = reinterpret_cast<std::intptr_t>(h);
}

OpenedFile::~OpenedFile() {
  CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

std::size_t OpenedFile::Read(char* buffer, std::size_t size) {
  DWORD n = 0;
  const DWORD chunk = size > 0x10000000 ? 0x10000000 : static_cast<DWORD>(size);
  if (!ReadFile(reinterpret_cast<HANDLE>(handle_), buffer, chunk, &n, nullptr))
    RaiseLastError("read");
  return n;
}

void OpenedFile::Rewind() {
  LARGE_INTEGER zero{};
  if (!SetFilePointerEx(reinterpret_cast<HANDLE>(handle_), zero, nullptr, FILE_BEGIN))
    RaiseLastError("seek");
}

bool OpenedFile::IsFile(const std::string& path) const {
  BY_HANDLE_FILE_INFORMATION mine{}, other{};
  if (path.empty() || !GetFileInformationByHandle(reinterpret_cast<HANDLE>(handle_), &mine) ||
      !Identity(Wide(path), other))
    return false;
  return mine.dwVolumeSerialNumber == other.dwVolumeSerialNumber &&
         mine.nFileIndexHigh == other.nFileIndexHigh && mine.nFileIndexLow == other.nFileIndexLow;
}

unsigned long OpenedFile::Attributes() const {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(reinterpret_cast<HANDLE>(handle_), &info))
    RaiseLastError("attributes");
  return info.dwFileAttributes;
}

// --- the replacement of a file's content ----------------------------------------------------

struct FileReplacer::State {
  std::wstring target;
  std::wstring temp;  // empty when the target is written in place
  std::string path;
  HANDLE h = INVALID_HANDLE_VALUE;
  bool append = false;
  bool cut = false;
  DWORD keepAttributes = 0;  // the replaced file's attributes, to give the new one
};

FileReplacer::FileReplacer(const std::string& path, bool append, ReplacedPermissions permissions)
    : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.path = path;
  s.append = append;
  s.target = Wide(path);
  const DWORD attributes = GetFileAttributesW(s.target.c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (exists && (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))) {
    SetLastError(ERROR_ACCESS_DENIED);
    RaiseLastError("replace " + path);
  }
  if (exists) {
    // A file another program holds open for writing is locked: leave it be.
    HANDLE probe = CreateFileW(s.target.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE) RaiseLastError("replace " + path);
    CloseHandle(probe);
    if (permissions == ReplacedPermissions::kKeepExisting)
      s.keepAttributes = attributes & (FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN |
                                       FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
  }
  DWORD code = 0;
  for (int attempt = 0; attempt < 100 && s.h == INVALID_HANDLE_VALUE; ++attempt) {
    s.temp = FolderOf(s.target) + L"~kdx" + std::to_wstring(GetCurrentProcessId()) + L"-" +
             std::to_wstring(GetTickCount() + static_cast<DWORD>(attempt)) + L".tmp";
    s.h = CreateFileW(s.temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                      nullptr);
    code = GetLastError();
    if (s.h == INVALID_HANDLE_VALUE && code != ERROR_FILE_EXISTS) break;
  }
  if (s.h == INVALID_HANDLE_VALUE) {
    s.temp.clear();
    // A folder the user may not write, with a file there that they may: write it in place.
    if (!exists || code != ERROR_ACCESS_DENIED) {
      SetLastError(code);
      RaiseLastError("create in the folder of " + path);
    }
    s.h = CreateFileW(s.target.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (s.h == INVALID_HANDLE_VALUE) RaiseLastError("open " + path);
    if (append) SetFilePointer(s.h, 0, nullptr, FILE_END);
    return;
  }
  if (append && exists) {
    try {
      OpenedFile old(path);
      char buffer[64 * 1024];
      while (const std::size_t n = old.Read(buffer, sizeof buffer)) Write(buffer, n);
    } catch (...) {
      CloseHandle(s.h);
      s.h = INVALID_HANDLE_VALUE;
      DeleteFileW(s.temp.c_str());
      throw;
    }
  }
}

FileReplacer::~FileReplacer() {
  if (state_->h != INVALID_HANDLE_VALUE) {
    CloseHandle(state_->h);
    if (!state_->temp.empty()) DeleteFileW(state_->temp.c_str());
  }
}

bool FileReplacer::InPlace() const {
  return state_->temp.empty();
}

void FileReplacer::Write(const char* data, std::size_t size) {
  State& s = *state_;
  if (s.temp.empty() && !s.append && !s.cut) {
    if (!SetEndOfFile(s.h)) RaiseLastError("truncate " + s.path);
    s.cut = true;
  }
  while (size > 0) {
    const DWORD chunk = size > 0x10000000 ? 0x10000000 : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(s.h, data, chunk, &written, nullptr) || written == 0)
      RaiseLastError("write " + s.path);
    data += written;
    size -= written;
  }
}

void FileReplacer::Commit() {
  State& s = *state_;
  if (s.temp.empty()) Write(nullptr, 0);  // an empty content cuts the file too
  const BOOL flushed = FlushFileBuffers(s.h);
  const DWORD flushError = GetLastError();
  CloseHandle(s.h);
  s.h = INVALID_HANDLE_VALUE;
  if (!flushed) {
    if (!s.temp.empty()) DeleteFileW(s.temp.c_str());
    SetLastError(flushError);
    RaiseLastError("flush " + s.path);
  }
  if (s.temp.empty()) return;
  if (s.keepAttributes) SetFileAttributesW(s.temp.c_str(), s.keepAttributes);
  if (!MoveFileExW(s.temp.c_str(), s.target.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD code = GetLastError();
    DeleteFileW(s.temp.c_str());
    SetLastError(code);
    RaiseLastError("rename to " + s.path);
  }
}

void CopyAttributesWithoutReadOnly(const OpenedFile& source, const std::string& target) {
  const DWORD kept = static_cast<DWORD>(source.Attributes()) &
                     (FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                      FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
  SetFileAttributesW(Wide(target).c_str(), kept ? kept : FILE_ATTRIBUTE_NORMAL);
}

void RemoveFile(const std::string& path) {
  if (!DeleteFileW(Wide(path).c_str())) RaiseLastError("delete " + path);
}

std::string ExecutablePath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) RaiseLastError("GetModuleFileName");
    if (n < buffer.size()) {
      buffer.resize(n);
      return Utf8(buffer);
    }
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace kdx::platform
