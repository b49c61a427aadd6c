// Dynamic libraries on POSIX: dlopen / dlsym / dlclose. Names arrive in cp1250 and are handed to
// the loader in the file system's UTF-8.

#include <dlfcn.h>

#include <cerrno>

#include "kdx/platform/Library.h"
#include "kdx/platform/Text.h"

namespace kdx::platform {

namespace {

LibraryHandle Open(const std::string& path, int mode, LibraryError* error) {
  const std::string native = text::Cp1250ToUtf8(path);
  errno = 0;
  dlerror();
  void* handle = dlopen(native.c_str(), mode);
  if (!handle && error) {
    const int code = errno;
    const char* text = dlerror();
    error->code = static_cast<unsigned long>(code);
    error->text = text::Utf8ToCp1250(text ? text : "");
    if (error->code == 0 && !error->text.empty()) {
      // The loader names the fault in its text but leaves errno alone (a file that is not a
      // library, a missing symbol): report it as "no such executable format".
      error->code = ENOEXEC;
    }
  }
  return handle;
}

}  // namespace

LibraryHandle LoadLibraryForInspection(const std::string& path, LibraryError* error) {
  // Lazy binding and local symbols: the nearest POSIX has to "do not resolve references".
  return Open(path, RTLD_LAZY | RTLD_LOCAL, error);
}

LibraryHandle LoadLibraryByName(const std::string& path, LibraryError* error) {
  return Open(path, RTLD_NOW | RTLD_LOCAL, error);
}

void* ResolveFunction(LibraryHandle library, const char* name) {
  if (!library) return nullptr;
  return dlsym(library, name);
}

void FreeLibraryHandle(LibraryHandle library) {
  if (library) dlclose(library);
}

}  // namespace kdx::platform
