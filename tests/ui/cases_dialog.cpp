// The dialog and its runs: start and close, the confirmation and result
// boxes, the keyboard, the logs of completed and stopped runs.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "case_support.h"
#include "cases.h"

namespace uicases {

// Paths shown, the pane empty, 1008 focused and default; close saves the same bytes.
void CaseStartAndClose(const std::string& name) {
  ws::Workspace w = StandardWorkspace(name);
  const ws::Bytes before = ws::ReadBytes(w.settings);
  SetOldTimestamp(w.settings);
  const ULONGLONG oldTime = WriteTime(w.settings);
  Program program;
  program.Start(w.exe, w.root);
  ExpectPaths(program, w.plugin, w.preset, w.work, "after start");
  Expect(program.Pane().empty(), "the pane is not empty at start");
  Expect(ui::WaitFocus(program.Control(IDC_EXECUTE), ui::kBoxTimeoutMs), "button 1008 has not the focus");
  DWORD_PTR def = 0;
  SendMessageTimeoutW(program.dialog(), DM_GETDEFID, 0, 0, SMTO_NORMAL, ui::kAnswerTimeoutMs, &def);
  Expect(LOWORD(def) == IDC_EXECUTE, "the default button is " + std::to_string(LOWORD(def)));
  program.Close();
  ExpectFileBytes(w.settings, before, "settings file after close");
  Expect(WriteTime(w.settings) > oldTime, "the settings file was not rewritten at close");
  Expect(!ws::Exists(Join(w.root, L"KvoManager.tmp")), "a temporary file was left behind");
}

// Both buttons' confirmation boxes; Cancel, Esc and Enter (Cancel is the
// default) start nothing.
void CaseConfirmationBoxes(const std::string& name) {
  ws::Workspace w = StandardWorkspace(name);
  Program program;
  program.Start(w.exe, w.root);
  for (int button : {IDC_EXECUTE, IDC_CHECK_ONLY}) {
    for (const char* answer : {"Cancel", "Esc", "Enter"}) {
      const std::string what = "button " + std::to_string(button) + ", " + answer;
      HWND box = program.Confirm(button);
      Expect(ui::WaitFocus(GetDlgItem(box, IDCANCEL), ui::kBoxTimeoutMs),
             what + ": Cancel does not have the focus");
      if (std::strcmp(answer, "Cancel") == 0) {
        // The dialog is disabled under the box, but another program can
        // still send it commands: they open no second box and no browser.
        for (int command : {IDC_EXECUTE, IDC_CHECK_ONLY, IDC_PLUGIN_BROWSE}) {
          PostMessageW(program.dialog(), WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), 0);
        }
        ui::Sleep(ui::kQuietMs);
        for (HWND other : ui::OwnedDialogs(program.dialog())) {
          if (other != box) {
            Fail(what + ": a command under the box opened " + ui::ReadBox(other).Describe());
          }
        }
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
      } else {
        ui::PressKey(program.thread(), std::strcmp(answer, "Esc") == 0 ? VK_ESCAPE : VK_RETURN);
      }
      Expect(ui::WaitGone(box, ui::kBoxTimeoutMs), what + ": the box did not close");
      program.ExpectQuiet(what);
      Expect(program.Pane().empty(), what + ": something was written to the pane");
      ExpectStandardFilesUntouched(w, "after " + what);
    }
  }

  // A close asked for while the box is open waits for it; then no run
  // starts, OK or not, and the dialog ends.
  HWND box = program.Confirm(IDC_EXECUTE);
  PostMessageW(program.dialog(), WM_CLOSE, 0, 0);
  ui::Sleep(ui::kQuietMs);
  Expect(program.Running() && IsWindowVisible(program.dialog()) && IsWindowVisible(box),
         "the close did not wait for the confirmation box");
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  const ULONGLONG end = GetTickCount64() + ui::kRunTimeoutMs;
  while (program.Running()) {
    for (HWND other : ui::OwnedDialogs(program.dialog())) {
      if (other != box) Fail("OK under a close: " + ui::ReadBox(other).Describe());
    }
    Expect(GetTickCount64() < end, "OK under a close: the program did not end");
    ui::Sleep(10);
  }
  Expect(program.WaitExit(0) == 0, "OK under a close: exit code is not 0");
  ExpectStandardFilesUntouched(w, "after OK under a close");
}

void CaseCheckOnlyRun(const std::string& name) {
  ws::Workspace w = StandardWorkspace(name);
  Program program;
  program.Start(w.exe, w.root);
  program.Run(IDC_CHECK_ONLY, true);
  ExpectPaneAfter(program, ws::kStandardCheckLog, "pane after a check-only run");
  ExpectStandardFilesUntouched(w, "after a check-only run");
  // Ctrl+A in the pane selects the whole log, to be copied for a question.
  const HWND pane = program.Control(IDC_LOG_PANE);
  DWORD_PTR selection = 0;
  // Sent, not posted: a posted character could still wait in the queue when
  // the question below, a sent message, is answered ahead of it.
  SendMessageTimeoutW(pane, WM_CHAR, 1 /* Ctrl+A */, 1, SMTO_NORMAL, ui::kAnswerTimeoutMs,
                      &selection);
  Expect(SendMessageTimeoutW(pane, EM_GETSEL, 0, 0, SMTO_NORMAL, ui::kAnswerTimeoutMs, &selection) &&
             LOWORD(selection) == 0 && HIWORD(selection) == wcslen(ws::kStandardCheckLog),
         "Ctrl+A in the pane did not select the whole log");
  program.Close();
}

void CaseExecuteRun(const std::string& name) {
  ws::Workspace w = StandardWorkspace(name);
  Program program;
  program.Start(w.exe, w.root);
  program.Run(IDC_EXECUTE, true);
  ExpectPaneAfter(program, ws::kStandardExecuteLog, "pane after an execute run");
  ExpectNames(w.plugin, {L"Alpha.vac", L"Base.vac", L"Beta.vac", L"Gamma.vac", L"音源.vac"},
              "Plugin after an execute run");
  ExpectNames(w.work, {L"Old.vac", L"Unused.vac"}, "Work after an execute run");
  program.Close();
}

// After a run, cancelled confirmations leave its log and the files alone.
void CaseCancelKeepsLog(const std::string& name) {
  ws::Workspace w = StandardWorkspace(name);
  Program program;
  program.Start(w.exe, w.root);
  program.Run(IDC_CHECK_ONLY, true);
  for (int button : {IDC_EXECUTE, IDC_CHECK_ONLY}) {
    HWND box = program.Confirm(button);
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    Expect(ui::WaitGone(box, ui::kBoxTimeoutMs), "the confirmation box did not close");
    const std::string what = "cancelled " + std::to_string(button);
    program.ExpectQuiet(what);
    ExpectPaneAfter(program, ws::kStandardCheckLog, "pane after " + what);
    ExpectStandardFilesUntouched(w, "after " + what);
  }
  program.Close();
}

// Esc (as IDCANCEL and as a key) and IDOK leave the dialog open; Enter
// presses 1008, which still asks first.
void CaseEscAndEnter(const std::string& name) {
  ws::Workspace w = StandardWorkspace(name);
  Program program;
  program.Start(w.exe, w.root);
  PostMessageW(program.dialog(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  program.ExpectQuiet("after WM_COMMAND IDCANCEL");
  Expect(ui::WaitFocus(program.Control(IDC_EXECUTE), ui::kBoxTimeoutMs), "button 1008 has not the focus");
  ui::PressKey(program.thread(), VK_ESCAPE);
  program.ExpectQuiet("after the Esc key");
  PostMessageW(program.dialog(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  program.ExpectQuiet("after WM_COMMAND IDOK");
  // With the keyboard in the pane too: a multi-line edit control answers Esc
  // by closing its dialog.
  PostMessageW(program.dialog(), WM_NEXTDLGCTL,
               reinterpret_cast<WPARAM>(program.Control(IDC_LOG_PANE)), TRUE);
  Expect(ui::WaitFocus(program.Control(IDC_LOG_PANE), ui::kBoxTimeoutMs), "the pane has not the focus");
  ui::PressKey(program.thread(), VK_ESCAPE);
  program.ExpectQuiet("after the Esc key in the pane");
  PostMessageW(program.dialog(), WM_NEXTDLGCTL,
               reinterpret_cast<WPARAM>(program.Control(IDC_EXECUTE)), TRUE);

  Expect(ui::WaitFocus(program.Control(IDC_EXECUTE), ui::kBoxTimeoutMs), "button 1008 has not the focus");
  ui::PressKey(program.thread(), VK_RETURN);
  HWND box = ui::WaitOwnedDialog(program.dialog(), ui::kBoxTimeoutMs);
  Expect(box != nullptr, "Enter on the dialog showed no confirmation box");
  ui::ExpectBox(ui::ReadBox(box), ui::CommandCaption(IDC_EXECUTE), ui::ConfirmationText(IDC_EXECUTE), true,
                "box after Enter");
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  Expect(ui::WaitGone(box, ui::kBoxTimeoutMs), "the confirmation box did not close");
  program.ExpectQuiet("after cancelling the Enter box");
  ExpectStandardFilesUntouched(w, "after Esc and Enter");
  program.Close();
}

// Runs that stop at a precondition: exact log, "処理を中断しました", nothing moved.
void CaseAbortedRuns(const std::string& name) {
  struct Row {
    const char* label;
    int button;
    const wchar_t* log;
    const wchar_t* held;  // a file another program holds open with no sharing
  };
  const Row rows[] = {
      {"no_idlist", IDC_EXECUTE, L"■準備\r\nIdList.txt: 読み込み失敗\r\n", nullptr},
      {"no_idlist_bad_folders", IDC_CHECK_ONLY, L"■準備\r\nIdList.txt: 読み込み失敗\r\n", nullptr},
      {"bad_work", IDC_EXECUTE, L"■準備\r\nWork: 読み込み失敗\r\n", nullptr},
      {"empty_plugin", IDC_CHECK_ONLY, L"■準備\r\nPlugin: 読み込み失敗\r\n", nullptr},
      // Read as empty, ExList.txt would send Base.vac to Work.
      {"exlist_held", IDC_EXECUTE, L"■準備\r\nExList.txt: 読み込み失敗\r\n", L"ExList.txt"},
      // Left out, Song1.kvo would send Alpha.vac and Beta.vac to Work.
      {"preset_held", IDC_EXECUTE, L"■準備\r\nSong1.kvo: 読み込み失敗\r\n", L"Preset\\Song1.kvo"},
  };
  for (const Row& row : rows) {
    ws::Workspace w = StandardWorkspace(name + "\\" + row.label);
    const std::string label = row.label;
    HANDLE held = INVALID_HANDLE_VALUE;
    if (row.held != nullptr) {
      held = CreateFileW(Join(w.root, row.held).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
      Expect(held != INVALID_HANDLE_VALUE, label + ": cannot hold the file open");
    }
    struct Release {
      HANDLE handle;
      ~Release() { if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle); }
    } release{held};
    if (label.rfind("no_idlist", 0) == 0) ws::Remove(Join(w.root, L"IdList.txt"));
    if (label == "no_idlist_bad_folders") {
      ws::WriteBytes(w.settings, ws::Settings(Join(w.root, L"none1"), Join(w.root, L"none2"),
                                              Join(w.root, L"none3")));
    } else if (label == "bad_work") {
      ws::WriteBytes(w.settings, ws::Settings(w.plugin, w.preset, Join(w.root, L"Missing")));
    } else if (label == "empty_plugin") {
      ws::WriteBytes(w.settings, ws::Settings(L"", w.preset, w.work));
    }
    Program program;
    program.Start(w.exe, w.root);
    program.Run(row.button, false);
    ExpectPaneAfter(program, row.log, label + " pane");
    ExpectStandardFilesUntouched(w, "after " + label);
    program.Close();
  }
}

// Folder fields that are not absolute (as the registry gives them without
// InstallPath) name folders under the one the program was started in, on
// every run, although each run leaves another folder current.
void CaseRelativeFolders(const std::string& name) {
  ws::Workspace w = StandardWorkspace(name);
  ws::WriteBytes(w.settings, ws::Settings(L"Plugin", L"Preset", L".\\Work"));
  Program program;
  program.Start(w.exe, w.root);
  program.Run(IDC_CHECK_ONLY, true);
  ExpectPaneAfter(program, ws::kStandardCheckLog, "pane after a check-only run");
  program.Run(IDC_EXECUTE, true);
  ExpectPaneAfter(program, ws::kStandardExecuteLog, "pane after an execute run");
  program.Run(IDC_EXECUTE, true);
  ExpectPaneAfter(program, ws::kStandardRepeatLog, "pane after a second execute run");
  ExpectPaths(program, L"Plugin", L"Preset", L".\\Work", "after the runs");
  program.Close();
  ExpectFileBytes(w.settings, ws::Settings(L"Plugin", L"Preset", L".\\Work"),
                  "settings file after close");
}

// A log far beyond the edit control's default 32,767 characters, whole.
// Few, long lines: Wine's edit control takes time per append that grows with
// the text, so many short lines would make this slow without testing more.
void CaseLongLog(const std::string& name) {
  ws::Workspace w = NewWorkspace(name);
  const int presets = 120;
  const std::wstring presetStem(70, L'p');
  const std::wstring archiveStem(220, L'a');
  std::vector<std::pair<std::int32_t, std::wstring>> ids;
  std::wstring listing;
  for (int i = 1; i <= presets; ++i) {
    wchar_t number[8];
    wsprintfW(number, L"%03d", i);
    const std::wstring preset = presetStem + number + L".kvo";
    const std::wstring archive = archiveStem + number + L".vac";
    ids.emplace_back(1000 + i, archive);
    ws::WriteBytes(Join(w.preset, preset), ws::Preset({1000 + i}));
    listing += preset + L"\r\n  - " + archive + L"\r\n";
  }
  ws::WriteBytes(Join(w.root, L"IdList.txt"), ws::IdList(ids));
  w.WriteSettings();
  const std::wstring expected = L"■準備\r\n→ Plugin/Preset/Work = 0/120/0\r\n■kvoの状態\r\n"
                                L"→ 不足無し/不足有り = 0/120\r\n" + listing + L"\r\n";
  Expect(expected.size() > 36000, "the expected log is not long enough to test anything");
  Program program;
  program.Start(w.exe, w.root);
  program.Run(IDC_CHECK_ONLY, true);
  ExpectPaneAfter(program, expected, "long pane");
  program.Close();
}

// Each run's log replaces the previous one entirely.
void CaseTwoRuns(const std::string& name) {
  ws::Workspace w = StandardWorkspace(name);
  Program program;
  program.Start(w.exe, w.root);
  program.Run(IDC_CHECK_ONLY, true);
  ExpectPaneAfter(program, ws::kStandardCheckLog, "pane after the first run");
  program.Run(IDC_EXECUTE, true);
  ExpectPaneAfter(program, ws::kStandardExecuteLog, "pane after the second run");
  program.Run(IDC_EXECUTE, true);
  ExpectPaneAfter(program, ws::kStandardRepeatLog, "pane after the third run");
  program.Close();
}

// Memory running out in the middle of a run: the result box says so, the
// dialog lives on and the next run works.
void CaseOutOfMemory(const std::string& name) {
  Expect(!g_lowMemExe.empty(), "no --lowmem program given");
  ws::Workspace w = NewWorkspace(name, g_lowMemExe);
  ws::LayOutStandard(w);
  // The preset reader wants a buffer of the file's size: 20 MiB, above the
  // 16 MiB that this build of the program can allocate at once.
  ws::Bytes huge = ws::Preset({100});
  huge.resize(20u << 20, 0xEE);
  ws::WriteBytes(Join(w.preset, L"Huge.kvo"), huge);
  Program program;
  program.Start(w.exe, w.root);
  program.Run(IDC_CHECK_ONLY, false);
  ExpectPaneAfter(program, L"■準備\r\n", "pane after running out of memory");
  ws::Remove(Join(w.preset, L"Huge.kvo"));
  program.Run(IDC_CHECK_ONLY, true);
  ExpectPaneAfter(program, ws::kStandardCheckLog, "pane after the next run");
  program.Close();
}

}  // namespace uicases
