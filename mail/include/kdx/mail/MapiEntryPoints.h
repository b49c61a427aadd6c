#pragma once
// The twelve exported Simple MAPI entry points of a client library, written once for every
// library that plays one: the Linux provider (libkdxmapi.so), the Windows test client DLLs and
// the test providers. Each entry point forwards to the library's one TMapiLibrary object, which
// answers as the library does. Include this header in exactly one source file of the library,
// which also defines kdx::mail::TheMapiLibrary().
//
// The names, their C linkage and the calling convention (KDX_MAPI_CALL: __stdcall on Windows)
// are those of the system's own MAPI32.DLL. They are exported with KDX_MAPI_EXPORT: by default
// visible on POSIX and __declspec(dllexport) on Windows; a Windows library that names its exports
// in a .def file (the undecorated names of a 32-bit __stdcall library) defines it empty before
// the include. A library playing one that lacks names defines KDX_MAPI_OMIT_<NAME> (for example
// KDX_MAPI_OMIT_READMAIL) for each entry point it must not have.

#include <type_traits>

#include "kdx/mail/MapiTypes.h"

#ifndef KDX_MAPI_EXPORT
#if defined(_WIN32)
#define KDX_MAPI_EXPORT __declspec(dllexport)
#else
#define KDX_MAPI_EXPORT __attribute__((visibility("default")))
#endif
#endif

namespace kdx::mail {

// What the library answers. Unless overridden: logging off and freeing a buffer succeed,
// everything else is MAPI_E_NOT_SUPPORTED.
class TMapiLibrary {
 public:
  virtual ~TMapiLibrary() = default;

  virtual KdxMapiUlong Logon(KdxMapiUlongPtr /*uiParam*/, char* /*profileName*/, char* /*password*/,
                             KdxMapiFlags /*flags*/, KdxMapiUlong /*reserved*/,
                             KdxMapiLhandle* /*session*/) {
    return MAPI_E_NOT_SUPPORTED;
  }
  virtual KdxMapiUlong Logoff(KdxMapiLhandle /*session*/, KdxMapiUlongPtr /*uiParam*/,
                              KdxMapiFlags /*flags*/, KdxMapiUlong /*reserved*/) {
    return SUCCESS_SUCCESS;
  }
  virtual KdxMapiUlong FreeBuffer(void* /*buffer*/) { return SUCCESS_SUCCESS; }
  virtual KdxMapiUlong SendMail(KdxMapiLhandle /*session*/, KdxMapiUlongPtr /*uiParam*/,
                                MapiMessage* /*message*/, KdxMapiFlags /*flags*/,
                                KdxMapiUlong /*reserved*/) {
    return MAPI_E_NOT_SUPPORTED;
  }
};

// The library's one object; defined by the library.
TMapiLibrary& TheMapiLibrary();

}  // namespace kdx::mail

// Each entry point has the type its pointer type in MapiTypes.h gives it.
#define KDX_MAPI_CHECK_TYPE(name, pointerType) \
  static_assert(std::is_same_v<decltype(&name), pointerType>, #name " has another type");

// A name the library does not support at all: the same answer whatever it is given.
#define KDX_MAPI_UNSUPPORTED(name, pointerType, ...)                        \
  extern "C" KDX_MAPI_EXPORT KdxMapiUlong KDX_MAPI_CALL name(__VA_ARGS__) { \
    return MAPI_E_NOT_SUPPORTED;                                            \
  }                                                                         \
  KDX_MAPI_CHECK_TYPE(name, pointerType)

#ifndef KDX_MAPI_OMIT_LOGON
extern "C" KDX_MAPI_EXPORT KdxMapiUlong KDX_MAPI_CALL MAPILogon(KdxMapiUlongPtr uiParam,
                                                                char* profileName, char* password,
                                                                KdxMapiFlags flags,
                                                                KdxMapiUlong reserved,
                                                                KdxMapiLhandle* session) {
  return kdx::mail::TheMapiLibrary().Logon(uiParam, profileName, password, flags, reserved,
                                           session);
}
KDX_MAPI_CHECK_TYPE(MAPILogon, LPMAPILOGON)
#endif
#ifndef KDX_MAPI_OMIT_LOGOFF
extern "C" KDX_MAPI_EXPORT KdxMapiUlong KDX_MAPI_CALL MAPILogoff(KdxMapiLhandle session,
                                                                 KdxMapiUlongPtr uiParam,
                                                                 KdxMapiFlags flags,
                                                                 KdxMapiUlong reserved) {
  return kdx::mail::TheMapiLibrary().Logoff(session, uiParam, flags, reserved);
}
KDX_MAPI_CHECK_TYPE(MAPILogoff, LPMAPILOGOFF)
#endif
#ifndef KDX_MAPI_OMIT_FREEBUFFER
extern "C" KDX_MAPI_EXPORT KdxMapiUlong KDX_MAPI_CALL MAPIFreeBuffer(void* buffer) {
  return kdx::mail::TheMapiLibrary().FreeBuffer(buffer);
}
KDX_MAPI_CHECK_TYPE(MAPIFreeBuffer, LPMAPIFREEBUFFER)
#endif
#ifndef KDX_MAPI_OMIT_SENDMAIL
extern "C" KDX_MAPI_EXPORT KdxMapiUlong KDX_MAPI_CALL MAPISendMail(KdxMapiLhandle session,
                                                                   KdxMapiUlongPtr uiParam,
                                                                   MapiMessage* message,
                                                                   KdxMapiFlags flags,
                                                                   KdxMapiUlong reserved) {
  return kdx::mail::TheMapiLibrary().SendMail(session, uiParam, message, flags, reserved);
}
KDX_MAPI_CHECK_TYPE(MAPISendMail, LPMAPISENDMAIL)
#endif
#ifndef KDX_MAPI_OMIT_ADDRESS
KDX_MAPI_UNSUPPORTED(MAPIAddress, LPMAPIADDRESS, KdxMapiLhandle, KdxMapiUlongPtr, char*,
                     KdxMapiUlong, char*, KdxMapiUlong, MapiRecipDesc*, KdxMapiFlags, KdxMapiUlong,
                     KdxMapiUlong*, MapiRecipDesc**)
#endif
#ifndef KDX_MAPI_OMIT_DELETEMAIL
KDX_MAPI_UNSUPPORTED(MAPIDeleteMail, LPMAPIDELETEMAIL, KdxMapiLhandle, KdxMapiUlongPtr, char*,
                     KdxMapiFlags, KdxMapiUlong)
#endif
#ifndef KDX_MAPI_OMIT_DETAILS
KDX_MAPI_UNSUPPORTED(MAPIDetails, LPMAPIDETAILS, KdxMapiLhandle, KdxMapiUlongPtr, MapiRecipDesc*,
                     KdxMapiFlags, KdxMapiUlong)
#endif
#ifndef KDX_MAPI_OMIT_FINDNEXT
KDX_MAPI_UNSUPPORTED(MAPIFindNext, LPMAPIFINDNEXT, KdxMapiLhandle, KdxMapiUlongPtr, char*, char*,
                     KdxMapiFlags, KdxMapiUlong, char*)
#endif
#ifndef KDX_MAPI_OMIT_READMAIL
KDX_MAPI_UNSUPPORTED(MAPIReadMail, LPMAPIREADMAIL, KdxMapiLhandle, KdxMapiUlongPtr, char*,
                     KdxMapiFlags, KdxMapiUlong, MapiMessage**)
#endif
#ifndef KDX_MAPI_OMIT_RESOLVENAME
KDX_MAPI_UNSUPPORTED(MAPIResolveName, LPMAPIRESOLVENAME, KdxMapiLhandle, KdxMapiUlongPtr, char*,
                     KdxMapiFlags, KdxMapiUlong, MapiRecipDesc**)
#endif
#ifndef KDX_MAPI_OMIT_SAVEMAIL
KDX_MAPI_UNSUPPORTED(MAPISaveMail, LPMAPISAVEMAIL, KdxMapiLhandle, KdxMapiUlongPtr, MapiMessage*,
                     KdxMapiFlags, KdxMapiUlong, char*)
#endif
#ifndef KDX_MAPI_OMIT_SENDDOCUMENTS
KDX_MAPI_UNSUPPORTED(MAPISendDocuments, LPMAPISENDDOCUMENTS, KdxMapiUlongPtr, char*, char*, char*,
                     KdxMapiUlong)
#endif

#undef KDX_MAPI_UNSUPPORTED
#undef KDX_MAPI_CHECK_TYPE
