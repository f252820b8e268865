// Times the real program: from the user's OK in the confirmation box to the
// result box, for runs on a benchmark workspace.
//
//   kvo_bench_wine --exe KvoManager.exe --workspace ROOT [--button 1009|1008] [--runs N]
//
// ROOT is a workspace of kvo_bench_gen (a Linux path is accepted under Wine).
// The program is copied into ROOT\lists beside the two lists, with a settings
// file pointing at ROOT\Plugin, ROOT\Preset and ROOT\Work, and started there
// once; the runs follow one another in that one program, as a user would click
// them. For each run one line: seconds=... lines=... missing=... box=...
#include <windows.h>

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

int Usage() {
  std::fprintf(stderr,
               "usage: kvo_bench_wine --exe KvoManager.exe --workspace ROOT "
               "[--button 1009|1008] [--runs N]\n");
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring exe;
  std::wstring root;
  int button = IDC_CHECK_ONLY;
  int runs = 3;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
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
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    for (int run = 0; run < runs; ++run) {
      HWND confirmation = program.Confirm(button);
      LARGE_INTEGER start;
      QueryPerformanceCounter(&start);
      PostMessageW(confirmation, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      // Polled every 2 ms; the run itself takes seconds.
      HWND result = nullptr;
      const ULONGLONG end = GetTickCount64() + 600000;
      while (result == nullptr && GetTickCount64() < end) {
        for (HWND window : ui::OwnedDialogs(program.dialog())) {
          if (window != confirmation) result = window;
        }
        if (result == nullptr) ::Sleep(2);
      }
      LARGE_INTEGER stop;
      QueryPerformanceCounter(&stop);
      ui::Expect(result != nullptr, "no result box within 600 s");
      const double seconds =
          static_cast<double>(stop.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
      const ui::Box box = ui::ReadBox(result);
      const std::wstring pane = program.Pane();
      std::printf("seconds=%.3f lines=%zu missing=%zu box=%s\n", seconds, Count(pane, L"\r\n"),
                  Count(pane, L"\r\n  - "), ui::Utf8(box.text).c_str());
      std::fflush(stdout);
      PostMessageW(result, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      ui::Expect(ui::WaitGone(result, ui::kBoxTimeoutMs), "the result box did not close");
    }
    program.Close();
  } catch (const ui::CaseFailure& failure) {
    std::printf("FAIL %s\n", failure.message.c_str());
    return 1;
  }
  return 0;
}
