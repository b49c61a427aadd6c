// A Simple MAPI provider for the tests: records what MAPISendMail receives and answers with the
// result the test chose. Built three times: with all twelve entry points, and without one or two
// of them (KDX_OMIT_* defined) to play a client library that lacks names.

#include <cstdio>
#include <cstdlib>

#include "RecordedSend.h"

#if defined(_WIN32)
#define EXPORT extern "C" __declspec(dllexport)
#else
#define EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {
RecordedSend recorder;

#ifdef KDX_MARK_CONSTRUCTOR
// Leaves a file behind when the library's initialisation runs: a usability test must not.
__attribute__((constructor)) void MarkConstructed() {
  if (const char* mark = std::getenv("KDX_TEST_CONSTRUCTED")) std::fclose(std::fopen(mark, "w"));
}
#endif

std::string Copy(const char* text) {
  return text ? std::string(text) : std::string();
}
}  // namespace

EXPORT RecordedSend* KdxTestRecorder() {
  return &recorder;
}

EXPORT KdxMapiUlong KDX_MAPI_CALL MAPISendMail(KdxMapiLhandle session, KdxMapiUlongPtr uiParam,
                                               MapiMessage* message, KdxMapiFlags flags,
                                               KdxMapiUlong reserved) {
  RecordedSend& r = recorder;
  const KdxMapiUlong result = r.result;
  const int calls = r.sendCalls + 1;
  const int logoffs = r.logoffCalls;
  r = RecordedSend{};
  r.result = result;
  r.sendCalls = calls;
  r.logoffCalls = logoffs;
  r.session = session;
  r.uiParam = uiParam;
  r.flags = flags;
  r.reserved = reserved;
  r.messageNull = message == nullptr;
  if (!message) return result;
  r.messageReserved = message->ulReserved;
  r.subjectNull = message->lpszSubject == nullptr;
  r.subject = Copy(message->lpszSubject);
  r.noteNull = message->lpszNoteText == nullptr;
  r.note = Copy(message->lpszNoteText);
  r.messageTypeNull = message->lpszMessageType == nullptr;
  r.dateReceivedNull = message->lpszDateReceived == nullptr;
  r.conversationIdNull = message->lpszConversationID == nullptr;
  r.messageFlags = message->flFlags;
  r.originatorNull = message->lpOriginator == nullptr;
  r.recipCount = message->nRecipCount;
  r.recipsNull = message->lpRecips == nullptr;
  for (KdxMapiUlong i = 0; message->lpRecips && i < message->nRecipCount; ++i) {
    const MapiRecipDesc& d = message->lpRecips[i];
    RecordedRecip rr;
    rr.reserved = d.ulReserved;
    rr.recipClass = d.ulRecipClass;
    rr.nameNull = d.lpszName == nullptr;
    rr.name = Copy(d.lpszName);
    rr.addressNull = d.lpszAddress == nullptr;
    rr.address = Copy(d.lpszAddress);
    rr.eidSize = d.ulEIDSize;
    rr.entryIdNull = d.lpEntryID == nullptr;
    r.recips.push_back(rr);
  }
  r.fileCount = message->nFileCount;
  r.filesNull = message->lpFiles == nullptr;
  for (KdxMapiUlong i = 0; message->lpFiles && i < message->nFileCount; ++i) {
    const MapiFileDesc& d = message->lpFiles[i];
    RecordedFile rf;
    rf.reserved = d.ulReserved;
    rf.flags = d.flFlags;
    rf.position = d.nPosition;
    rf.pathNull = d.lpszPathName == nullptr;
    rf.path = Copy(d.lpszPathName);
    rf.fileNameNull = d.lpszFileName == nullptr;
    rf.fileName = Copy(d.lpszFileName);
    rf.fileTypeNull = d.lpFileType == nullptr;
    r.files.push_back(rf);
  }
  return result;
}

EXPORT KdxMapiUlong KDX_MAPI_CALL MAPILogoff(KdxMapiLhandle, KdxMapiUlongPtr, KdxMapiFlags,
                                             KdxMapiUlong) {
  ++recorder.logoffCalls;
  return SUCCESS_SUCCESS;
}

EXPORT KdxMapiUlong KDX_MAPI_CALL MAPILogon(KdxMapiUlongPtr, char*, char*, KdxMapiFlags,
                                            KdxMapiUlong, KdxMapiLhandle* session) {
  if (session) *session = 7;
  return SUCCESS_SUCCESS;
}

EXPORT KdxMapiUlong KDX_MAPI_CALL MAPIFreeBuffer(void*) {
  return SUCCESS_SUCCESS;
}

#define NOT_SUPPORTED(name)                  \
  EXPORT KdxMapiUlong KDX_MAPI_CALL name() { \
    return MAPI_E_NOT_SUPPORTED;             \
  }
NOT_SUPPORTED(MAPIAddress)
NOT_SUPPORTED(MAPIDeleteMail)
#ifndef KDX_OMIT_DETAILS
NOT_SUPPORTED(MAPIDetails)
#endif
NOT_SUPPORTED(MAPIFindNext)
#ifndef KDX_OMIT_READMAIL
NOT_SUPPORTED(MAPIReadMail)
#endif
NOT_SUPPORTED(MAPIResolveName)
#ifndef KDX_OMIT_SAVEMAIL
NOT_SUPPORTED(MAPISaveMail)
#endif
NOT_SUPPORTED(MAPISendDocuments)
