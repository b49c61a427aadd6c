// The hand-off helper of the other bitness (kdxmapi32.exe beside a 64-bit program, kdxmapi64.exe
// beside a 32-bit one). It reads one request (kdx/mail/HandOff.h) from its standard input, loads
// the Simple MAPI library it names as the program itself would (LoadLibraryA, all twelve entry
// points resolved), makes the one MAPISendMail call in its own process and writes the answer to
// its standard output. It takes no arguments and reads nothing else; a request that is not one
// whole valid message is refused without loading anything.
//
// Exit code: 0 when an answer was written (whatever the call returned), 1 when not even that
// could be done.

#include <windows.h>

#include <array>
#include <string>
#include <vector>

#include "kdx/mail/HandOff.h"
#include "kdx/mail/MapiClient.h"
#include "kdx/mail/MapiTypes.h"
#include "kdx/platform/Library.h"

using namespace kdx::mail;

namespace {

// The request: everything up to the end of the standard input, never more than a message may be.
std::string ReadRequest() {
  const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  std::string bytes;
  char buffer[65536];
  DWORD n = 0;
  while (bytes.size() <= kHandOffMaxMessage && ReadFile(in, buffer, sizeof buffer, &n, nullptr) &&
         n > 0) {
    bytes.append(buffer, n);
  }
  return bytes;
}

bool Answer(HandOffReplyKind kind, std::uint32_t code, const std::string& text) {
  const std::string bytes = EncodeHandOffReply({kind, code, text});
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD n = 0;
    if (!WriteFile(out, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &n,
                   nullptr) ||
        n == 0) {
      return false;
    }
    done += n;
  }
  return true;
}

char* Text(std::string& s) {
  return s.data();
}

std::uint32_t Send(void* sendMailAddress, HandOffRequest& request) {
  std::vector<MapiRecipDesc> recips(request.recipients.size());
  for (std::size_t i = 0; i < recips.size(); ++i) {
    HandOffRecipient& r = request.recipients[i];
    recips[i] = {0, r.recipClass, Text(r.name), r.address ? Text(*r.address) : nullptr, 0, nullptr};
  }
  std::vector<MapiFileDesc> files(request.files.size());
  for (std::size_t i = 0; i < files.size(); ++i) {
    HandOffFile& f = request.files[i];
    files[i] = {0, f.flags, f.position, Text(f.path), f.name ? Text(*f.name) : nullptr, nullptr};
  }
  MapiMessage message{};
  message.lpszSubject = Text(request.subject);
  message.lpszNoteText = Text(request.noteText);
  message.nRecipCount = static_cast<KdxMapiUlong>(recips.size());
  message.lpRecips = recips.empty() ? nullptr : recips.data();
  message.nFileCount = static_cast<KdxMapiUlong>(files.size());
  message.lpFiles = files.empty() ? nullptr : files.data();
  auto sendMail = reinterpret_cast<LPMAPISENDMAIL>(sendMailAddress);
  // The parent window is the program's, whatever this process's pointer width: window handles
  // are the same 32 significant bits in processes of either bitness.
  return sendMail(0, static_cast<KdxMapiUlongPtr>(request.parentWindow), &message, request.flags,
                  0);
}

}  // namespace

int main() {
  std::string why;
  auto request = DecodeHandOffRequest(ReadRequest(), &why);
  if (!request) return Answer(HandOffReplyKind::Refused, 0, why) ? 0 : 1;

  kdx::platform::LibraryError error;
  kdx::platform::LibraryHandle library = kdx::platform::LoadLibraryByName(request->library, &error);
  if (!library) {
    return Answer(HandOffReplyKind::LoadFailed, static_cast<std::uint32_t>(error.code), error.text)
               ? 0
               : 1;
  }
  std::array<void*, kMapiEntryPointCount> entryPoints{};
  for (std::size_t i = 0; i < kMapiEntryPointCount; ++i) {
    entryPoints[i] = kdx::platform::ResolveFunction(library, kMapiEntryPointNames[i]);
    if (!entryPoints[i]) {
      kdx::platform::FreeLibraryHandle(library);
      return Answer(HandOffReplyKind::NotExported, 0, kMapiEntryPointNames[i]) ? 0 : 1;
    }
  }
  const std::uint32_t result = Send(entryPoints[kMapiSendMail], *request);
  const bool answered = Answer(HandOffReplyKind::Result, result, "");
  kdx::platform::FreeLibraryHandle(library);
  return answered ? 0 : 1;
}
