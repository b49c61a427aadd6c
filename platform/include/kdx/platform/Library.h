#pragma once
// Dynamic libraries loaded by name, with functions looked up by name.
//
// Backends: src/win32 (LoadLibraryExA with DONT_RESOLVE_DLL_REFERENCES, LoadLibraryA,
// GetProcAddress, FreeLibrary) and src/posix (dlopen, dlsym, dlclose). Names are 8-bit text in
// the program's code page; a bare name is found by the platform's search order.

#include <cstddef>
#include <string>

namespace kdx::platform {

using LibraryHandle = void*;

// The system's account of the last failed load: `code` is GetLastError() on Windows (0 when the
// system gave none); the POSIX loader gives no code (0); `text` is the system's description
// (FormatMessage, or dlerror(), which names the file and the cause).
struct LibraryError {
  unsigned long code = 0;
  std::string text;
};

// Loads a library only to look at its exports: without running its initialisation where the
// platform allows that (Windows) and without binding its references (POSIX: lazy binding, local
// symbols). Returns null on failure and fills `error` when given.
LibraryHandle LoadLibraryForInspection(const std::string& path, LibraryError* error = nullptr);

// True when the library file at `path` itself exports a function under every one of the
// `count` names, found without running any of its code. Windows: LoadLibraryExA with
// DONT_RESOLVE_DLL_REFERENCES (no initialisation, no dependencies) and GetProcAddress. POSIX: the
// file is not loaded at all (loading would run its constructors, and a lookup would also find
// names its dependencies export); its ELF dynamic symbol table is read instead (libelf), and
// only functions defined in the file itself, for this machine, count; a path that is not absolute
// names no file there (false), and LoadLibrary* refuse a relative path with a folder in it (a
// bare name is searched for as the loader searches).
bool LibraryExportsAll(const std::string& path, const char* const* names, std::size_t count);

// Loads a library for use. Returns null on failure and fills `error` when given.
LibraryHandle LoadLibraryByName(const std::string& path, LibraryError* error = nullptr);

// The address of the function `name` that the library itself exports; null when it does not.
// POSIX: a name that only one of its dependencies exports does not count (the library's file is
// read as LibraryExportsAll reads it).
void* ResolveFunction(LibraryHandle library, const char* name);

// Releases a library loaded by either call above. Null is ignored.
void FreeLibraryHandle(LibraryHandle library);

}  // namespace kdx::platform
