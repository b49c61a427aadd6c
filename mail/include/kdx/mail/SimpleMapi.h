#pragma once
// The mail hand-off: finding the system's Simple MAPI mail client and loading its library
// (TSimpleMapi). One e-mail is handed to it by TMapiEmail (MapiEmail.h); the failures are in
// MailErrors.h. No toolkit; one thread (the user-interface thread).

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "kdx/mail/MailErrors.h"
#include "kdx/mail/MapiClient.h"

namespace kdx::mail {

// Where the system's mail client is, and its loaded Simple MAPI library.
//
// Construction reads the registry (discovery) and leaves the object unloaded; it raises only
// ERegistryError. LoadClientLibrary() loads "mapi32.dll" when Simple MAPI is registered, else the
// default client's library, and resolves all twelve entry points (raises EOSError when the
// library does not load, EMapiError when an entry point is missing, EMapiError "No Simple MAPI
// client installed, ..." when there is no library to load). Destruction unloads. Not copyable.
class TSimpleMapi {
 public:
  TSimpleMapi();
  virtual ~TSimpleMapi();
  TSimpleMapi(const TSimpleMapi&) = delete;
  TSimpleMapi& operator=(const TSimpleMapi&) = delete;

  bool IsClientLibraryLoaded() const { return LibraryHandle_ != nullptr; }
  // "mapi32.dll" when Simple MAPI is registered, else the chosen client's LibraryPath ("" when
  // no client is chosen).
  std::string ClientLibraryPath() const;
  // True when the client behind the library choice (the chosen client, also when "mapi32.dll"
  // is the library loaded) is of the other bitness: the send then goes through the hand-off
  // helper, and this process loads no library.
  bool ChosenLibraryIsOtherBitness() const;
  void LoadClientLibrary();
  void UnloadClientLibrary();
  // True when a send can reach a program that takes the attachment: a usable client was found,
  // and the library that would be loaded leads to one: the chosen client's own library (its load
  // failures are reported when it is loaded), or "mapi32.dll" with a usable default client behind
  // it (or Extended MAPI registered, whose subsystem the stub serves). False with no default
  // client at all. Send raises ENoMailClient before any hand-off when this is false.
  bool CanReachMailClient() const;

  // Read access to the discovery results and the loaded state.
  bool HasUsableClient() const { return HasUsableClient_; }
  const std::vector<TMapiClient>& MailClients() const { return MailClients_; }
  void* LibraryHandle() const { return LibraryHandle_; }
  std::int32_t DefaultClient() const { return DefaultClient_; }
  const std::string& DefaultProfile() const { return DefaultProfile_; }
  bool ExtendedMapiRegistered() const { return ExtendedMapiRegistered_; }
  const std::string& MapiVersionText() const { return MapiVersionText_; }
  const std::vector<std::string>& ProfileNames() const { return ProfileNames_; }
  std::int32_t ChosenClient() const { return ChosenClient_; }
  bool SimpleMapiRegistered() const { return SimpleMapiRegistered_; }
  const std::array<void*, kMapiEntryPointCount>& EntryPoints() const { return EntryPoints_; }

 protected:
  // Runs before the library is released; empty here.
  virtual void PreUnload();

 private:
  void DiscoverMailClients();
  // Fills Usable and OtherBitness of `client` from its library.
  static void TestClient(TMapiClient& client);

  bool HasUsableClient_ = false;
  std::vector<TMapiClient> MailClients_;
  void* LibraryHandle_ = nullptr;
  std::int32_t DefaultClient_ = -1;
  std::string DefaultProfile_;
  bool ExtendedMapiRegistered_ = false;
  std::string MapiVersionText_;
  std::vector<std::string> ProfileNames_;
  std::int32_t ChosenClient_ = -1;
  bool SimpleMapiRegistered_ = false;
  std::array<void*, kMapiEntryPointCount> EntryPoints_{};
};

}  // namespace kdx::mail
