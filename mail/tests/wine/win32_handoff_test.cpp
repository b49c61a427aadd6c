// A mail client of the other bitness, under Wine's WoW64: the 64-bit program finds the 32-bit
// recording client (registered by the fixture in the 32-bit view only, and in both views), hands
// the message to kdxmapi32.exe, and the client receives exactly what an in-process call would
// give it; the program's window is the owner and is disabled while the call runs. Then every way
// the helper can fail: missing, crashing, answering half, refusing what is not a request.

#include <windows.h>
#include <gtest/gtest.h>

#include "MailTestSupport.h"
#include "WineTestSupport.h"
#include "kdx/mail/HandOff.h"
#include "kdx/mail/MapiEmail.h"
#include "kdx/mail/MapiTypes.h"
#include "kdx/platform/ChildProcess.h"
#include "kdx/platform/Files.h"
#include "kdx/platform/Text.h"

using namespace kdx::mail;
using namespace kdx::test;
using namespace kdx::wintest;
using kdx::mail::test::RaisesMapiError;

namespace {

// What starts no 32-bit process: the helper's failures, staged by a 64-bit stand-in.
class Win32HandOffFailures : public ::testing::Test {
 protected:
  void SetUp() override { ExportTestMapiDir(); }
};

class Win32HandOff : public Win32HandOffFailures {
 protected:
  void SetUp() override {
    // Set by the Windows stage when Wine runs no 32-bit programs (wine64 without wine32, or a
    // machine that runs none); the stage names what this leaves out.
    if (GetEnv("KDX_WINE_NO_32BIT")) GTEST_SKIP() << "this Wine runs no 32-bit programs";
    Win32HandOffFailures::SetUp();
  }
};

// A visible top-level window of this process: the program's main window as ParentWindow finds it.
class MainWindow {
 public:
  MainWindow() {
    handle_ = CreateWindowExW(0, L"STATIC", L"KDX manager", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10,
                              10, 300, 200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  }
  ~MainWindow() { DestroyWindow(handle_); }
  HWND handle() const { return handle_; }

 private:
  HWND handle_;
};

HandOffRequest Request(const std::string& library) {
  HandOffRequest request;
  request.library = library;
  request.flags = MAPI_LOGON_UI;
  request.recipients.push_back({MAPI_TO, "jan.novak@example.cz", "SMTP:jan.novak@example.cz"});
  return request;
}

std::string HelperPath() {
  return HandOffHelperPath();
}

}  // namespace

TEST_F(Win32HandOff, A32BitClientGetsTheMessageThroughTheHelper) {
  for (const char* key : {"KDX Test 32", "KDX Test Both"}) {
    SCOPED_TRACE(key);
    ClientLibrary client(key);
    TempDir folder;
    const std::string file = folder.WriteFile("POB1_PB.KDX", "data");
    const std::string record = folder / "record.txt";
    ScopedEnv recordEnv("KDX_TESTMAPI_RECORD", record);
    ScopedEnv resultEnv("KDX_TESTMAPI_RESULT", std::nullopt);
    MainWindow window;
    ASSERT_TRUE(window.handle());

    TMapiEmail mail;
    ASSERT_TRUE(mail.ChosenLibraryIsOtherBitness());
    EXPECT_EQ(mail.ClientLibraryPath(), TestMapi32Dir() + "\\kdxtestmapi12.dll");
    EXPECT_EQ(mail.ParentWindow(), reinterpret_cast<kdx::platform::WindowHandle>(window.handle()));
    mail.Recipients.AddRecipient(" jan.novak@example.cz ", "", RecipientKind::To, "");
    mail.Recipients.AddRecipient("eva@example.cz", Cp("Účetní"), RecipientKind::Bcc, "");
    mail.Subject = Cp("Přenosový soubor Velkor ze dne 08.12.2026");
    mail.Body = Cp("Dobrý den,\r\n\"soubor\" %s v příloze.");
    mail.Attachments.push_back(file);
    EXPECT_TRUE(mail.Send(true));
    EXPECT_TRUE(mail.Send(false));
    EXPECT_FALSE(mail.IsClientLibraryLoaded()) << "nothing of the client is loaded here";
    EXPECT_EQ(GetModuleHandleA("kdxtestmapi12.dll"), nullptr);
    EXPECT_TRUE(IsWindowEnabled(window.handle())) << "the owner is enabled again";

    const auto sends = SendActionCalls(ReadFile(record), mail.ParentWindow());
    ASSERT_EQ(sends.size(), 2u);
    for (const RecordedSend& s : sends) {
      EXPECT_EQ(s.call.at("bits"), "32");
      EXPECT_EQ(s.call.at("ownerenabled"), "0") << "the owner is disabled during the call";
      EXPECT_EQ(s.message.at("originator"), "-");
      EXPECT_EQ(s.texts.at("subject"), Cp("Přenosový soubor Velkor ze dne 08.12.2026"));
      EXPECT_EQ(s.texts.at("note"), Cp("Dobrý den,\r\n\"soubor\" %s v příloze."));
      EXPECT_EQ(s.texts.at("type"), "<null>");
      ASSERT_EQ(s.recips.size(), 2u);
      EXPECT_EQ(s.recips[0].at("class"), "1");
      EXPECT_EQ(s.recips[0].at("name"), "jan.novak@example.cz");
      EXPECT_EQ(s.recips[0].at("address"), "SMTP:jan.novak@example.cz");
      EXPECT_EQ(s.recips[1].at("class"), "3");
      EXPECT_EQ(s.recips[1].at("name"), Cp("Účetní"));
      EXPECT_EQ(s.recips[1].at("address"), "SMTP:eva@example.cz");
      EXPECT_EQ(s.recips[1].at("eid"), "-");
      ASSERT_EQ(s.files.size(), 1u);
      EXPECT_EQ(kdx::text::AnsiUpperCase(s.files[0].at("path")),
                kdx::text::AnsiUpperCase(mail.Attachments[0]));
      EXPECT_EQ(s.files[0].at("position"), "4294967295");
      EXPECT_EQ(s.files[0].at("name"), "<null>");
      EXPECT_EQ(s.files[0].at("type"), "-");
    }
  }
}

namespace {

// What the program's window saw while the client's compose window was open in the helper.
struct ComposeWatch {
  DWORD start = 0;
  int paints = 0;
  int ticks = 0;
  HWND composeOwner = nullptr;
  bool composeSeen = false;
  bool hung = true;
};
ComposeWatch* watch = nullptr;

// The program's window: it counts its paints, and on each tick asks for one more, looks for the
// client's compose window and, after longer than the system waits before it calls a window not
// responding, closes the compose window as the user would.
LRESULT CALLBACK WatchingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) {
    PAINTSTRUCT paint;
    BeginPaint(window, &paint);
    EndPaint(window, &paint);
    ++watch->paints;
    return 0;
  }
  if (message == WM_TIMER) {
    ++watch->ticks;
    InvalidateRect(window, nullptr, TRUE);
    if (HWND compose = FindWindowA("KdxTestCompose", nullptr)) {
      watch->composeSeen = true;
      watch->composeOwner = GetWindow(compose, GW_OWNER);
      if (GetTickCount() - watch->start > 6000) {
        watch->hung = IsHungAppWindow(window);
        KillTimer(window, 1);
        PostMessageA(compose, WM_KEYDOWN, VK_RETURN, 0);
      }
    }
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

TEST_F(Win32HandOff, TheWindowKeepsRespondingWhileTheClientComposes) {
  ClientLibrary client("KDX Test 32");
  TempDir folder;
  const std::string record = folder / "record.txt";
  ScopedEnv recordEnv("KDX_TESTMAPI_RECORD", record);
  ScopedEnv compose("KDX_TESTMAPI_COMPOSE", std::string("1"));
  ComposeWatch seen;
  watch = &seen;
  WNDCLASSA cls{};
  cls.lpfnWndProc = WatchingWindowProc;
  cls.hInstance = GetModuleHandleA(nullptr);
  cls.lpszClassName = "KdxTestProgramWindow";
  RegisterClassA(&cls);
  HWND window =
      CreateWindowExA(0, cls.lpszClassName, "KDX Manager", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10,
                      300, 200, nullptr, nullptr, cls.hInstance, nullptr);
  ASSERT_TRUE(window);
  SetTimer(window, 1, 100, nullptr);

  TMapiEmail mail;
  mail.Recipients.AddRecipient("jan.novak@example.cz", "", RecipientKind::To, "");
  seen.start = GetTickCount();
  EXPECT_TRUE(mail.Send(true));
  const DWORD took = GetTickCount() - seen.start;
  DestroyWindow(window);
  watch = nullptr;

  EXPECT_TRUE(seen.composeSeen) << "the client's compose window was never open";
  EXPECT_EQ(seen.composeOwner, window) << "the compose window belongs to the program's window";
  EXPECT_GE(took, 6000u) << "the call returned before the compose window was closed";
  EXPECT_GT(seen.ticks, 30) << "the program's messages were not dispatched while composing";
  EXPECT_GT(seen.paints, 30) << "the program's window did not repaint while composing";
  EXPECT_FALSE(seen.hung) << "the system took the program's window for not responding";
  const auto sends = ParseSendRecord(ReadFile(record));
  ASSERT_EQ(sends.size(), 1u);
  EXPECT_EQ(sends[0].call.at("uiparam"), std::to_string(reinterpret_cast<std::uintptr_t>(window)));
  EXPECT_EQ(sends[0].call.at("ownerenabled"), "0");
}

TEST_F(Win32HandOff, TheSystemsMapi32OfTheClientsBitnessForwardsToIt) {
  // As a 32-bit installer leaves it: the 32-bit client the default in the 32-bit view only, the
  // 64-bit view still naming Wine's own client; Simple MAPI registered (Wine's "MAPI" = "1").
  ScopedRegistryValue default32(true, kClientsKey, "", std::string("KDX Test 32"), true);
  TempDir folder;
  const std::string record = folder / "record.txt";
  ScopedEnv recordEnv("KDX_TESTMAPI_RECORD", record);
  TMapiEmail mail;
  ASSERT_TRUE(mail.SimpleMapiRegistered());
  EXPECT_EQ(mail.MailClients()[mail.DefaultClient()].KeyName, "KDX Test 32")
      << "the usable default of the 32-bit view, not Wine's eleven-name client";
  EXPECT_EQ(mail.ClientLibraryPath(), "mapi32.dll");
  ASSERT_TRUE(mail.ChosenLibraryIsOtherBitness());
  mail.Recipients.AddRecipient("jan.novak@example.cz", "", RecipientKind::To, "");
  mail.Subject = "through mapi32";
  EXPECT_TRUE(mail.Send(false));
  const auto sends = ParseSendRecord(ReadFile(record));
  ASSERT_EQ(sends.size(), 1u) << "Wine's 32-bit mapi32.dll did not reach the client";
  EXPECT_EQ(sends[0].call.at("bits"), "32");
  EXPECT_EQ(sends[0].texts.at("subject"), "through mapi32");
  ASSERT_EQ(sends[0].recips.size(), 1u);
  EXPECT_EQ(sends[0].recips[0].at("address"), "SMTP:jan.novak@example.cz");
}

TEST_F(Win32HandOff, TheClientsAnswerComesBackAsInProcess) {
  ClientLibrary client("KDX Test 32");
  TMapiEmail mail;
  mail.Recipients.AddRecipient("jan.novak@example.cz", "", RecipientKind::To, "");
  ExpectClientAnswersAsInProcess(mail);
}

TEST_F(Win32HandOff, TheLibrarysFailuresReadAsInProcess) {
  const std::string helper = HelperPath();
  EXPECT_TRUE(RaisesMapiError(
      [&] {
        SendThroughHandOffHelper(helper, Request(TestMapi32Dir() + "\\kdxtestmapi11.dll"), 0);
      },
      "Function \"MAPIResolveName\" is not exported by client", 0));
  try {
    SendThroughHandOffHelper(helper, Request("C:\\no such folder\\mapi.dll"), 0);
    FAIL() << "no exception";
  } catch (const kdx::EOSError& e) {
    EXPECT_EQ(e.ErrorCode, static_cast<unsigned long>(ERROR_MOD_NOT_FOUND));
    const std::string prefix = "System Error.  Code: 126.\r\n";
    EXPECT_EQ(std::string(e.what()).substr(0, prefix.size()), prefix) << e.what();
  }
}

TEST_F(Win32HandOffFailures, AHelperThatFailsNeverReportsASend) {
  const HandOffRequest request = Request(TestMapi32Dir() + "\\kdxtestmapi12.dll");
  try {
    SendThroughHandOffHelper("C:\\no such folder\\kdxmapi32.exe", request, 0);
    FAIL() << "no exception";
  } catch (const EMapiError& e) {
    const std::string prefix =
        "Cannot start the mail hand-off helper \"C:\\no such folder\\kdxmapi32.exe\": ";
    EXPECT_EQ(std::string(e.what()).substr(0, prefix.size()), prefix) << e.what();
    EXPECT_EQ(e.ErrorCode, 0u);
  }
  const std::string fake = HostPathToWindows(KDX_FAKE_HELPER);
  for (const char* mode : {"crash", "partial", "silent"}) {
    ScopedEnv env("KDX_FAKE_HELPER", std::string(mode));
    try {
      SendThroughHandOffHelper(fake, request, 0);
      ADD_FAILURE() << mode << ": no exception";
    } catch (const EMapiError& e) {
      const std::string prefix =
          "The mail hand-off helper \"" + fake + "\" ended without an answer";
      EXPECT_EQ(std::string(e.what()).substr(0, prefix.size()), prefix) << mode << ": " << e.what();
      EXPECT_EQ(e.ErrorCode, 0u);
    }
  }
  ScopedEnv env("KDX_FAKE_HELPER", std::string("silent"));
  try {
    SendThroughHandOffHelper(fake, request, 0);
  } catch (const EMapiError& e) {
    EXPECT_NE(std::string(e.what()).find("(exit code 3)"), std::string::npos) << e.what();
  }
}

TEST_F(Win32HandOff, TheHelperRefusesWhatIsNotOneWholeRequest) {
  const std::string whole = EncodeHandOffRequest(Request("C:\\no such folder\\mapi.dll"));
  std::string otherVersion = whole;
  otherVersion[4] = 7;
  struct Case {
    std::string input;
    const char* why;
  };
  const Case cases[] = {{"", "message shorter than its header"},
                        {"C:\\evil.dll\r\n/flags 8", "not a hand-off message"},
                        {whole.substr(0, whole.size() - 3), "length does not match the message"},
                        {whole + "x", "length does not match the message"},
                        {otherVersion, "unknown version"}};
  for (const Case& c : cases) {
    const auto run = kdx::platform::RunChildProcess(HelperPath(), c.input);
    ASSERT_TRUE(run.started) << run.startErrorText;
    const auto reply = DecodeHandOffReply(run.output);
    ASSERT_TRUE(reply) << c.why;
    EXPECT_EQ(reply->kind, HandOffReplyKind::Refused) << c.why;
    EXPECT_EQ(reply->text, c.why);
  }
}
