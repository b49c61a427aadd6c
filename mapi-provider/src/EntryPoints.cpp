// The provider's answers behind the twelve Simple MAPI entry points (kdx/mail/MapiEntryPoints.h).

#include <atomic>
#include <cstdio>

#include "Provider.h"
#include "kdx/mail/MapiEntryPoints.h"

using kdx::provider::OutgoingMail;

namespace {

// The provider: a session for whoever asks, and the message to the compose window or to sendmail.
class TProvider : public kdx::mail::TMapiLibrary {
 public:
  KdxMapiUlong Logon(KdxMapiUlongPtr, char*, char*, KdxMapiFlags, KdxMapiUlong,
                     KdxMapiLhandle* session) override {
    if (!session) return MAPI_E_FAILURE;
    *session = nextSession_++;
    return SUCCESS_SUCCESS;
  }

  KdxMapiUlong SendMail(KdxMapiLhandle, KdxMapiUlongPtr, MapiMessage* message, KdxMapiFlags flags,
                        KdxMapiUlong) override {
    try {
      OutgoingMail mail;
      if (const KdxMapiUlong result = kdx::provider::ReadMessage(message, mail)) return result;
      if (flags & MAPI_DIALOG) return kdx::provider::ComposeInMailClient(mail);
      bool noSendmail = false;
      const KdxMapiUlong result = kdx::provider::SubmitToSendmail(mail, noSendmail);
      if (noSendmail) {
        std::fprintf(stderr,
                     "kdxmapi: no sendmail-compatible program found; opening the compose window\n");
        return kdx::provider::ComposeInMailClient(mail);
      }
      return result;
    } catch (const std::bad_alloc&) {
      return MAPI_E_INSUFFICIENT_MEMORY;
    } catch (...) {
      return MAPI_E_FAILURE;
    }
  }

 private:
  std::atomic<KdxMapiLhandle> nextSession_{1};
};

}  // namespace

kdx::mail::TMapiLibrary& kdx::mail::TheMapiLibrary() {
  static TProvider provider;
  return provider;
}
