// The twelve Simple MAPI entry points of the provider, with C linkage.

#include <atomic>
#include <cstdio>

#include "Provider.h"

#define KDX_EXPORT extern "C" __attribute__((visibility("default")))

using kdx::provider::OutgoingMail;

namespace {
std::atomic<KdxMapiLhandle> nextSession{1};
}  // namespace

KDX_EXPORT KdxMapiUlong MAPILogon(KdxMapiUlongPtr, char*, char*, KdxMapiFlags, KdxMapiUlong,
                                  KdxMapiLhandle* lplhSession) {
  if (!lplhSession) return MAPI_E_FAILURE;
  *lplhSession = nextSession++;
  return SUCCESS_SUCCESS;
}

KDX_EXPORT KdxMapiUlong MAPILogoff(KdxMapiLhandle, KdxMapiUlongPtr, KdxMapiFlags, KdxMapiUlong) {
  return SUCCESS_SUCCESS;
}

KDX_EXPORT KdxMapiUlong MAPIFreeBuffer(void*) {
  return SUCCESS_SUCCESS;
}

KDX_EXPORT KdxMapiUlong MAPISendMail(KdxMapiLhandle, KdxMapiUlongPtr, MapiMessage* lpMessage,
                                     KdxMapiFlags flFlags, KdxMapiUlong) {
  try {
    OutgoingMail mail;
    if (const KdxMapiUlong result = kdx::provider::ReadMessage(lpMessage, mail)) return result;
    if (flFlags & MAPI_DIALOG) return kdx::provider::ComposeInMailClient(mail);
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

KDX_EXPORT KdxMapiUlong MAPIAddress(KdxMapiLhandle, KdxMapiUlongPtr, char*, KdxMapiUlong, char*,
                                    KdxMapiUlong, MapiRecipDesc*, KdxMapiFlags, KdxMapiUlong,
                                    KdxMapiUlong*, MapiRecipDesc**) {
  return MAPI_E_NOT_SUPPORTED;
}

KDX_EXPORT KdxMapiUlong MAPIDeleteMail(KdxMapiLhandle, KdxMapiUlongPtr, char*, KdxMapiFlags,
                                       KdxMapiUlong) {
  return MAPI_E_NOT_SUPPORTED;
}

KDX_EXPORT KdxMapiUlong MAPIDetails(KdxMapiLhandle, KdxMapiUlongPtr, MapiRecipDesc*, KdxMapiFlags,
                                    KdxMapiUlong) {
  return MAPI_E_NOT_SUPPORTED;
}

KDX_EXPORT KdxMapiUlong MAPIFindNext(KdxMapiLhandle, KdxMapiUlongPtr, char*, char*, KdxMapiFlags,
                                     KdxMapiUlong, char*) {
  return MAPI_E_NOT_SUPPORTED;
}

KDX_EXPORT KdxMapiUlong MAPIReadMail(KdxMapiLhandle, KdxMapiUlongPtr, char*, KdxMapiFlags,
                                     KdxMapiUlong, MapiMessage**) {
  return MAPI_E_NOT_SUPPORTED;
}

KDX_EXPORT KdxMapiUlong MAPIResolveName(KdxMapiLhandle, KdxMapiUlongPtr, char*, KdxMapiFlags,
                                        KdxMapiUlong, MapiRecipDesc**) {
  return MAPI_E_NOT_SUPPORTED;
}

KDX_EXPORT KdxMapiUlong MAPISaveMail(KdxMapiLhandle, KdxMapiUlongPtr, MapiMessage*, KdxMapiFlags,
                                     KdxMapiUlong, char*) {
  return MAPI_E_NOT_SUPPORTED;
}

KDX_EXPORT KdxMapiUlong MAPISendDocuments(KdxMapiUlongPtr, char*, char*, char*, KdxMapiUlong) {
  return MAPI_E_NOT_SUPPORTED;
}
