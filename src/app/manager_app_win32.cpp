// Dialog initialisation, the two action buttons and closing.
#include <windows.h>
#include <objbase.h>

#include "app/manager_app.h"
#include "resource.h"

namespace kvo {
namespace {

struct CommandText {
  const wchar_t* caption;  // of both the confirmation and the result box
  const wchar_t* confirmation;
};

// Indexed by RunMode.
const CommandText kCommands[2] = {
    {L"実行", L"ファイルの移動を実施します。\r\nよろしいですか？"},
    {L"チェックのみ", L"チェックのみ実施します。\r\nよろしいですか？"},
};

// Indexed by RunResult.
const wchar_t* const kResultTexts[2] = {L"完了しました", L"処理を中断しました"};

}  // namespace

int ManagerApp::OnInitDialog(HWND window) {
  dialog = window;
  pane.Attach(window);
  HWND hwnd = dialog;
  // The new-style folder browser needs a single-threaded apartment.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

  HICON icon = LoadIconW(nullptr, IDI_APPLICATION);
  SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));

  LoadSettings();
  for (int slot = 0; slot < kFolderSlotCount; ++slot) {
    SendDlgItemMessageW(hwnd, IDC_PLUGIN_PATH + slot, WM_SETTEXT, 0,
                        reinterpret_cast<LPARAM>(folders.paths[slot]));
  }
  pane.RemoveLimit();
  CaptureLayout();
  RegisterTaskbarButtonCreated();
  // TRUE: the dialog manager gives the keyboard to the first tab stop, button 1008.
  return TRUE;
}

int ManagerApp::Box(const wchar_t* text, const wchar_t* caption, unsigned flags) {
  ++modalDepth;
  const int answer = MessageBoxW(dialog, text, caption, flags);
  --modalDepth;
  return answer;
}

void ManagerApp::OnCommand(RunMode mode) {
  HWND hwnd = dialog;
  const CommandText& text = kCommands[mode == RunMode::kExecute ? 0 : 1];
  // Cancel is the default button, so a stray Enter never moves files.
  const int answer = Box(text.confirmation, text.caption, MB_OKCANCEL | MB_DEFBUTTON2);
  // A close asked for while the box was up wins over its answer: the dialog
  // is about to go, and nobody would see the run or its result.
  if (closeRequested) {
    Close();
    return;
  }
  if (answer != IDOK) return;
  pane.Clear();
  // Paint the empty pane at once, so the previous log is not seen as the
  // new run's beginning.
  UpdateWindow(GetDlgItem(hwnd, IDC_LOG_PANE));

  const RunResult result = RunInBackground(mode);
  // A close asked for during the run waited for it; it comes after the box.
  Box(kResultTexts[result == RunResult::kCompleted ? 0 : 1], text.caption, MB_OK);
  if (closeRequested) Close();
}

void ManagerApp::OnClose() {
  // Under a box or the folder browser, or during a run: ending the dialog,
  // or COM, now would pull the ground from under them. Their caller closes
  // once they return (after a run, once its result box is answered).
  if (modalDepth > 0 || Running()) {
    closeRequested = true;
    return;
  }
  Close();
}

void ManagerApp::Close() {
  SaveSettings();
  taskbar.Disconnect();
  CoUninitialize();
  EndDialog(dialog, 0);
}

}  // namespace kvo
