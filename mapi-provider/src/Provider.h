#pragma once
// Inside the provider: the message as the provider understands it, and the two ways out
// (the desktop's compose window, a sendmail-compatible program).

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "kdx/mail/MapiTypes.h"
#include "kdx/platform/ChildProcess.h"

namespace kdx::provider {

struct Recipient {
  KdxMapiUlong recipClass = MAPI_TO;
  std::string address;  // UTF-8, "SMTP:" prefix removed
  std::string name;     // UTF-8 display name; empty when it only repeats the address
};

struct Attachment {
  std::string path;  // native (UTF-8) path
  std::string name;  // UTF-8 name shown to the recipient
};

struct OutgoingMail {
  std::vector<Recipient> recipients;  // originator included (class MAPI_ORIG)
  std::string subject;                // UTF-8
  std::string body;                   // UTF-8
  std::vector<Attachment> attachments;
};

// Checks the Simple MAPI message and converts it: 0, or MAPI_E_FAILURE for a malformed message,
// MAPI_E_BAD_RECIPTYPE for an unknown recipient class, MAPI_E_ATTACHMENT_NOT_FOUND for a missing
// attachment, MAPI_E_ATTACHMENT_OPEN_FAILURE for one that is not a readable file.
KdxMapiUlong ReadMessage(const MapiMessage* message, OutgoingMail& mail);

// Opens the compose window through xdg-email. Returns the Simple MAPI result: MAPI_E_NOT_SUPPORTED,
// without running xdg-email, when the program it would hand the message to drops attachments
// (MailtoHandlerTakesAttachments).
KdxMapiUlong ComposeInMailClient(const OutgoingMail& mail);

// --- the desktop's mailto: handler (MailtoHandler.cpp) -----------------------------------------

// Whether xdg-email hands the attachments of a mailto: URI to a program that takes them. The
// user's explicit choice stands ($MAILER, or an xdg-email-hook.sh on PATH); otherwise the
// mailto: handler that `xdg-mime query default x-scheme-handler/mailto` names decides, by the
// program its .desktop file runs: a mail client that reads them (Thunderbird and Icedove through
// their -compose argument, Evolution, KMail, Claws Mail, Sylpheed, SeaMonkey) takes them; a
// browser, any other program, or no handler at all does not.
bool MailtoHandlerTakesAttachments();

// The program a .desktop file's first Exec line runs (found on PATH unless given with its folder,
// symbolic links resolved, as xdg-email resolves it); empty when it is not found. `desktopFile`
// is a name as xdg-mime gives it ("firefox.desktop"), looked up in the XDG data folders.
std::string DesktopFileProgram(const std::string& desktopFile);

// True when the program at `path` reads the attachments xdg-email hands it (by its base name).
bool ProgramTakesAttachments(const std::string& path);

// Builds the MIME message and streams it to a sendmail-compatible program, every recipient named
// on its command line. Returns the Simple MAPI result; sets `noSendmail` (and returns
// MAPI_E_FAILURE) when no sendmail-compatible program exists.
KdxMapiUlong SubmitToSendmail(const OutgoingMail& mail, bool& noSendmail);

// --- addresses and paths --------------------------------------------------------------------

enum class MailboxUse {
  Header,         // written into a message header and onto sendmail's command line: ASCII only
  ComposeWindow,  // handed to the desktop's mail client: UTF-8 allowed, few special characters
};

// True when `address` is exactly one plain mailbox: one "@", a non-empty local part of
// dot-separated atoms not starting with "|", "/" or "-", and a domain of dot-separated labels.
bool IsPlainMailbox(const std::string& address, MailboxUse use);

bool IsValidUtf8(const std::string& text);

// --- attachments for the compose window (ComposeCopies.cpp) ---------------------------------

// True when every route of xdg-email hands `path` to the mail client as it is: valid UTF-8
// without control characters, backslashes or commas, not ending in a single quote.
bool IsCarriedPath(const std::string& path);

// The attachment paths of one compose window hand-off. Making it removes the copies earlier
// hand-offs left in the same folder that are a week old; its end removes this hand-off's copies
// unless Keep() was called (the mail client reads them when the user sends).
class ComposeAttachments {
 public:
  ComposeAttachments();
  ~ComposeAttachments();
  ComposeAttachments(const ComposeAttachments&) = delete;
  ComposeAttachments& operator=(const ComposeAttachments&) = delete;

  // The file's own path when it is carried as it is, holds the attachment's name and is not a
  // symbolic link, else a copy under that name (what no route carries replaced) in a new
  // private folder (kdx-mail-XXXXXX, mode 0700, in $TMPDIR when that is a folder with a carried
  // path, else /tmp). Empty when the copy failed.
  std::string PathFor(const Attachment& attachment);
  void Keep() { keep_ = true; }

 private:
  std::string base_;
  std::vector<std::string> folders_;
  bool keep_ = false;
};

// --- programs -------------------------------------------------------------------------------

// Programs are found in the absolute entries of $PATH only, then in the folders given
// (platform::FindProgramOnPath); they get platform::ChildEnvironment().

// A started program: its process id and, when asked for, the writing end of its standard input
// and the reading end of its standard output.
using StartedProgram = platform::SpawnedProgram;

// Starts `argv` (argv[0] a full path) without a shell, in the root folder, with ChildEnvironment().
// With `pipeInput` its standard input is a pipe, else it inherits ours; likewise its standard
// output with `pipeOutput`. False when it could not be started.
bool StartProgram(const std::vector<std::string>& argv, bool pipeInput, StartedProgram& started,
                  bool pipeOutput = false);

// Runs `argv` to its end and returns what it wrote to its standard output; nothing when it could
// not be started or did not exit with 0.
std::optional<std::string> RunProgramForOutput(const std::vector<std::string>& argv);

// Waits for a started program: its exit status (0-255), or -1 when it did not exit normally.
int WaitForProgram(pid_t pid);

// The exit status of a started program that has ended (0-255, -1 when it did not exit normally),
// reaping it; nothing while it runs.
std::optional<int> EndedStatus(pid_t pid);

// Starts `argv` with our standard input and waits for it: the exit status, or -1.
int RunProgram(const std::vector<std::string>& argv);

// Runs xdg-email (`argv`) for the compose window: its exit status, or 0 once the mail client has
// taken the message while xdg-email is still running (a client started by xdg-email may keep it
// running until the user quits the client): its compose window shows, another window of it has
// shown for 8 s, or xdg-email has run for 15 s without failing (ComposeHandOff.cpp).
int RunComposeHandOff(const std::vector<std::string>& argv);

}  // namespace kdx::provider
