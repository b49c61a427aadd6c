// The program's side of the hand-off to the helper of the other bitness.

#include "kdx/mail/HandOff.h"
#include "kdx/mail/MailErrors.h"
#include "kdx/platform/ChildProcess.h"
#include "kdx/platform/Text.h"

namespace kdx::mail {

std::uint32_t SendThroughHandOffHelper(const std::string& helperPath, const HandOffRequest& request,
                                       platform::WindowHandle owner) {
  const std::string helper = text::Utf8ToCp1250(helperPath);
  const platform::ChildRun run =
      platform::RunChildProcess(helperPath, EncodeHandOffRequest(request), owner);
  if (!run.started) {
    throw EMapiError(FormatMessage(kHandOffStartFormat, helper, run.startErrorText), 0);
  }
  std::string why;
  const auto reply = DecodeHandOffReply(run.output, &why);
  if (!reply) {
    // Killed, crashed, or something else answered: whatever the client did, the program
    // cannot tell that the message was taken, so it is not reported as sent.
    throw EMapiError(FormatMessage(kHandOffNoAnswerFormat, helper, std::to_string(run.exitCode)),
                     0);
  }
  switch (reply->kind) {
    case HandOffReplyKind::Result:
      return reply->code;
    case HandOffReplyKind::LoadFailed:
      throw LibraryLoadError(reply->code, reply->text);
    case HandOffReplyKind::NotExported:
      throw EMapiError(FormatMessage(kNotExportedFormat, reply->text), 0);
    case HandOffReplyKind::Refused:
      break;
  }
  throw EMapiError(FormatMessage(kHandOffRefusedFormat, helper, reply->text), 0);
}

}  // namespace kdx::mail
