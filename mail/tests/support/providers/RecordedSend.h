#pragma once
// What the test provider libraries saw of a MAPISendMail call: a deep copy of the structures,
// with null pointers kept apart from empty texts.

#include <string>
#include <vector>

#include "kdx/mail/MapiTypes.h"

struct RecordedRecip {
  KdxMapiUlong reserved = 99;
  KdxMapiUlong recipClass = 99;
  bool nameNull = true;
  std::string name;
  bool addressNull = true;
  std::string address;
  KdxMapiUlong eidSize = 99;
  bool entryIdNull = false;
};

struct RecordedFile {
  KdxMapiUlong reserved = 99;
  KdxMapiUlong flags = 99;
  KdxMapiUlong position = 0;
  bool pathNull = true;
  std::string path;
  bool fileNameNull = false;
  std::string fileName;
  bool fileTypeNull = false;
};

struct RecordedSend {
  int sendCalls = 0;
  int logoffCalls = 0;
  KdxMapiLhandle session = 0;
  KdxMapiUlongPtr uiParam = 0;
  KdxMapiFlags flags = 0;
  KdxMapiUlong reserved = 99;
  bool messageNull = true;
  KdxMapiUlong messageReserved = 99;
  bool subjectNull = true;
  std::string subject;
  bool noteNull = true;
  std::string note;
  bool messageTypeNull = false;
  bool dateReceivedNull = false;
  bool conversationIdNull = false;
  KdxMapiFlags messageFlags = 99;
  bool originatorNull = false;
  KdxMapiUlong recipCount = 99;
  bool recipsNull = false;
  std::vector<RecordedRecip> recips;
  KdxMapiUlong fileCount = 99;
  bool filesNull = false;
  std::vector<RecordedFile> files;
  // What MAPISendMail answers.
  KdxMapiUlong result = SUCCESS_SUCCESS;
};

// Exported by every test provider: its one recorder.
extern "C" {
typedef RecordedSend* (*KdxTestRecorderFn)();
}
