// A helper program on Windows: CreateProcessW with anonymous pipes, and the calling thread's
// window messages dispatched while it runs.

#include <windows.h>

#include <algorithm>
#include <thread>

#include "kdx/platform/ChildProcess.h"
#include "kdx/platform/WideText.h"

namespace kdx::platform {

namespace {

std::string SystemText(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
  std::wstring text = n && buffer ? std::wstring(buffer, n) : std::wstring();
  if (buffer) LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
    text.pop_back();
  return Utf8(text);
}

// Takes what the pipe holds now, without waiting for more.
void Drain(HANDLE pipe, std::string& output) {
  for (;;) {
    DWORD available = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) || available == 0) return;
    char buffer[4096];
    DWORD n = 0;
    if (!ReadFile(pipe, buffer, available < sizeof buffer ? available : sizeof buffer, &n,
                  nullptr) ||
        n == 0) {
      return;
    }
    output.append(buffer, n);
  }
}

}  // namespace

ChildRun RunChildProcess(const std::string& program, const std::string& input, WindowHandle owner) {
  ChildRun run;
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE inRead = nullptr, inWrite = nullptr, outRead = nullptr, outWrite = nullptr;
  auto fail = [&](DWORD code) {
    run.startError = code;
    run.startErrorText = SystemText(code);
    for (HANDLE h : {inRead, inWrite, outRead, outWrite}) {
      if (h) CloseHandle(h);
    }
    return run;
  };
  if (!CreatePipe(&inRead, &inWrite, &inherit, 0) || !CreatePipe(&outRead, &outWrite, &inherit, 0))
    return fail(GetLastError());
  // Only the child's ends are inherited.
  SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
  HANDLE nul = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                           OPEN_EXISTING, 0, nullptr);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = inRead;
  startup.hStdOutput = outWrite;
  startup.hStdError = nul != INVALID_HANDLE_VALUE ? nul : nullptr;
  const std::wstring path = Wide(program);
  std::wstring commandLine = L"\"" + path + L"\"";  // the program's own name only
  PROCESS_INFORMATION process{};
  const BOOL created = CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                      CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
  const DWORD createError = GetLastError();
  if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
  CloseHandle(inRead);
  inRead = nullptr;
  CloseHandle(outWrite);
  outWrite = nullptr;
  if (!created) return fail(createError);
  run.started = true;
  CloseHandle(process.hThread);
  // The compose window of the child belongs in front, where the user is.
  AllowSetForegroundWindow(process.dwProcessId);

  // The input goes on a thread of its own, so that a child that does not read cannot hold up
  // this thread's messages; a child that ends breaks the pipe and the write returns.
  std::thread writer([inWrite, &input] {
    std::size_t done = 0;
    while (done < input.size()) {
      DWORD n = 0;
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(input.size() - done, 65536));
      if (!WriteFile(inWrite, input.data() + done, chunk, &n, nullptr) || n == 0) break;
      done += n;
    }
    CloseHandle(inWrite);
  });

  const HWND window = reinterpret_cast<HWND>(owner);
  const bool disabled = window && IsWindow(window) && IsWindowEnabled(window);
  if (disabled) EnableWindow(window, FALSE);
  bool quit = false;
  int quitCode = 0;
  for (;;) {
    const DWORD wait =
        MsgWaitForMultipleObjectsEx(1, &process.hProcess, 50, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    Drain(outRead, run.output);
    if (wait == WAIT_OBJECT_0) break;
    if (wait == WAIT_FAILED) {
      WaitForSingleObject(process.hProcess, INFINITE);
      break;
    }
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        quit = true;
        quitCode = static_cast<int>(msg.wParam);
        continue;
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  // Whatever the child wrote before it ended is still in the pipe. A process the child started
  // may hold the pipe open for longer: it is not waited for.
  Drain(outRead, run.output);
  if (disabled) EnableWindow(window, TRUE);
  writer.join();
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  run.exited = true;
  run.exitCode = code;
  CloseHandle(process.hProcess);
  CloseHandle(outRead);
  if (quit) PostQuitMessage(quitCode);  // the request to end belongs to the loop outside
  return run;
}

}  // namespace kdx::platform
