// Folders and the current folder on Windows (Files.h): GetCurrentDirectoryW,
// SetCurrentDirectoryW, FindFirstFileW, GetVolumeInformationW, on UTF-8 paths.

#include <windows.h>

#include <string>

#include "kdx/platform/Errors.h"
#include "kdx/platform/Files.h"
#include "kdx/platform/Text.h"
#include "kdx/platform/WideText.h"

namespace kdx::platform {

namespace {

std::string SystemText(DWORD code) {
  char* buffer = nullptr;
  const DWORD n = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string text = n && buffer ? std::string(buffer, n) : std::string();
  if (buffer) LocalFree(buffer);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
    text.pop_back();
  return text;
}

// Messages carry cp1250 text; the path is UTF-8 here.
std::string MessagePath(const std::string& path) {
  return text::Utf8ToCp1250(path);
}

// Keeps "insert a disk" and similar critical-error boxes away while a drive is asked.
class CriticalErrorsSuppressed {
 public:
  CriticalErrorsSuppressed() : previous_(SetErrorMode(SEM_FAILCRITICALERRORS)) {}
  ~CriticalErrorsSuppressed() { SetErrorMode(previous_); }

 private:
  UINT previous_;
};

}  // namespace

std::string GetCurrentDir() {
  const DWORD needed = GetCurrentDirectoryW(0, nullptr);
  std::wstring buffer(needed ? needed : MAX_PATH, L'\0');
  const DWORD n = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
  if (n == 0 || n >= buffer.size()) {
    const DWORD code = GetLastError();
    throw EOSError("Cannot read the current directory. " + SystemText(code), code);
  }
  buffer.resize(n);
  return Utf8(buffer);
}

void SetCurrentDir(const std::string& path) {
  CriticalErrorsSuppressed quiet;
  if (path.empty() || !SetCurrentDirectoryW(Wide(path).c_str())) {
    const DWORD code = path.empty() ? ERROR_PATH_NOT_FOUND : GetLastError();
    throw EOSError("Cannot change to directory \"" + MessagePath(path) + "\". " + SystemText(code),
                   code);
  }
}

std::vector<DirEntry> ListDirectory(const std::string& dir, const std::string& mask) {
  std::string pattern = dir;
  if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
  pattern += mask.empty() ? std::string("*.*") : mask;

  CriticalErrorsSuppressed quiet;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(Wide(pattern).c_str(), &data);
  std::vector<DirEntry> result;
  if (find == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_NO_MORE_FILES) return result;
    throw EOSError("Cannot read directory \"" + MessagePath(dir) + "\". " + SystemText(code), code);
  }
  do {
    const std::string name = Utf8(data.cFileName);
    if (name == "." || name == "..") continue;
    DirEntry entry;
    entry.name = name;
    entry.directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.hidden = (data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0;
    entry.system = (data.dwFileAttributes & FILE_ATTRIBUTE_SYSTEM) != 0;
    entry.readOnly = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    entry.archive = (data.dwFileAttributes & FILE_ATTRIBUTE_ARCHIVE) != 0;
    result.push_back(std::move(entry));
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return result;
}

VolumeCaseFlags GetVolumeCaseFlags(const std::string& path) {
  VolumeCaseFlags flags;
  flags.caseSensitive = false;
  wchar_t root[MAX_PATH + 1] = {};
  CriticalErrorsSuppressed quiet;
  if (!GetVolumePathNameW(Wide(path).c_str(), root, MAX_PATH + 1)) return flags;
  DWORD serial = 0, maxName = 0, fsFlags = 0;
  if (!GetVolumeInformationW(root, nullptr, 0, &serial, &maxName, &fsFlags, nullptr, 0))
    return flags;
  flags.caseSensitive = (fsFlags & FILE_CASE_SENSITIVE_SEARCH) != 0;
  flags.casePreserved = (fsFlags & FILE_CASE_PRESERVED_NAMES) != 0 || flags.caseSensitive;
  return flags;
}

}  // namespace kdx::platform
