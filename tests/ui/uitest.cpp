// UI-automation tests of KvoManager.exe, and the demo's driver.
//
//   kvo_uitest --exe KvoManager.exe [--lowmem KvoManagerLowMem.exe]
//              [--faketaskbar KvoManagerFakeTaskbar.exe] [case ...]
//   kvo_uitest --list
//   kvo_uitest --make-demo FOLDER --exe KvoManager.exe
//   kvo_uitest --demo FOLDER
//   kvo_uitest --keep-desktop SECONDS STOPFILE READYFILE   (see desktop-keeper)
//
// Each case lays out a fresh folder (under .\uitest), starts the real
// program there and acts on it from this process, as a user would. Each case
// prints "PASS name" or "FAIL name: reason"; the last line is
// "N passed, N failed" and the exit code is non-zero when any case failed.
//
// The cases are listed in cases.def and defined in cases_*.cpp; this file
// is the harness that runs them (with a watchdog per case), and the demo.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "case_support.h"
#include "cases.h"

using uicases::g_casesRoot;
using uicases::g_exe;
using uicases::g_fakeTaskbarExe;
using uicases::g_lowMemExe;
using ui::Program;
using ui::Utf8;
using ws::Join;

namespace {

struct Case {
  const char* name;
  void (*run)(const std::string& name);
};

// A case that is still running after this long is failed, and the program
// it drives is ended, so that a hang shows as a FAIL line, not as a silent
// timeout of the test runner.
constexpr DWORD kCaseLimitMs = 150000;
const char* volatile g_currentCase = nullptr;
std::atomic<int> g_passed{0};
std::atomic<int> g_failed{0};

// Waits on a timer that is armed when a case starts and cancelled when it
// ends. (A timer, not an event set at both ends: a case that ends before
// this thread first waits would leave one signal for two, and from then on
// the gaps between cases would be timed instead of the cases.)
DWORD WINAPI Watchdog(void* timer) {
  WaitForSingleObject(static_cast<HANDLE>(timer), INFINITE);
  std::printf("FAIL %s: still running after %lu s; stopped\n%d passed, %d failed\n",
              g_currentCase != nullptr ? g_currentCase : "?", kCaseLimitMs / 1000, g_passed.load(),
              g_failed.load() + 1);
  std::fflush(stdout);
  ui::TerminateStarted();
  // Not ExitProcess: the case's thread is stopped wherever it is, perhaps
  // inside the C runtime holding a lock that the runtime's own shutdown
  // would wait for. The output is written; nothing else is left to do.
  TerminateProcess(GetCurrentProcess(), 1);
  return 1;
}

const Case kCases[] = {
#define KVO_UI_CASE(name, function, how) {#name, uicases::function},
#include "cases.def"
#undef KVO_UI_CASE
};

// ---- the demo --------------------------------------------------------------

int MakeDemo(const std::wstring& folder) {
  ws::Workspace workspace;
  workspace.Create(folder, g_exe);
  ws::LayOutDemo(workspace);
  std::printf("workspace ready: %s\n", Utf8(folder).c_str());
  return 0;
}

// A check-only run in the demo workspace; prints the log and, while the
// dialog still shows it, the window's place for the screenshot. The dialog
// stays open until `done` exists (or 60 s), then closes.
int RunDemo(const std::wstring& folder) {
  const std::wstring shotInfo = Join(folder, L"demo-window.txt");
  const std::wstring done = Join(folder, L"demo-shot.done");
  ws::Remove(shotInfo);
  ws::Remove(done);
  Program program;
  program.Start(Join(folder, L"KvoManager.exe"), folder);
  HWND dialog = program.dialog();
  SetWindowPos(dialog, nullptr, 40, 40, 760, 620, SWP_NOZORDER);
  program.Run(IDC_CHECK_ONLY, true);
  const std::wstring log = program.Pane();
  std::string text = Utf8(log);
  std::string unixText;
  for (char c : text) {
    if (c != '\r') unixText += c;
  }
  std::fwrite(unixText.data(), 1, unixText.size(), stdout);
  std::fflush(stdout);
  RECT rect;
  GetWindowRect(dialog, &rect);
  char place[100];
  std::snprintf(place, sizeof place, "%ld %ld %ld %ld\n", rect.left, rect.top,
                rect.right - rect.left, rect.bottom - rect.top);
  ws::WriteBytes(shotInfo, std::string(place));
  const ULONGLONG end = GetTickCount64() + 60000;
  while (!ws::Exists(done) && GetTickCount64() < end) ui::Sleep(50);
  program.Close();
  return 0;
}

// Holds a hidden window for up to `seconds`, or until `stopFile` exists, so
// that Wine's desktop process stays up between the test programs (without
// any window it quits, and the next program waits seconds for a new one).
// `readyFile` is written once the window, and so the desktop, exists: the
// tests must not start before, or one of them would start the desktop.
int KeepDesktop(int seconds, const std::wstring& stopFile, const std::wstring& readyFile) {
  if (!ui::KeepDesktopAlive()) return 1;
  ws::WriteBytes(readyFile, std::string("ready\n"));
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds) * 1000;
  while (GetTickCount64() < end && !ws::Exists(stopFile)) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 200, QS_ALLINPUT);
  }
  return 0;
}

int Usage() {
  std::fprintf(stderr,
               "usage: kvo_uitest --exe KvoManager.exe [--lowmem KvoManagerLowMem.exe]\n"
               "                  [--faketaskbar KvoManagerFakeTaskbar.exe] [case ...]\n"
               "       kvo_uitest --list\n"
               "       kvo_uitest --make-demo FOLDER --exe KvoManager.exe\n"
               "       kvo_uitest --demo FOLDER\n"
               "       kvo_uitest --keep-desktop SECONDS STOPFILE READYFILE\n");
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> selected;
  std::wstring makeDemo, demo;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == L"--list") {
      for (const Case& c : kCases) std::printf("%s\n", c.name);
      return 0;
    } else if (arg == L"--exe" && hasValue) {
      g_exe = ui::DosPath(argv[++i]);
    } else if (arg == L"--lowmem" && hasValue) {
      g_lowMemExe = ui::DosPath(argv[++i]);
    } else if (arg == L"--faketaskbar" && hasValue) {
      g_fakeTaskbarExe = ui::DosPath(argv[++i]);
    } else if (arg == L"--make-demo" && hasValue) {
      makeDemo = ui::DosPath(argv[++i]);
    } else if (arg == L"--keep-desktop" && i + 3 < argc) {
      const int seconds = _wtoi(argv[i + 1]);
      return KeepDesktop(seconds, ui::DosPath(argv[i + 2]), ui::DosPath(argv[i + 3]));
    } else if (arg == L"--demo" && hasValue) {
      demo = ui::DosPath(argv[++i]);
    } else if (arg.rfind(L"--", 0) == 0) {
      return Usage();
    } else {
      selected.push_back(Utf8(arg));
    }
  }

  wchar_t display[256] = {};
  if (GetEnvironmentVariableW(L"DISPLAY", display, 256) == 0 && makeDemo.empty()) {
    std::printf("FAIL setup: DISPLAY is not set; the UI tests need an X display "
                "(scripts/test and scripts/demo start Xvfb)\n0 passed, 1 failed\n");
    return 1;
  }
  ui::KeepDesktopAlive();

  try {
    if (!makeDemo.empty()) {
      if (g_exe.empty()) return Usage();
      return MakeDemo(makeDemo);
    }
    if (!demo.empty()) return RunDemo(demo);
  } catch (const ui::CaseFailure& failure) {
    std::fprintf(stderr, "demo: %s\n", failure.message.c_str());
    return 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "demo: %s\n", error.what());
    return 1;
  }

  if (g_exe.empty()) return Usage();
  if (GetACP() != 932) {
    std::printf("FAIL setup: the ANSI code page is %u, not 932; run under the ja_JP locale "
                "(scripts/lib.sh)\n0 passed, 1 failed\n", GetACP());
    return 1;
  }
  wchar_t current[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, current);
  g_casesRoot = Join(current, L"uitest");

  for (const std::string& name : selected) {
    bool known = false;
    for (const Case& c : kCases) known = known || name == c.name;
    if (!known) {
      std::printf("FAIL %s: no such case\n0 passed, 1 failed\n", name.c_str());
      return 1;
    }
  }

  HANDLE caseTimer = CreateWaitableTimerW(nullptr, TRUE, nullptr);
  CloseHandle(CreateThread(nullptr, 0, Watchdog, caseTimer, 0, nullptr));

  for (const Case& c : kCases) {
    if (!selected.empty()) {
      bool wanted = false;
      for (const std::string& name : selected) wanted = wanted || name == c.name;
      if (!wanted) continue;
    }
    const ULONGLONG started = GetTickCount64();
    std::string failure;
    g_currentCase = c.name;
    LARGE_INTEGER due;
    due.QuadPart = -static_cast<LONGLONG>(kCaseLimitMs) * 10000;  // relative, in 100 ns
    SetWaitableTimer(caseTimer, &due, 0, nullptr, nullptr, FALSE);
    try {
      c.run(c.name);
    } catch (const ui::CaseFailure& error) {
      failure = error.message;
    } catch (const std::exception& error) {
      failure = std::string("exception: ") + error.what();
    }
    CancelWaitableTimer(caseTimer);
    const double seconds = (GetTickCount64() - started) / 1000.0;
    if (failure.empty()) {
      ++g_passed;
      std::printf("PASS %s (%.1f s)\n", c.name, seconds);
    } else {
      ++g_failed;
      std::printf("FAIL %s: %s (%.1f s)\n", c.name, failure.c_str(), seconds);
    }
    std::fflush(stdout);
  }
  std::printf("%d passed, %d failed\n", g_passed.load(), g_failed.load());
  std::fflush(stdout);
  return g_failed == 0 ? 0 : 1;
}

