// A Simple MAPI provider for the tests: records what MAPISendMail receives and answers with the
// result the test chose. Built several times: with all twelve entry points, and without one or
// two of them (KDX_MAPI_OMIT_* defined) to play a client library that lacks names.

#include <cstdio>
#include <cstdlib>

#include "RecordedSend.h"
#include "kdx/mail/MapiEntryPoints.h"

namespace {

#ifdef KDX_MARK_CONSTRUCTOR
// Leaves a file behind when the library's initialisation runs: a usability test must not.
__attribute__((constructor)) void MarkConstructed() {
  if (const char* mark = std::getenv("KDX_TEST_CONSTRUCTED")) std::fclose(std::fopen(mark, "w"));
}
#endif

// A text as received: whether the pointer was null, and its bytes.
void Copy(const char* text, bool& isNull, std::string& copy) {
  isNull = text == nullptr;
  copy = text ? std::string(text) : std::string();
}

RecordedRecip Record(const MapiRecipDesc& d) {
  RecordedRecip r;
  r.reserved = d.ulReserved;
  r.recipClass = d.ulRecipClass;
  Copy(d.lpszName, r.nameNull, r.name);
  Copy(d.lpszAddress, r.addressNull, r.address);
  r.eidSize = d.ulEIDSize;
  r.entryIdNull = d.lpEntryID == nullptr;
  return r;
}

RecordedFile Record(const MapiFileDesc& d) {
  RecordedFile f;
  f.reserved = d.ulReserved;
  f.flags = d.flFlags;
  f.position = d.nPosition;
  Copy(d.lpszPathName, f.pathNull, f.path);
  Copy(d.lpszFileName, f.fileNameNull, f.fileName);
  f.fileTypeNull = d.lpFileType == nullptr;
  return f;
}

class TRecordingProvider : public kdx::mail::TMapiLibrary {
 public:
  KdxMapiUlong Logon(KdxMapiUlongPtr, char*, char*, KdxMapiFlags, KdxMapiUlong,
                     KdxMapiLhandle* session) override {
    if (session) *session = 7;
    return SUCCESS_SUCCESS;
  }

  KdxMapiUlong Logoff(KdxMapiLhandle, KdxMapiUlongPtr, KdxMapiFlags, KdxMapiUlong) override {
    ++recorder.logoffCalls;
    return SUCCESS_SUCCESS;
  }

  KdxMapiUlong SendMail(KdxMapiLhandle session, KdxMapiUlongPtr uiParam, MapiMessage* message,
                        KdxMapiFlags flags, KdxMapiUlong reserved) override {
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
    Copy(message->lpszSubject, r.subjectNull, r.subject);
    Copy(message->lpszNoteText, r.noteNull, r.note);
    r.messageTypeNull = message->lpszMessageType == nullptr;
    r.dateReceivedNull = message->lpszDateReceived == nullptr;
    r.conversationIdNull = message->lpszConversationID == nullptr;
    r.messageFlags = message->flFlags;
    r.originatorNull = message->lpOriginator == nullptr;
    r.recipCount = message->nRecipCount;
    r.recipsNull = message->lpRecips == nullptr;
    for (KdxMapiUlong i = 0; message->lpRecips && i < message->nRecipCount; ++i) {
      r.recips.push_back(Record(message->lpRecips[i]));
    }
    r.fileCount = message->nFileCount;
    r.filesNull = message->lpFiles == nullptr;
    for (KdxMapiUlong i = 0; message->lpFiles && i < message->nFileCount; ++i) {
      r.files.push_back(Record(message->lpFiles[i]));
    }
    return result;
  }

  RecordedSend recorder;
};

TRecordingProvider provider;

}  // namespace

kdx::mail::TMapiLibrary& kdx::mail::TheMapiLibrary() {
  return provider;
}

extern "C" KDX_MAPI_EXPORT RecordedSend* KdxTestRecorder() {
  return &provider.recorder;
}
