// TMapiEmail: one outgoing e-mail, its Simple MAPI descriptors and the send call.

#include "kdx/mail/MapiEmail.h"

#include <memory>

#include "kdx/mail/HandOff.h"
#include "kdx/mail/MapiTypes.h"
#include "kdx/mail/OwnerWindow.h"
#include "kdx/platform/Environment.h"
#include "kdx/platform/Path.h"
#include "kdx/platform/PathSearch.h"
#include "kdx/platform/Text.h"

namespace kdx::mail {

namespace {

// Recipient class sent for each RecipientKind.
constexpr KdxMapiUlong kRecipClass[4] = {MAPI_ORIG, MAPI_TO, MAPI_CC, MAPI_BCC};

char* Text(std::string& s) {
  return s.data();
}

}  // namespace

// --- TMapiEmailRecips -----------------------------------------------------------------------

std::int32_t TMapiEmailRecips::AddRecipient(const std::string& address, const std::string& name,
                                            RecipientKind kind, const std::string& addressType) {
  auto recip = std::make_unique<TMapiEmailRecip>();
  recip->Address = text::TrimControls(address);
  recip->AddressType = addressType;
  recip->Kind = kind;
  recip->Name = name;
  Items_.push_back(std::move(recip));
  return static_cast<std::int32_t>(Items_.size() - 1);
}

void TMapiEmailRecips::Delete(std::int32_t index) {
  (void)Items_.at(index);
  Items_.erase(Items_.begin() + index);
}

// --- TMapiEmail -----------------------------------------------------------------------------

TMapiEmail::TMapiEmail() {
  LogonSettings.Include(LogonSetting::ShowLogonUI);
}

TMapiEmail::~TMapiEmail() {
  // Unload here, while this class's PreUnload is still the one that runs.
  try {
    UnloadClientLibrary();
  } catch (...) {
    // A destructor must not raise; the library is released all the same.
  }
}

void TMapiEmail::Clear() {
  Attachments.clear();
  Body.clear();
  Subject.clear();
  Recipients.Clear();
}

std::uint32_t TMapiEmail::MessageFlags(bool showDialog) const {
  std::uint32_t flags = 0;
  if (SessionHandle == 0) {
    if (LogonSettings.Contains(LogonSetting::ShowLogonUI)) flags |= MAPI_LOGON_UI;
    if (LogonSettings.Contains(LogonSetting::NewSession)) flags |= MAPI_NEW_SESSION;
    if (LogonSettings.Contains(LogonSetting::ForceDownload)) flags |= MAPI_FORCE_DOWNLOAD;
  }
  if (showDialog) flags |= MAPI_DIALOG;
  return flags;
}

platform::WindowHandle TMapiEmail::ParentWindow() const {
  return FindMainWindowOfProcess(platform::CurrentProcessId());
}

void TMapiEmail::PreUnload() {
  // A library released half-resolved (a missing name) may have no MAPILogoff to call.
  auto logoff = reinterpret_cast<LPMAPILOGOFF>(EntryPoints()[kMapiLogoff]);
  if (SessionHandle != 0 && logoff) {
    const std::uint32_t result = logoff(SessionHandle, ParentWindow(), 0, 0);
    SessionHandle = 0;
    CheckMapiResult(result, true);
  }
  TSimpleMapi::PreUnload();
}

bool TMapiEmail::Send(bool showDialog) {
  if (!CanReachMailClient()) throw ENoMailClient(kNoMapiClientText, 0);

  // Attachments: each is replaced by its full path, and that path must exist: the file checked
  // is the file the client is given.
  std::vector<MapiFileDesc> files(Attachments.size());
  for (std::size_t i = 0; i < Attachments.size(); ++i) {
    // Attachment paths are cp1250, as the client gets them; the file system's are UTF-8.
    const std::string given = text::Cp1250ToUtf8(Attachments[i]);
    const std::string fullNative = platform::ExpandFullPath(given);
    if (!platform::FileExistsBySearch(fullNative)) {
      CheckMapiResult(MAPI_E_ATTACHMENT_NOT_FOUND, false);
    }
    bool lossless = false;
    const std::string full = text::Utf8ToCp1250(fullNative, &lossless);
    if (!lossless && !platform::IsFullPath(given)) {
      throw EMapiError(FormatMessage(kAttachmentPathFormat, Attachments[i]), 0);
    }
    // Where a link leads into a folder whose name cp1250 cannot spell, the full path as given
    // stays: it names the same file to the client, which reads it as the system does.
    if (lossless) Attachments[i] = full;
  }
  for (std::size_t i = 0; i < Attachments.size(); ++i) {
    MapiFileDesc& file = files[i];
    file.ulReserved = 0;
    file.flFlags = 0;
    file.nPosition = 0xFFFFFFFFu;
    file.lpszPathName = Text(Attachments[i]);
    file.lpszFileName = nullptr;
    file.lpFileType = nullptr;
  }

  // Recipients.
  if (Recipients.Count() == 0 && !showDialog) CheckMapiResult(MAPI_E_INVALID_RECIPS, false);
  const auto count = static_cast<std::size_t>(Recipients.Count());
  std::vector<MapiRecipDesc> recips(count);
  std::vector<std::string> names(count);
  std::vector<std::string> addresses(count);
  for (std::size_t i = 0; i < count; ++i) {
    const TMapiEmailRecip& recip = Recipients[static_cast<std::int32_t>(i)];
    if (recip.Name.empty() && recip.Address.empty()) {
      CheckMapiResult(MAPI_E_INVALID_RECIPS, false);
    }
    names[i] = recip.Name.empty() ? recip.Address : recip.Name;
    if (!recip.AddressType.empty()) {
      addresses[i] = recip.AddressType + ":" + recip.Address;
    } else if (!Recipients.DefaultAddressType.empty()) {
      addresses[i] = Recipients.DefaultAddressType + ":" + recip.Address;
    } else {
      addresses[i] = recip.Address;
    }
    MapiRecipDesc& desc = recips[i];
    desc.ulReserved = 0;
    const auto kind = static_cast<std::size_t>(recip.Kind);
    desc.ulRecipClass = kind < 4 ? kRecipClass[kind] : static_cast<KdxMapiUlong>(kind);
    desc.lpszName = Text(names[i]);
    desc.lpszAddress = addresses[i].empty() ? nullptr : Text(addresses[i]);
    desc.ulEIDSize = 0;
    desc.lpEntryID = nullptr;
  }

  if (ChosenLibraryIsOtherBitness()) {
    // The same descriptors, field by field, to the helper of the client's bitness.
    HandOffRequest request;
    request.library = ClientLibraryPath();
    request.parentWindow = ParentWindow();
    request.flags = MessageFlags(showDialog);
    request.subject = Subject;
    request.noteText = Body;
    for (const MapiRecipDesc& desc : recips) {
      request.recipients.push_back(
          {desc.ulRecipClass, desc.lpszName,
           desc.lpszAddress ? std::optional<std::string>(desc.lpszAddress) : std::nullopt});
    }
    for (const MapiFileDesc& file : files) {
      request.files.push_back({file.flFlags, file.nPosition, file.lpszPathName, std::nullopt});
    }
    const auto owner = static_cast<platform::WindowHandle>(request.parentWindow);
    return CheckMapiResult(SendThroughHandOffHelper(HandOffHelperPath(), request, owner), true) ==
           SUCCESS_SUCCESS;
  }

  LoadClientLibrary();

  // Empty subject and body go as empty texts, never as null.
  std::string subject = Subject;
  std::string body = Body;
  MapiMessage message{};
  message.ulReserved = 0;
  message.lpszSubject = Text(subject);
  message.lpszNoteText = Text(body);
  message.lpszMessageType = nullptr;
  message.lpszDateReceived = nullptr;
  message.lpszConversationID = nullptr;
  message.flFlags = 0;
  message.lpOriginator = nullptr;
  message.nRecipCount = static_cast<KdxMapiUlong>(count);
  message.lpRecips = count ? recips.data() : nullptr;
  message.nFileCount = static_cast<KdxMapiUlong>(files.size());
  message.lpFiles = files.empty() ? nullptr : files.data();

  const std::uint32_t flags = MessageFlags(showDialog);
  auto sendMail = reinterpret_cast<LPMAPISENDMAIL>(EntryPoints()[kMapiSendMail]);
  const std::uint32_t result = sendMail(SessionHandle, ParentWindow(), &message, flags, 0);
#ifndef _WIN32
  // The bundled provider answers "not supported" only when the desktop has no mail client that
  // takes the attachment; it has opened nothing.
  if (result == MAPI_E_NOT_SUPPORTED) throw ENoMailClient(MapiErrorMessage(result), result);
#endif
  return CheckMapiResult(result, true) == SUCCESS_SUCCESS;
}

// --- the owner window -----------------------------------------------------------------------

bool IsMainApplicationWindow(const platform::TopWindowInfo& window) {
  if (!window.visible) return false;
  if (window.owner != 0 && window.owner != platform::DesktopWindow()) return false;
  return (window.exStyle & platform::kWsExToolWindow) == 0 ||
         (window.exStyle & platform::kWsExAppWindow) != 0;
}

platform::WindowHandle FindMainWindowOfProcess(unsigned long processId) {
  for (const platform::TopWindowInfo& window : platform::ListTopWindows()) {
    if (window.processId == processId && IsMainApplicationWindow(window)) return window.handle;
  }
  return 0;
}

}  // namespace kdx::mail
