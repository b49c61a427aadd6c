#pragma once
// One outgoing e-mail (TMapiEmail) with its recipients, handed to the mail client that
// TSimpleMapi found. Texts are 8-bit cp1250.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kdx/mail/SimpleMapi.h"
#include "kdx/platform/TopWindows.h"

namespace kdx::mail {

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

}  // namespace kdx::mail
