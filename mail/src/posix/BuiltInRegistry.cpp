// The built-in registry of the POSIX registry stand-in.

#include "../BuiltInRegistry.h"

#include <mutex>

#include "kdx/platform/Errors.h"
#include "kdx/platform/Files.h"
#include "kdx/platform/Registry.h"

namespace kdx::mail {

namespace {

const char* const kBundledClient = "KDX manager mail hand-off";
const char* const kProviderFile = "libkdxmapi.so";

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
  const auto slash = dir.rfind('/');
  if (slash == std::string::npos) return {};
  dir.erase(slash);
  const std::string candidates[] = {dir + "/" + kProviderFile,
                                    dir + "/../mapi-provider/" + kProviderFile,
                                    dir + "/../lib/kdx-manager/" + kProviderFile};
  for (const std::string& candidate : candidates) {
    if (platform::FileExists(candidate)) return candidate;
  }
  return candidates[0];
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
