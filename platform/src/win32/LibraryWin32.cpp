// Dynamic libraries on Windows: LoadLibraryExA / LoadLibraryA, GetProcAddress, FreeLibrary.

#include <windows.h>

#include "kdx/platform/Library.h"

namespace kdx::platform {

namespace {

void FillError(LibraryError* error) {
  if (!error) return;
  const DWORD code = GetLastError();
  error->code = code;
  error->text.clear();
  if (code == 0) return;
  char* buffer = nullptr;
  const DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<LPSTR>(&buffer), 0, nullptr);
  if (n && buffer) {
    error->text.assign(buffer, n);
    while (!error->text.empty() && (error->text.back() == '\n' || error->text.back() == '\r' ||
                                    error->text.back() == ' ')) {
      error->text.pop_back();
    }
  }
  if (buffer) LocalFree(buffer);
}

}  // namespace

LibraryHandle LoadLibraryForInspection(const std::string& path, LibraryError* error) {
  HMODULE module = LoadLibraryExA(path.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
  if (!module) FillError(error);
  return reinterpret_cast<LibraryHandle>(module);
}

LibraryHandle LoadLibraryByName(const std::string& path, LibraryError* error) {
  HMODULE module = LoadLibraryA(path.c_str());
  if (!module) FillError(error);
  return reinterpret_cast<LibraryHandle>(module);
}

bool LibraryExportsAll(const std::string& path, const char* const* names, std::size_t count) {
  LibraryHandle library = LoadLibraryForInspection(path);
  if (!library) return false;
  bool all = true;
  for (std::size_t i = 0; i < count && all; ++i)
    all = ResolveFunction(library, names[i]) != nullptr;
  FreeLibraryHandle(library);
  return all;
}

void* ResolveFunction(LibraryHandle library, const char* name) {
  if (!library) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void FreeLibraryHandle(LibraryHandle library) {
  if (library) FreeLibrary(static_cast<HMODULE>(library));
}

}  // namespace kdx::platform
