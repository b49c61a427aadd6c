// The built-in registry of the POSIX registry stand-in.

#include "../BuiltInRegistry.h"

#include <fcntl.h>
#include <unistd.h>

#include <map>
#include <mutex>

#include "kdx/platform/Errors.h"
#include "kdx/platform/Files.h"
#include "kdx/platform/Path.h"
#include "kdx/platform/Registry.h"
#include "kdx/platform/Text.h"

namespace kdx::mail {

namespace {

const char* const kBundledClient = "KDX manager mail hand-off";
const char* const kProviderFile = "libkdxmapi.so";

// A name of the file at `path` that code page 1250 can spell, as the registry's texts are: the
// path itself when it can, else /proc/self/fd/<n> of a descriptor held open on the file for the
// rest of the run (the program may lie in a folder named in any script). Empty when neither.
std::string Cp1250Name(const std::string& path) {
  if (text::IsCp1250Representable(path)) return path;
  static std::mutex mutex;
  static std::map<std::string, int> held;
  const std::lock_guard<std::mutex> lock(mutex);
  auto it = held.find(path);
  if (it == held.end()) {
    const int fd = ::open(path.c_str(), O_PATH | O_CLOEXEC);
    if (fd < 0) return {};
    it = held.emplace(path, fd).first;
  }
  return "/proc/self/fd/" + std::to_string(it->second);
}

std::string RegQuoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + '"';
}

}  // namespace

std::string BundledProviderPath() {
  std::string dir;
  try {
    dir = platform::ExecutablePath();
  } catch (const EOSError&) {
    return {};
  }
  dir = platform::FolderPart(dir);
  if (dir.empty()) return {};
  const std::string candidates[] = {dir + kProviderFile, dir + "../mapi-provider/" + kProviderFile,
                                    dir + "../lib/kdx-manager/" + kProviderFile};
  for (const std::string& candidate : candidates) {
    if (platform::FileExists(candidate)) return Cp1250Name(candidate);
  }
  return Cp1250Name(candidates[0]);
}

std::string BuiltInRegistryText() {
  const std::string client = kBundledClient;
  return "Windows Registry Editor Version 5.00\n\n"
         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail]\n"
         "@=" +
         RegQuoted(client) +
         "\n\n"
         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail\\" +
         client +
         "]\n"
         "@=" +
         RegQuoted(client) +
         "\n"
         "\"DLLPath\"=" +
         RegQuoted(BundledProviderPath()) + "\n";
}

void InstallBuiltInRegistry() {
  static std::once_flag once;
  std::call_once(once, [] { platform::SetBuiltInRegistry(BuiltInRegistryText); });
}

}  // namespace kdx::mail
