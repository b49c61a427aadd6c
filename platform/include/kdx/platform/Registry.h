#pragma once
// Read-only access to the system registry, the way the mail hand-off reads it: open a key for
// reading, ask a value's type and size, read it, enumerate the subkeys. Texts are 8-bit in the
// program's code page (cp1250), as the registry's "A" calls give them.
//
// Backends: src/win32 (RegOpenKeyExA with KEY_READ, RegQueryValueExA, RegQueryInfoKeyA,
// RegEnumKeyExA) and src/posix, a read-only view over registry files in the standard .reg text
// format ("Windows Registry Editor Version 5.00" or "REGEDIT4"). On POSIX the registry is:
//   - the file named by $KDX_REGISTRY when that variable is set (it is then the whole registry);
//   - otherwise $XDG_CONFIG_HOME/kdx-manager/registry.reg (default ~/.config/...) layered over
//     registry.reg in the system folder (/etc/kdx-manager; tests move it with
//     ScopedSystemRegistryFolderForTesting); a key or value in the user's file wins;
//   - where neither file exists, the built-in registry its user installs (SetBuiltInRegistry;
//     the mail layer's registers the bundled Simple MAPI provider), else an empty one.
// The files are read again whenever they change, so a test may point $KDX_REGISTRY elsewhere.
// A file that is not a valid .reg file raises ERegistryFileError (never a partial view).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "kdx/platform/Errors.h"

namespace kdx::platform {

// The predefined roots the program reads.
enum class RegistryRoot { ClassesRoot, CurrentUser, LocalMachine, Users };

// Value types as the registry stores them.
inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;
inline constexpr std::uint32_t kRegQword = 11;

// The access right the program asks for (KEY_READ).
inline constexpr std::uint32_t kKeyRead = 0x20019;

// Which registry view a key is opened in. 64-bit Windows keeps parts of HKEY_LOCAL_MACHINE\SOFTWARE
// twice, once as 64-bit programs see it and once as 32-bit programs see it (KEY_WOW64_64KEY,
// KEY_WOW64_32KEY): a 32-bit installer writes its keys into the 32-bit view. `Own` is the view of
// this program's bitness, `Other` the other one.
enum class RegistryView { Own, Other };

// True when the system has a registry view of the other bitness: a 64-bit program, or a 32-bit
// one running on 64-bit Windows. The POSIX stand-in keeps the other view where the registry
// editor exports it, under HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node.
bool HasOtherRegistryView();

// A registry file of the POSIX stand-in could not be read or is not in the .reg format. The
// message names the file and, for a syntax error, the line.
class ERegistryFileError : public Exception {
 public:
  using Exception::Exception;
};

#ifndef _WIN32
// Test hook: the folder of the administrator's registry.reg (default "/etc/kdx-manager") while
// the guard lives; a test points it at a folder of its own so that what the host has installed
// does not count.
class ScopedSystemRegistryFolderForTesting {
 public:
  explicit ScopedSystemRegistryFolderForTesting(std::string folder);
  ~ScopedSystemRegistryFolderForTesting();
  ScopedSystemRegistryFolderForTesting(const ScopedSystemRegistryFolderForTesting&) = delete;
  ScopedSystemRegistryFolderForTesting& operator=(const ScopedSystemRegistryFolderForTesting&) =
      delete;

 private:
  std::string previous_;
};

// The registry used where no registry file exists: `regText` gives it as the text of a .reg
// file, read as a file would be (a malformed one raises ERegistryFileError naming
// "<built-in>"). Called again whenever the registry is consulted, so it may depend on what is
// installed. An empty function means an empty registry.
void SetBuiltInRegistry(std::function<std::string()> regText);
#endif

// One key opened for reading. Closed when destroyed. Not copyable.
class RegistryKey {
 public:
  // Opens `path` (relative to `root`, components separated by backslashes, letter case ignored)
  // for reading, in `view`. Returns null when the key does not exist or cannot be opened for
  // KEY_READ, and for the other view where there is none (HasOtherRegistryView).
  // POSIX: throws ERegistryFileError when a registry file is malformed.
  static std::unique_ptr<RegistryKey> Open(RegistryRoot root, const std::string& path,
                                           RegistryView view = RegistryView::Own);

  virtual ~RegistryKey() = default;
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  // Type and size in bytes of the value `name` ("" is the key's default value) without reading
  // it. False when the value does not exist. For text values the size counts the terminating
  // zero, as the registry reports it.
  virtual bool QueryValueInfo(const std::string& name, std::uint32_t& type,
                              std::uint32_t& size) const = 0;

  // Reads the value's raw bytes (text values: cp1250 with its terminating zero) into `data`,
  // at most `size` bytes. False when the value does not exist or does not fit `size`.
  virtual bool ReadValue(const std::string& name, std::uint32_t size, std::string& data) const = 0;

  // The number of direct subkeys and the length of the longest subkey name (without the
  // terminating zero). False when the information cannot be read.
  virtual bool QueryInfo(std::uint32_t& subkeyCount, std::uint32_t& maxSubkeyNameLength) const = 0;

  // The name of the subkey at `index` (0-based, in the registry's enumeration order: by name,
  // ignoring letter case), into a buffer of `bufferLength` characters including the terminating
  // zero. False when there is no such subkey or the name does not fit.
  virtual bool EnumSubkey(std::uint32_t index, std::uint32_t bufferLength,
                          std::string& name) const = 0;

 protected:
  RegistryKey() = default;
};

}  // namespace kdx::platform
