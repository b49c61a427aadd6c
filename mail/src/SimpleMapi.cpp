// TSimpleMapi: discovery of the mail client in the registry, loading of its Simple MAPI library,
// and the result-code convention.

#include "kdx/mail/SimpleMapi.h"

#include <algorithm>

#include "BuiltInRegistry.h"
#include "kdx/mail/HandOff.h"
#include "kdx/mail/MailRegistry.h"
#include "kdx/mail/MapiTypes.h"
#include "kdx/platform/Environment.h"
#include "kdx/platform/Files.h"
#include "kdx/platform/Library.h"
#include "kdx/platform/Path.h"
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
std::unique_ptr<platform::RegistryKey> OpenKey(RegistryRoot root, const std::string& path,
                                               RegistryView view) {
#ifndef _WIN32
  InstallBuiltInRegistry();
#endif
  try {
    return platform::RegistryKey::Open(root, SkipLeadingBackslash(path), view);
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

EOSError LibraryLoadError(unsigned long code, const std::string& text) {
  if (code == 0) {
    return EOSError(text.empty() ? std::string(kOSFunctionFailedText)
                                 : kOSFunctionFailedText + (".\r\n" + text),
                    0);
  }
  const std::string message = FormatMessage(kSystemErrorFormat, static_cast<long long>(code));
  return EOSError(FormatMessage(message, text), code);
}

std::string MapiErrorMessage(std::uint32_t code) {
  // The code is printed as the unsigned number it is (a code above 2^31 is not negative).
  const std::string message = FormatMessage(kMapiErrorFormat, std::to_string(code));
  return FormatMessage(message, MapiResultText(code));
}

std::uint32_t CheckMapiResult(std::uint32_t code, bool ignoreUserAbort) {
  if (code == SUCCESS_SUCCESS) return code;
  if (code == MAPI_USER_ABORT && ignoreUserAbort) return code;
  throw EMapiError(MapiErrorMessage(code), code);
}

// --- registry helpers -----------------------------------------------------------------------

bool RegistryKeyExists(RegistryRoot root, const std::string& path, RegistryView view) {
  return OpenKey(root, path, view) != nullptr;
}

std::string ReadRegistryString(RegistryRoot root, const std::string& path,
                               const std::string& valueName, const std::string& defaultValue,
                               RegistryView view) {
  auto key = OpenKey(root, path, view);
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

bool ListSubkeyNames(RegistryRoot root, const std::string& path, std::vector<std::string>& list,
                     RegistryView view) {
  list.clear();
  auto key = OpenKey(root, path, view);
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

  // The clients as both bitnesses see them: a 32-bit installer writes its keys into the 32-bit
  // view, which a 64-bit program reads only when it asks for it. A client listed in both views
  // is one client; the view of this program's own bitness is asked first.
  const RegistryView views[] = {RegistryView::Own, RegistryView::Other};
  std::vector<std::string> names;
  std::string defaultNames[2];
  bool listed = false;
  for (int v = 0; v < 2; ++v) {
    if (!RegistryKeyExists(hklm, kMailClientsKey, views[v])) continue;
    defaultNames[v] = ReadRegistryString(hklm, kMailClientsKey, "", "", views[v]);
    std::vector<std::string> viewNames;
    if (!ListSubkeyNames(hklm, kMailClientsKey, viewNames, views[v])) continue;
    listed = true;
    for (const std::string& name : viewNames) {
      const std::string upper = text::AnsiUpperCase(name);
      if (std::none_of(names.begin(), names.end(),
                       [&](const std::string& n) { return text::AnsiUpperCase(n) == upper; }))
        names.push_back(name);
    }
    // Names added from the second view take their place in the registry's order (by name,
    // letter case ignored), as one listing would give them.
    if (v == 1 && names.size() > viewNames.size()) {
      std::stable_sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return text::AnsiUpperCase(a) < text::AnsiUpperCase(b);
      });
    }
  }
  if (listed) {
    MailClients_.resize(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
      TMapiClient& client = MailClients_[i];
      client.KeyName = names[i];
      client.Usable = false;
      const std::string clientKey = std::string(kMailClientsKey) + "\\" + names[i];
      bool seen = false;
      for (int v = 0; v < 2 && !client.Usable; ++v) {
        if (!RegistryKeyExists(hklm, clientKey, views[v])) continue;
        TMapiClient candidate = client;
        candidate.DisplayName = ReadRegistryString(hklm, clientKey, "", "", views[v]);
        candidate.LibraryPath = ReadRegistryString(hklm, clientKey, "DLLPath", "", views[v]);
        candidate.FromOtherView = v == 1;
        ExpandEnvironment(candidate.LibraryPath);
        TestClient(candidate);
        // The own view's values stand unless the other view's library is the usable one.
        if (!seen || candidate.Usable) client = candidate;
        seen = true;
      }
      if (client.Usable) HasUsableClient_ = true;
    }
    auto position = [&](const std::string& name) {
      for (std::size_t i = 0; i < names.size(); ++i) {
        if (text::AnsiUpperCase(names[i]) == text::AnsiUpperCase(name))
          return static_cast<std::int32_t>(i);
      }
      return std::int32_t{-1};
    };
    // The default client: the own view's, unless only the other view's names a usable one
    // (a 32-bit client made the default by its 32-bit installer).
    DefaultClient_ = position(defaultNames[0]);
    const std::int32_t other = position(defaultNames[1]);
    const bool ownUsable = DefaultClient_ >= 0 && MailClients_[DefaultClient_].Usable;
    if (!ownUsable && other >= 0 && (MailClients_[other].Usable || DefaultClient_ < 0))
      DefaultClient_ = other;
    ChosenClient_ = DefaultClient_;
  }

  const char* profilesKey = IsWindowsNtFamily ? kNtProfilesKey : kProfilesKey;
  const auto hkcu = RegistryRoot::CurrentUser;
  if (RegistryKeyExists(hkcu, profilesKey)) {
    DefaultProfile_ = ReadRegistryString(hkcu, profilesKey, "DefaultProfile", "");
    std::vector<std::string> names;
    if (ListSubkeyNames(hkcu, profilesKey, names)) ProfileNames_ = names;
  }
}

bool IsOtherBitnessClientImage(const platform::PeImage& image) {
  return platform::OtherBitnessPeMachine() != 0 &&
         image.machine == platform::OtherBitnessPeMachine() &&
         image.ExportsAll(kMapiEntryPointNames.data(), kMapiEntryPointNames.size());
}

std::string HandOffHelperName() {
  return platform::OwnPeMachine() == platform::kPeMachineI386 ? "kdxmapi64.exe" : "kdxmapi32.exe";
}

std::string HandOffHelperPath() {
  return platform::FolderPart(platform::ExecutablePath()) + HandOffHelperName();
}

void TSimpleMapi::TestClient(TMapiClient& client) {
  client.Usable = false;
  client.OtherBitness = false;
  const std::string& path = client.LibraryPath;
  if (path.empty()) return;
#ifdef _WIN32
  // A library of the other bitness cannot be loaded here at all: its file is read instead. A
  // bare name is left to the loader's search order, as before.
  if (path.find_first_of("\\/:") != std::string::npos) {
    const auto image = platform::ReadPeImage(text::Cp1250ToUtf8(path));
    if (image && image->machine == platform::OtherBitnessPeMachine()) {
      client.Usable = client.OtherBitness = IsOtherBitnessClientImage(*image);
      return;
    }
  }
#endif
  // Only the library that will be called is ever loaded; this test runs none of its code.
  client.Usable =
      platform::LibraryExportsAll(path, kMapiEntryPointNames.data(), kMapiEntryPointNames.size());
}

bool TSimpleMapi::ChosenLibraryIsOtherBitness() const {
  return ChosenClient_ >= 0 && ChosenClient_ < static_cast<std::int32_t>(MailClients_.size()) &&
         MailClients_[ChosenClient_].OtherBitness;
}

std::string TSimpleMapi::ClientLibraryPath() const {
  if (SimpleMapiRegistered_) return kSystemMapiLibrary;
  if (ChosenClient_ < 0 || ChosenClient_ >= static_cast<std::int32_t>(MailClients_.size())) {
    return {};
  }
  return MailClients_[ChosenClient_].LibraryPath;
}

bool TSimpleMapi::CanReachMailClient() const {
  if (!HasUsableClient_) return false;
  const bool chosen =
      ChosenClient_ >= 0 && ChosenClient_ < static_cast<std::int32_t>(MailClients_.size());
  // The stub forwards to the default client; without a usable one it can only refuse.
  if (SimpleMapiRegistered_) {
    return ExtendedMapiRegistered_ || (chosen && MailClients_[ChosenClient_].Usable);
  }
  return chosen;
}

void TSimpleMapi::LoadClientLibrary() {
  if (LibraryHandle_) return;
  const std::string path = ClientLibraryPath();
  // With no default client (and no system library) there is nothing to load.
  if (path.empty()) throw ENoMailClient(kNoMapiClientText, 0);
  platform::LibraryError error;
  platform::LibraryHandle library = platform::LoadLibraryByName(path, &error);
  if (!library) throw LibraryLoadError(error.code, error.text);
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
