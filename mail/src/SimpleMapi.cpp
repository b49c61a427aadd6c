// TSimpleMapi: discovery of the mail client in the registry, loading of its Simple MAPI library,
// and the result-code convention.

#include "kdx/mail/SimpleMapi.h"

#include "BuiltInRegistry.h"
#include "kdx/platform/Environment.h"
#include "kdx/platform/Library.h"
#include "kdx/platform/Text.h"

namespace kdx::mail {

const bool IsWindowsNtFamily = platform::IsWindowsNtFamily();

namespace {

const char* const kMessagingSubsystemKey = "SOFTWARE\\Microsoft\\Windows Messaging Subsystem";
const char* const kMailClientsKey = "SOFTWARE\\Clients\\Mail";
const char* const kNtProfilesKey =
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles";
const char* const kProfilesKey = "SOFTWARE\\Microsoft\\Windows Messaging Subsystem\\Profiles";
const char* const kSystemMapiLibrary = "mapi32.dll";

std::string SkipLeadingBackslash(const std::string& path) {
  return (!path.empty() && path[0] == '\\') ? path.substr(1) : path;
}

// Opens a key; a malformed registry file of the stand-in becomes the mail layer's own error.
std::unique_ptr<platform::RegistryKey> OpenKey(RegistryRoot root, const std::string& path) {
#ifndef _WIN32
  InstallBuiltInRegistry();
#endif
  try {
    return platform::RegistryKey::Open(root, SkipLeadingBackslash(path));
  } catch (const platform::ERegistryFileError& e) {
    throw ERegistryError(e.what());
  }
}

}  // namespace

// --- results --------------------------------------------------------------------------------

std::string MapiResultText(std::uint32_t code) {
  static const char* const kTexts[] = {"",
                                       "User abort",
                                       "General MAPI failure",
                                       "MAPI login failure",
                                       "Disk full",
                                       "Insufficient memory",
                                       "Access denied",
                                       "",
                                       "Too many sessions",
                                       "Too many files were specified",
                                       "Too many recipients were specified",
                                       "A specified attachment was not found",
                                       "Attachment open failure",
                                       "Attachment write failure",
                                       "Unknown recipient",
                                       "Bad recipient type",
                                       "No messages",
                                       "Invalid message",
                                       "Text too large",
                                       "Invalid session",
                                       "Type not supported",
                                       "A recipient was specified ambiguously",
                                       "Message in use",
                                       "Network failure",
                                       "Invalid edit fields",
                                       "Invalid recipients",
                                       "Not supported"};
  if (code >= sizeof(kTexts) / sizeof(kTexts[0])) return {};
  return kTexts[code];
}

std::uint32_t CheckMapiResult(std::uint32_t code, bool ignoreUserAbort) {
  if (code == SUCCESS_SUCCESS) return code;
  if (code == MAPI_USER_ABORT && ignoreUserAbort) return code;
  // The code is printed as the unsigned number it is (a code above 2^31 is not negative).
  std::string message = FormatMessage(kMapiErrorFormat, std::to_string(code));
  message = FormatMessage(message, MapiResultText(code));
  throw EMapiError(message, code);
}

// --- registry helpers -----------------------------------------------------------------------

bool RegistryKeyExists(RegistryRoot root, const std::string& path) {
  return OpenKey(root, path) != nullptr;
}

std::string ReadRegistryString(RegistryRoot root, const std::string& path,
                               const std::string& valueName, const std::string& defaultValue) {
  auto key = OpenKey(root, path);
  if (!key) return defaultValue;
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  if (!key->QueryValueInfo(valueName, type, size)) return defaultValue;
  if (type != platform::kRegSz && type != platform::kRegExpandSz) return defaultValue;
  std::string data;
  if (!key->ReadValue(valueName, size, data)) return defaultValue;
  const auto zero = data.find('\0');
  if (zero != std::string::npos) data.resize(zero);
  return data;
}

bool ListSubkeyNames(RegistryRoot root, const std::string& path, std::vector<std::string>& list) {
  list.clear();
  auto key = OpenKey(root, path);
  if (!key) throw ERegistryError(FormatMessage(kUnableToOpenKeyFormat, path));
  std::uint32_t count = 0;
  std::uint32_t maxLength = 0;
  if (!key->QueryInfo(count, maxLength)) return false;
  for (std::uint32_t i = 0; i < count; ++i) {
    std::string name;
    if (!key->EnumSubkey(i, maxLength + 1, name)) continue;
    const auto zero = name.find('\0');
    if (zero != std::string::npos) name.resize(zero);
    list.push_back(name);
  }
  return true;
}

void ExpandEnvironment(std::string& text) {
  std::string expanded;
  if (platform::ExpandEnvironmentReferences(text, expanded)) text = expanded;
}

// --- TSimpleMapi ----------------------------------------------------------------------------

TSimpleMapi::TSimpleMapi() {
  DiscoverMailClients();
}

TSimpleMapi::~TSimpleMapi() {
  try {
    UnloadClientLibrary();
  } catch (...) {
    // A destructor must not raise; the library has been released by UnloadClientLibrary.
  }
}

void TSimpleMapi::DiscoverMailClients() {
  MailClients_.clear();
  DefaultClient_ = -1;
  ProfileNames_.clear();
  DefaultProfile_.clear();

  const auto hklm = RegistryRoot::LocalMachine;
  if (RegistryKeyExists(hklm, kMessagingSubsystemKey)) {
    ExtendedMapiRegistered_ = ReadRegistryString(hklm, kMessagingSubsystemKey, "MAPIX", "") == "1";
    SimpleMapiRegistered_ = ReadRegistryString(hklm, kMessagingSubsystemKey, "MAPI", "") == "1";
    MapiVersionText_ = ReadRegistryString(hklm, kMessagingSubsystemKey, "MAPIXVER", "");
  }
  HasUsableClient_ = ExtendedMapiRegistered_;

  if (RegistryKeyExists(hklm, kMailClientsKey)) {
    const std::string defaultName = ReadRegistryString(hklm, kMailClientsKey, "", "");
    std::vector<std::string> names;
    if (ListSubkeyNames(hklm, kMailClientsKey, names)) {
      MailClients_.resize(names.size());
      for (std::size_t i = 0; i < names.size(); ++i) {
        TMapiClient& client = MailClients_[i];
        client.KeyName = names[i];
        client.Usable = false;
        const std::string clientKey = std::string(kMailClientsKey) + "\\" + names[i];
        if (!RegistryKeyExists(hklm, clientKey)) continue;
        client.DisplayName = ReadRegistryString(hklm, clientKey, "", "");
        client.LibraryPath = ReadRegistryString(hklm, clientKey, "DLLPath", "");
        ExpandEnvironment(client.LibraryPath);
        client.Usable = IsClientUsable(client.LibraryPath);
        if (client.Usable) HasUsableClient_ = true;
      }
      for (std::size_t i = 0; i < names.size(); ++i) {
        if (text::AnsiUpperCase(names[i]) == text::AnsiUpperCase(defaultName)) {
          DefaultClient_ = static_cast<std::int32_t>(i);
          break;
        }
      }
      ChosenClient_ = DefaultClient_;
    }
  }

  const char* profilesKey = IsWindowsNtFamily ? kNtProfilesKey : kProfilesKey;
  const auto hkcu = RegistryRoot::CurrentUser;
  if (RegistryKeyExists(hkcu, profilesKey)) {
    DefaultProfile_ = ReadRegistryString(hkcu, profilesKey, "DefaultProfile", "");
    std::vector<std::string> names;
    if (ListSubkeyNames(hkcu, profilesKey, names)) ProfileNames_ = names;
  }
}

bool TSimpleMapi::IsClientUsable(const std::string& libraryPath) {
  if (libraryPath.empty()) return false;
  // Only the library that will be called is ever loaded; this test runs none of its code.
  return platform::LibraryExportsAll(libraryPath, kMapiEntryPointNames.data(),
                                     kMapiEntryPointNames.size());
}

std::string TSimpleMapi::ClientLibraryPath() const {
  if (SimpleMapiRegistered_) return kSystemMapiLibrary;
  if (ChosenClient_ < 0 || ChosenClient_ >= static_cast<std::int32_t>(MailClients_.size())) {
    return {};
  }
  return MailClients_[ChosenClient_].LibraryPath;
}

void TSimpleMapi::LoadClientLibrary() {
  if (LibraryHandle_) return;
  const std::string path = ClientLibraryPath();
  // With no default client (and no system library) there is nothing to load.
  if (path.empty()) throw EMapiError(kNoMapiClientText, 0);
  platform::LibraryError error;
  platform::LibraryHandle library = platform::LoadLibraryByName(path, &error);
  if (!library) {
    if (error.code == 0) throw EOSError(kOSFunctionFailedText, 0);
    std::string message = FormatMessage(kSystemErrorFormat, static_cast<long long>(error.code));
    message = FormatMessage(message, error.text);
    throw EOSError(message, error.code);
  }
  LibraryHandle_ = library;
  for (std::size_t i = 0; i < kMapiEntryPointCount; ++i) {
    void* address = platform::ResolveFunction(library, kMapiEntryPointNames[i]);
    if (!address) {
      UnloadClientLibrary();
      throw EMapiError(FormatMessage(kNotExportedFormat, kMapiEntryPointNames[i]), 0);
    }
    EntryPoints_[i] = address;
  }
}

void TSimpleMapi::UnloadClientLibrary() {
  if (!LibraryHandle_) return;
  struct Release {
    TSimpleMapi& self;
    ~Release() {
      platform::FreeLibraryHandle(self.LibraryHandle_);
      self.LibraryHandle_ = nullptr;
      self.EntryPoints_.fill(nullptr);
    }
  } release{*this};
  // The library is released even when the pre-unload step raises; the error then passes on.
  PreUnload();
}

void TSimpleMapi::PreUnload() {}

}  // namespace kdx::mail
