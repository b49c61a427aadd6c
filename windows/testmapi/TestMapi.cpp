// A Simple MAPI client library for the Windows tests. It exports the twelve entry points (or,
// linked with testmapi11.def, all but "MAPIResolveName"), records every MAPISendMail call it
// receives into the file named by the process environment variable KDX_TESTMAPI_RECORD and
// answers with the code in KDX_TESTMAPI_RESULT (0 when unset). Loading it normally (so that its
// initialisation runs) sets KDX_TESTMAPI_ATTACHED=1 in the process environment, which tells a
// test whether a load ran the library's initialisation.
//
// Record format, one line per item, texts as hexadecimal bytes so that every byte survives,
// "-" for a null pointer:
//   call=MAPISendMail session=<n> uiparam=<n> flags=<n> reserved=<n> bits=<32|64>
//        ownerenabled=<1|0|-1>   (the parent window enabled, disabled, or no window)
//   message reserved=<n> flags=<n> recips=<n> files=<n> originator=<-|set>
//   subject=<hex>  note=<hex>  type=<hex>  date=<hex>  conversation=<hex>
//   recip class=<n> name=<hex> address=<hex> eidsize=<n> eid=<-|set> reserved=<n>
//   file reserved=<n> flags=<n> position=<n> path=<hex> name=<hex> type=<-|set>
//   recips=<-|set> files=<-|set>   (the two array pointers of the message)
//   end
//
// With KDX_TESTMAPI_COMPOSE=1 in the environment and MAPI_DIALOG in the flags, MAPISendMail
// first shows a compose window as a mail client does (class "KdxTestCompose", caption
// "KDX test compose", owned by the window of ulUIParam, which stays disabled meanwhile) and
// returns when the user closes it with a click or a key; then it records and answers.
//
// Built with KDX_TESTMAPI_NEEDS_ABSENT it imports a function of kdxabsent.dll, which the build
// keeps out of every search path, so that it can be inspected but not loaded for use.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

// The exports are named by the .def files (undecorated also in a 32-bit library).
#define KDX_MAPI_EXPORT
#include "kdx/mail/MapiEntryPoints.h"

#ifdef KDX_TESTMAPI_NEEDS_ABSENT
extern "C" __declspec(dllimport) int KdxAbsentFunction();
#endif

namespace {

std::string Hex(const char* text) {
  if (!text) return "-";
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
    out += digits[*p >> 4];
    out += digits[*p & 15];
  }
  return out.empty() ? std::string("\"\"") : out;
}

std::string Env(const char* name) {
  char buffer[1024];
  const DWORD n = GetEnvironmentVariableA(name, buffer, sizeof buffer);
  return n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string();
}

void Record(KdxMapiLhandle session, KdxMapiUlongPtr uiParam, const MapiMessage* m,
            KdxMapiFlags flags, KdxMapiUlong reserved) {
  const std::string path = Env("KDX_TESTMAPI_RECORD");
  if (path.empty()) return;
  FILE* f = std::fopen(path.c_str(), "ab");
  if (!f) return;
  // Beside the arguments: the width of the process the library runs in, and whether the window
  // named as the parent was enabled during the call (-1: no window).
  const HWND owner = reinterpret_cast<HWND>(uiParam);
  std::fprintf(f,
               "call=MAPISendMail session=%llu uiparam=%llu flags=%lu reserved=%lu bits=%u "
               "ownerenabled=%d\n",
               static_cast<unsigned long long>(session), static_cast<unsigned long long>(uiParam),
               static_cast<unsigned long>(flags), static_cast<unsigned long>(reserved),
               static_cast<unsigned>(sizeof(void*) * 8),
               owner && IsWindow(owner) ? (IsWindowEnabled(owner) ? 1 : 0) : -1);
  if (m) {
    std::fprintf(f, "message reserved=%lu flags=%lu recips=%lu files=%lu originator=%s\n",
                 static_cast<unsigned long>(m->ulReserved), static_cast<unsigned long>(m->flFlags),
                 static_cast<unsigned long>(m->nRecipCount),
                 static_cast<unsigned long>(m->nFileCount), m->lpOriginator ? "set" : "-");
    std::fprintf(f, "subject=%s\nnote=%s\ntype=%s\ndate=%s\nconversation=%s\n",
                 Hex(m->lpszSubject).c_str(), Hex(m->lpszNoteText).c_str(),
                 Hex(m->lpszMessageType).c_str(), Hex(m->lpszDateReceived).c_str(),
                 Hex(m->lpszConversationID).c_str());
    std::fprintf(f, "recips=%s files=%s\n", m->lpRecips ? "set" : "-", m->lpFiles ? "set" : "-");
    for (KdxMapiUlong i = 0; m->lpRecips && i < m->nRecipCount; ++i) {
      const MapiRecipDesc& r = m->lpRecips[i];
      std::fprintf(f, "recip class=%lu name=%s address=%s eidsize=%lu eid=%s reserved=%lu\n",
                   static_cast<unsigned long>(r.ulRecipClass), Hex(r.lpszName).c_str(),
                   Hex(r.lpszAddress).c_str(), static_cast<unsigned long>(r.ulEIDSize),
                   r.lpEntryID ? "set" : "-", static_cast<unsigned long>(r.ulReserved));
    }
    for (KdxMapiUlong i = 0; m->lpFiles && i < m->nFileCount; ++i) {
      const MapiFileDesc& d = m->lpFiles[i];
      std::fprintf(f, "file reserved=%lu flags=%lu position=%lu path=%s name=%s type=%s\n",
                   static_cast<unsigned long>(d.ulReserved), static_cast<unsigned long>(d.flFlags),
                   static_cast<unsigned long>(d.nPosition), Hex(d.lpszPathName).c_str(),
                   Hex(d.lpszFileName).c_str(), d.lpFileType ? "set" : "-");
    }
  }
  std::fprintf(f, "end\n");
  std::fclose(f);
}

LRESULT CALLBACK ComposeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_LBUTTONUP:
    case WM_KEYDOWN:
      DestroyWindow(window);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      const char text[] = "KDX test compose: click to send";
      TextOutA(dc, 10, 10, text, sizeof text - 1);
      EndPaint(window, &paint);
      return 0;
    }
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

// The compose window, modal to `owner` as a mail client's is, until the user closes it.
void Compose(HWND owner) {
  WNDCLASSA cls{};
  cls.lpfnWndProc = ComposeProc;
  cls.hInstance = GetModuleHandleA(nullptr);
  cls.hCursor = LoadCursor(nullptr, IDC_ARROW);
  cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  cls.lpszClassName = "KdxTestCompose";
  RegisterClassA(&cls);
  const bool ownerEnabled = owner && IsWindowEnabled(owner);
  HWND window =
      CreateWindowExA(0, "KdxTestCompose", "KDX test compose", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                      200, 200, 400, 250, owner, nullptr, cls.hInstance, nullptr);
  if (!window) return;
  if (owner) EnableWindow(owner, FALSE);
  SetForegroundWindow(window);
  MSG msg;
  while (IsWindow(window) && GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  if (ownerEnabled) EnableWindow(owner, TRUE);
}

// Sends are recorded and answered as the environment says; the rest answers as a client that
// only sends.
class TTestClient : public kdx::mail::TMapiLibrary {
 public:
  KdxMapiUlong SendMail(KdxMapiLhandle session, KdxMapiUlongPtr uiParam, MapiMessage* message,
                        KdxMapiFlags flags, KdxMapiUlong reserved) override {
#ifdef KDX_TESTMAPI_NEEDS_ABSENT
    if (KdxAbsentFunction() != 0) return MAPI_E_FAILURE;
#endif
    if ((flags & MAPI_DIALOG) && Env("KDX_TESTMAPI_COMPOSE") == "1")
      Compose(reinterpret_cast<HWND>(uiParam));
    Record(session, uiParam, message, flags, reserved);
    return static_cast<KdxMapiUlong>(std::strtoul(Env("KDX_TESTMAPI_RESULT").c_str(), nullptr, 10));
  }
};

}  // namespace

kdx::mail::TMapiLibrary& kdx::mail::TheMapiLibrary() {
  static TTestClient client;
  return client;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) SetEnvironmentVariableA("KDX_TESTMAPI_ATTACHED", "1");
  return TRUE;
}
