#pragma once
// The mail hand-off: finding the system's Simple MAPI mail client (TSimpleMapi) and handing it
// one e-mail (TMapiEmail). No toolkit; one thread (the user-interface thread).
//
// Texts are 8-bit cp1250 (the registry's and Simple MAPI's code page); messages of the
// exceptions are English.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kdx/mail/MapiTypes.h"
#include "kdx/platform/Errors.h"
#include "kdx/platform/PeImage.h"
#include "kdx/platform/Registry.h"
#include "kdx/platform/TopWindows.h"

namespace kdx::mail {

// --- exceptions ---------------------------------------------------------------------------

// Root of the mail hand-off's failures.
class EMailError : public Exception {
 public:
  using Exception::Exception;
};

// A Simple MAPI failure. `ErrorCode` is the Simple MAPI result code, 0 for failures that are
// not a result code ("No Simple MAPI client installed, ...", a missing entry point).
class EMapiError : public EMailError {
 public:
  EMapiError(const std::string& message, std::uint32_t code)
      : EMailError(message), ErrorCode(code) {}
  std::uint32_t ErrorCode;
};

// No program on this system can take the message with its attachment: discovery found no usable
// Simple MAPI client, only the system's "mapi32.dll" stub is registered with no usable default
// client behind it (the stub would answer with a box of its own and fail), or the bundled Linux
// provider found that the desktop's mailto: handler drops attachments (a browser, no handler).
// Raised before anything is handed over, so the caller can offer another way to send the file.
// `ErrorCode` keeps the code of the situation: 0 when the program itself found no client (the
// message is "No Simple MAPI client installed, ..."), 26 (MAPI_E_NOT_SUPPORTED) when the provider
// answered so ("MAPI Error: (26) "Not supported"").
class ENoMailClient : public EMapiError {
 public:
  using EMapiError::EMapiError;
};

// A registry key that had to be read could not be ("Unable to open key "%s" for read"), or a
// registry file of the POSIX stand-in is malformed.
class ERegistryError : public EMailError {
 public:
  using EMailError::EMailError;
};

// A failed operating-system call: "System Error.  Code: %d.\r\n%s" (kdx::EOSError).
using kdx::EOSError;

// --- fixed texts ----------------------------------------------------------------------------

inline constexpr const char* kNoMapiClientText =
    "No Simple MAPI client installed, cannot send the message";
inline constexpr const char* kMapiErrorFormat = "MAPI Error: (%d) \"%s\"";
inline constexpr const char* kNotExportedFormat = "Function \"%s\" is not exported by client";
inline constexpr const char* kUnableToOpenKeyFormat = "Unable to open key \"%s\" for read";
inline constexpr const char* kSystemErrorFormat = "System Error.  Code: %d.\r\n%s";
inline constexpr const char* kOSFunctionFailedText = "A call to an OS function failed";
// An attachment whose full path code page 1250 cannot spell, while the path as given is not a
// full one (a relative name in a folder named in another script).
inline constexpr const char* kAttachmentPathFormat =
    "The full path of the attachment \"%s\" cannot be written in code page 1250";
// The hand-off helper of the other bitness (first placeholder: its path).
inline constexpr const char* kHandOffStartFormat =
    "Cannot start the mail hand-off helper \"%s\": %s";
inline constexpr const char* kHandOffNoAnswerFormat =
    "The mail hand-off helper \"%s\" ended without an answer (exit code %s); the message was not "
    "sent";
inline constexpr const char* kHandOffRefusedFormat =
    "The mail hand-off helper \"%s\" refused the message: %s";

// --- results --------------------------------------------------------------------------------

// The EOSError of a library that did not load: "System Error.  Code: <code>.\r\n<text>" with the
// system's code and text; without a code (the POSIX loader gives none) "A call to an OS function
// failed", with the loader's text, when there is one, after ".\r\n".
EOSError LibraryLoadError(unsigned long code, const std::string& text);

// "MAPI Error: (<code>) "<text>"", the message of a result code's EMapiError.
std::string MapiErrorMessage(std::uint32_t code);

// Returns `code` when it is 0 (SUCCESS_SUCCESS), or 1 (MAPI_USER_ABORT) and `ignoreUserAbort`;
// raises EMapiError "MAPI Error: (<code>) "<text>"" with ErrorCode = code otherwise.
std::uint32_t CheckMapiResult(std::uint32_t code, bool ignoreUserAbort);

// The fixed English text of a Simple MAPI result code; empty for 0, 7 and unknown codes.
std::string MapiResultText(std::uint32_t code);

// --- registry and environment helpers -------------------------------------------------------

using platform::RegistryRoot;
using platform::RegistryView;

// True when the key opens with KEY_READ (closed again at once). A leading backslash of `path`
// is skipped.
bool RegistryKeyExists(RegistryRoot root, const std::string& path,
                       RegistryView view = RegistryView::Own);

// The text of a REG_SZ or REG_EXPAND_SZ value (unexpanded), cut at its first zero byte;
// `defaultValue` when the key does not open, the value is missing, has another type or cannot
// be read. An empty `valueName` reads the key's default value.
std::string ReadRegistryString(RegistryRoot root, const std::string& path,
                               const std::string& valueName, const std::string& defaultValue,
                               RegistryView view = RegistryView::Own);

// Empties `list`, then appends the names of the key's direct subkeys in enumeration order.
// True when the key's subkey information could be read. Raises ERegistryError "Unable to open
// key "<path>" for read" when the key does not open.
bool ListSubkeyNames(RegistryRoot root, const std::string& path, std::vector<std::string>& list,
                     RegistryView view = RegistryView::Own);

// Replaces %NAME% references in `text` in place; leaves it unchanged when expansion fails.
void ExpandEnvironment(std::string& text);

// True on the NT family of Windows (and on POSIX); decides the profiles key. Set at start.
extern const bool IsWindowsNtFamily;

// --- the mail client binding ----------------------------------------------------------------

// One registered mail client (a subkey of HKLM\SOFTWARE\Clients\Mail in either registry view).
struct TMapiClient {
  std::string DisplayName;  // the key's default value
  std::string LibraryPath;  // "DLLPath", environment references expanded
  std::string KeyName;      // the subkey name
  bool Usable = false;      // the library loads and exports all twelve entry points
  // The library is of the other bitness (its file's machine type says so) and exports all
  // twelve names: it is reached through the hand-off helper, never loaded here.
  bool OtherBitness = false;
  // The values above come from the registry view of the other bitness (a 32-bit installer's
  // keys as a 64-bit program finds them).
  bool FromOtherView = false;
};

// The twelve Simple MAPI entry points, in the order they are resolved and indexed.
inline constexpr std::size_t kMapiEntryPointCount = 12;
inline constexpr std::array<const char*, kMapiEntryPointCount> kMapiEntryPointNames = {
    "MAPIAddress",     "MAPIDeleteMail", "MAPIDetails",       "MAPIFindNext",
    "MAPIFreeBuffer",  "MAPILogoff",     "MAPILogon",         "MAPIReadMail",
    "MAPIResolveName", "MAPISaveMail",   "MAPISendDocuments", "MAPISendMail"};
enum MapiEntryPoint : std::size_t {
  kMapiAddress,
  kMapiDeleteMail,
  kMapiDetails,
  kMapiFindNext,
  kMapiFreeBuffer,
  kMapiLogoff,
  kMapiLogon,
  kMapiReadMail,
  kMapiResolveName,
  kMapiSaveMail,
  kMapiSendDocuments,
  kMapiSendMail
};

// The all-twelve rule for a library of the other bitness, read from its file: the image is of the
// other bitness's machine and its export table names all twelve entry points.
bool IsOtherBitnessClientImage(const platform::PeImage& image);

// The hand-off helper of the other bitness, beside the running program: "kdxmapi32.exe" beside
// a 64-bit program, "kdxmapi64.exe" beside a 32-bit one. The path is UTF-8, as the file system's.
std::string HandOffHelperName();
std::string HandOffHelperPath();

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

// --- the e-mail object ----------------------------------------------------------------------

// A recipient's role; the value indexes the recipient class sent (MAPI_ORIG .. MAPI_BCC).
enum class RecipientKind : std::uint8_t { Originator = 0, To = 1, Cc = 2, Bcc = 3 };

class TMapiEmailRecip {
 public:
  std::string Address;      // trimmed of characters of code 0-32 at both ends
  std::string AddressType;  // "" uses the list's DefaultAddressType
  RecipientKind Kind = RecipientKind::To;
  std::string Name;  // may be empty
};

// The recipients, in the order they were added. Owns its entries.
class TMapiEmailRecips {
 public:
  // Appends a recipient (address trimmed of characters of code 0-32, the rest as passed) and
  // returns its index. No check of the address is made here.
  std::int32_t AddRecipient(const std::string& address, const std::string& name, RecipientKind kind,
                            const std::string& addressType);
  std::int32_t Count() const { return static_cast<std::int32_t>(Items_.size()); }
  TMapiEmailRecip& operator[](std::int32_t index) { return *Items_.at(index); }
  const TMapiEmailRecip& operator[](std::int32_t index) const { return *Items_.at(index); }
  void Delete(std::int32_t index);
  void Clear() { Items_.clear(); }

  std::string DefaultAddressType = "SMTP";

 private:
  std::vector<std::unique_ptr<TMapiEmailRecip>> Items_;
};

// How the client may log on when no session is open.
enum class LogonSetting : std::uint8_t { ShowLogonUI = 1, NewSession = 2, ForceDownload = 4 };
struct TLogonSettings {
  std::uint8_t bits = 0;
  bool Contains(LogonSetting s) const { return (bits & static_cast<std::uint8_t>(s)) != 0; }
  void Include(LogonSetting s) { bits |= static_cast<std::uint8_t>(s); }
  void Exclude(LogonSetting s) { bits &= static_cast<std::uint8_t>(~static_cast<unsigned>(s)); }
};

// One outgoing e-mail, handed to the mail client by Send.
//
// Send raises ENoMailClient, before anything else is checked or loaded, when CanReachMailClient()
// is false; on Linux also when the bundled provider answers 26 (MAPI_E_NOT_SUPPORTED): its
// compose route found no handler that takes the attachment, and nothing was opened.
//
// Use: construct; Clear(); Recipients.AddRecipient(address, "", RecipientKind::To, "");
// Subject = ...; Attachments.push_back(path); Send(showDialog). Send checks and rewrites the
// attachments to full paths, checks the recipients, only then loads the client library, and
// calls MAPISendMail. It returns true when the client took the message, false when the user
// cancelled in the client, and raises EMapiError / EOSError otherwise. The library stays loaded
// until destruction. When the chosen client is of the other bitness no library is loaded here:
// the same message goes to the hand-off helper (HandOff.h), which makes the call in its own
// process and answers its result; the helper's failures raise EMapiError with ErrorCode 0 and a
// text naming the helper (kHandOff*Format), a helper that ends without an answer included.
class TMapiEmail : public TSimpleMapi {
 public:
  TMapiEmail();
  ~TMapiEmail() override;

  std::vector<std::string> Attachments;  // paths; Send rewrites them to full paths
  std::string Body;
  TLogonSettings LogonSettings;  // {ShowLogonUI}
  TMapiEmailRecips Recipients;
  std::uint32_t SessionHandle = 0;  // no session is ever opened by the program
  std::string Subject;

  // Empties Attachments, Body, Subject and Recipients.
  void Clear();
  bool Send(bool showDialog);
  // The program's main window (owner of the client's dialogs); 0 when there is none.
  platform::WindowHandle ParentWindow() const;
  std::uint32_t MessageFlags(bool showDialog) const;

 protected:
  void PreUnload() override;
};

// The first top-level window of process `processId` that passes IsMainApplicationWindow, in
// enumeration order; 0 when none does.
platform::WindowHandle FindMainWindowOfProcess(unsigned long processId);

// Visible, not owned (owner 0 or the desktop window), and not a tool window unless it is also
// marked as an application window.
bool IsMainApplicationWindow(const platform::TopWindowInfo& window);

}  // namespace kdx::mail
