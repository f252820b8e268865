// Times the real program: from the user's OK in the confirmation box to the
// result box, and on until the program answers again, for runs on a
// benchmark workspace.
//
//   kvo_bench_wine --exe KvoManager.exe --workspace ROOT [--button 1009|1008] [--runs N]
//                  [--edit-cost]
//
// ROOT is a workspace of kvo_bench_gen (a Linux path is accepted under Wine).
// The program is copied into ROOT\lists beside the two lists, with a settings
// file pointing at ROOT\Plugin, ROOT\Preset and ROOT\Work, and started there
// once; the runs follow one another in that one program, as a user would click
// them. For each run one line: seconds=... answered=... peak_mib=... lines=...
// missing=... box=..., where seconds is OK to the result box showing,
// answered is OK to the moment from which the program answers every message
// at once (a box that shows while its thread still lays out or paints the
// pane does not answer yet), and peak_mib is the program's peak working set
// so far.
//
// --edit-cost adds, once per run, a line settext=... paint=...: the least
// that showing the last run's log costs, measured in this process: an edit
// control made from the program's own dialog template, under its own
// manifest (so the same control, styles, font and size), given the whole
// text in one WM_SETTEXT, then painted, then emptied for the next time.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ui_driver.h"

namespace {


void WriteSettings(const std::wstring& file, const std::wstring (&paths)[3]) {
  std::vector<wchar_t> record(3 * MAX_PATH, L'\0');
  for (int slot = 0; slot < 3; ++slot) {
    ui::Expect(paths[slot].size() < MAX_PATH, "folder path too long");
    paths[slot].copy(&record[static_cast<std::size_t>(slot) * MAX_PATH], paths[slot].size());
  }
  HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  ui::Expect(h != INVALID_HANDLE_VALUE, "cannot write " + ui::Utf8(file));
  DWORD written = 0;
  const BOOL ok = WriteFile(h, record.data(), static_cast<DWORD>(record.size() * sizeof(wchar_t)),
                            &written, nullptr);
  CloseHandle(h);
  ui::Expect(ok && written == 1560, "cannot write " + ui::Utf8(file));
}

std::size_t Count(const std::wstring& text, const wchar_t* what) {
  std::size_t n = 0;
  const std::size_t step = wcslen(what);
  for (std::size_t at = text.find(what); at != std::wstring::npos; at = text.find(what, at + step)) {
    ++n;
  }
  return n;
}

INT_PTR CALLBACK PlainDialog(HWND, UINT message, WPARAM, LPARAM) {
  return message == WM_INITDIALOG ? TRUE : FALSE;
}

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(to.QuadPart - from.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

LARGE_INTEGER Now() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now;
}

void Pump() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

// See --edit-cost above.
void PrintEditCost(const std::wstring& exe, const std::wstring& text, int times) {
  ACTCTXW context = {};
  context.cbSize = sizeof context;
  context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
  context.lpSource = exe.c_str();
  context.lpResourceName = MAKEINTRESOURCEW(1);
  HANDLE actctx = CreateActCtxW(&context);
  ui::Expect(actctx != INVALID_HANDLE_VALUE, "cannot read the program's manifest");
  ULONG_PTR cookie = 0;
  ActivateActCtx(actctx, &cookie);
  HMODULE module = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ui::Expect(module != nullptr, "cannot load the program's resources");
  HWND dialog = CreateDialogParamW(module, MAKEINTRESOURCEW(IDD_MANAGER), nullptr, PlainDialog, 0);
  ui::Expect(dialog != nullptr, "cannot make the program's dialog");
  ShowWindow(dialog, SW_SHOWNOACTIVATE);
  UpdateWindow(dialog);
  Pump();
  HWND pane = GetDlgItem(dialog, IDC_LOG_PANE);
  SendMessageW(pane, EM_LIMITTEXT, 0, 0);
  for (int time = 0; time < times; ++time) {
    const LARGE_INTEGER start = Now();
    SendMessageW(pane, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    const LARGE_INTEGER set = Now();
    UpdateWindow(dialog);
    Pump();
    const LARGE_INTEGER painted = Now();
    const LRESULT length = SendMessageW(pane, WM_GETTEXTLENGTH, 0, 0);
    ui::Expect(length == static_cast<LRESULT>(text.size()), "the edit control did not take the text");
    std::printf("settext=%.3f paint=%.3f units=%zu\n", Seconds(start, set), Seconds(set, painted),
                text.size());
    std::fflush(stdout);
    SendMessageW(pane, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
    Pump();
  }
  DestroyWindow(dialog);
  Pump();
  FreeLibrary(module);
  DeactivateActCtx(0, cookie);
  ReleaseActCtx(actctx);
}

int Usage() {
  std::fprintf(stderr,
               "usage: kvo_bench_wine --exe KvoManager.exe --workspace ROOT "
               "[--button 1009|1008] [--runs N] [--edit-cost]\n");
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring exe;
  std::wstring root;
  int button = IDC_CHECK_ONLY;
  int runs = 3;
  bool editCost = false;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"--edit-cost") {
      editCost = true;
      continue;
    }
    if (i + 1 >= argc) return Usage();
    if (arg == L"--exe") exe = ui::DosPath(argv[++i]);
    else if (arg == L"--workspace") root = ui::DosPath(argv[++i]);
    else if (arg == L"--button") button = _wtoi(argv[++i]);
    else if (arg == L"--runs") runs = _wtoi(argv[++i]);
    else return Usage();
  }
  if (exe.empty() || root.empty() || runs < 1 || (button != IDC_EXECUTE && button != IDC_CHECK_ONLY)) return Usage();

  try {
    const std::wstring lists = root + L"\\lists";
    const std::wstring copy = lists + L"\\KvoManager.exe";
    ui::Expect(CopyFileW(exe.c_str(), copy.c_str(), FALSE) != 0,
               "cannot copy the program into " + ui::Utf8(lists));
    const std::wstring folders[3] = {root + L"\\Plugin", root + L"\\Preset", root + L"\\Work"};
    WriteSettings(lists + L"\\KvoManager.dat", folders);

    ui::KeepDesktopAlive();
    ui::Program program;
    program.Start(copy, lists);
    std::wstring pane;
    for (int run = 0; run < runs; ++run) {
      HWND confirmation = program.Confirm(button);
      const LARGE_INTEGER start = Now();
      PostMessageW(confirmation, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      // Polled every 10 ms; the run itself takes seconds.
      HWND result = nullptr;
      const ULONGLONG end = GetTickCount64() + 600000;
      while (result == nullptr && GetTickCount64() < end) {
        for (HWND window : ui::OwnedDialogs(program.dialog())) {
          if (window != confirmation) result = window;
        }
        if (result == nullptr) ::Sleep(10);
      }
      const LARGE_INTEGER shown = Now();
      ui::Expect(result != nullptr, "no result box within 600 s");
      // Messages sent one after another: a sent message is taken at the
      // thread's next look at its queue, before any painting, so one quick
      // answer proves little. The program answers from the return of the
      // last probe that waited over 100 ms, once 0.5 s of probes after it
      // were all answered at once.
      LARGE_INTEGER answered = shown;
      bool first = true;
      for (;;) {
        const LARGE_INTEGER sent = Now();
        DWORD_PTR ignored = 0;
        ui::Expect(SendMessageTimeoutW(program.dialog(), WM_NULL, 0, 0, SMTO_NORMAL, 600000,
                                       &ignored) != 0,
                   "the program did not answer within 600 s");
        const LARGE_INTEGER back = Now();
        if (first || Seconds(sent, back) > 0.1) answered = back;
        first = false;
        if (Seconds(answered, back) >= 0.5) break;
        ::Sleep(10);
      }
      const ui::Box box = ui::ReadBox(result);
      pane = program.Pane();
      PROCESS_MEMORY_COUNTERS memory = {};
      memory.cb = sizeof memory;
      GetProcessMemoryInfo(program.process(), &memory, sizeof memory);
      std::printf("seconds=%.3f answered=%.3f peak_mib=%.1f lines=%zu missing=%zu box=%s\n",
                  Seconds(start, shown), Seconds(start, answered),
                  static_cast<double>(memory.PeakWorkingSetSize) / 1048576.0,
                  Count(pane, L"\r\n"), Count(pane, L"\r\n  - "), ui::Utf8(box.text).c_str());
      std::fflush(stdout);
      PostMessageW(result, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      ui::Expect(ui::WaitGone(result, ui::kBoxTimeoutMs), "the result box did not close");
    }
    program.Close();
    if (editCost) PrintEditCost(copy, pane, runs);
  } catch (const ui::CaseFailure& failure) {
    std::printf("FAIL %s\n", failure.message.c_str());
    return 1;
  }
  return 0;
}
