// A run on a thread of its own, and the dialog while it works: the window
// keeps answering (it repaints, moves, minimises), shows how far the run is
// in its title and on its taskbar button, takes no input that could start a
// second run or change a folder, and asks Windows not to end the session.
//
// The run's lines reach the pane as messages sent from the run's thread to
// the dialog's; the dialog's thread waits for the run in a loop that takes
// them (MsgWaitForMultipleObjects), so the two never wait for each other.
// A single blocking call inside the run (a cold disk, a file a cloud client
// has to fetch) then never freezes the window, as it would if the one
// thread ran and pumped messages in between.
#include <windows.h>

#include <new>

#include "app/manager_app.h"
#include "reconcile/progress.h"
#include "resource.h"

namespace kvo {

struct ActiveRun {
  ManagerApp* app = nullptr;
  RunMode mode = RunMode::kCheckOnly;
  RunResult result = RunResult::kAborted;
  SharedProgress progress;
  platform::StopFlag stop{false};
  HANDLE thread = nullptr;
  HWND focus = nullptr;  // the control to give the keyboard back to
  RunPosition shown;     // what the title and the taskbar show
};

namespace {

constexpr UINT_PTR kProgressTimer = 1;
// About ten times a second: often enough to see it move, rarely enough to
// cost nothing.
constexpr UINT kProgressIntervalMs = 100;

const wchar_t kTitle[] = L"Kvo Manager";

// Indexed by RunStage.
const wchar_t* const kStageTexts[] = {
    L"リストを読み込み中", L"フォルダを読み込み中", L"プリセットを読み込み中",
    L"ファイルを移動中", L"結果を作成中",
};

// What Windows shows for the program when the user shuts down during a
// run. Indexed by RunMode.
const wchar_t* const kBlockReasons[] = {L"ファイルを移動しています",
                                        L"プリセットをチェックしています"};

// Taken out of use while a run works: nothing may start another run or
// change a folder. The pane stays in use: it can be scrolled and selected.
const int kInputControls[] = {IDC_PLUGIN_PATH,   IDC_PRESET_PATH,   IDC_WORK_PATH,
                              IDC_PLUGIN_BROWSE, IDC_PRESET_BROWSE, IDC_WORK_BROWSE,
                              IDC_EXECUTE,       IDC_CHECK_ONLY};

// Looked up at run time: the block reasons are missing before Vista, and a
// missing import would keep the program from starting at all. They are only
// a courtesy to the shell; without them the program works as before.
template <typename Function>
Function User32(const char* name) {
  return reinterpret_cast<Function>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

void BlockShutdown(HWND dialog, RunMode mode) {
  using Create = BOOL(WINAPI*)(HWND, LPCWSTR);
  // A failure (Wine implements neither call) changes nothing else.
  if (auto create = User32<Create>("ShutdownBlockReasonCreate")) {
    create(dialog, kBlockReasons[mode == RunMode::kExecute ? 0 : 1]);
  }
}

void UnblockShutdown(HWND dialog) {
  using Destroy = BOOL(WINAPI*)(HWND);
  if (auto destroy = User32<Destroy>("ShutdownBlockReasonDestroy")) destroy(dialog);
}

void ShowTitle(HWND dialog, const RunPosition& position) {
  const unsigned stage = static_cast<unsigned>(position.stage);
  const wchar_t* text = stage < sizeof kStageTexts / sizeof *kStageTexts ? kStageTexts[stage] : L"";
  wchar_t title[128];
  if (position.total == 0) {
    wsprintfW(title, L"%s - %s", kTitle, text);
  } else {
    wsprintfW(title, L"%s - %s %u/%u", kTitle, text, static_cast<unsigned>(position.done),
              static_cast<unsigned>(position.total));
  }
  SetWindowTextW(dialog, title);
}

RunResult Work(ActiveRun& run) {
  try {
    return run.app->RunReconciliation(run.mode, &run.progress, &run.stop);
  } catch (const std::bad_alloc&) {
    // Out of memory: the run's containers are released by the unwinding
    // that brought us here. It must not end the thread, and so the program.
    return RunResult::kAborted;
  }
}

DWORD WINAPI RunThread(void* parameter) {
  ActiveRun& run = *static_cast<ActiveRun*>(parameter);
  run.result = Work(run);
  return 0;
}

// Esc and Enter would act on the dialog (a multi-line edit with the focus
// even closes it on Esc): during a run they do nothing.
bool IsIgnoredKey(const MSG& message, HWND dialog) {
  if (message.message != WM_KEYDOWN && message.message != WM_KEYUP && message.message != WM_CHAR) {
    return false;
  }
  if (message.wParam != VK_ESCAPE && message.wParam != VK_RETURN) return false;
  return message.hwnd == dialog || IsChild(dialog, message.hwnd);
}

// Dispatches everything, as the dialog's own loop would, until `thread` ends.
void KeepWindowAlive(HWND dialog, HANDLE thread) {
  bool quit = false;
  WPARAM quitCode = 0;
  for (;;) {
    const DWORD woke =
        MsgWaitForMultipleObjectsEx(1, &thread, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (woke == WAIT_OBJECT_0) break;
    if (woke != WAIT_OBJECT_0 + 1) {
      // The wait itself failed: still never leave before the run ends.
      WaitForSingleObject(thread, INFINITE);
      break;
    }
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        // For whoever runs the outer loop, once the run is over.
        quit = true;
        quitCode = message.wParam;
        continue;
      }
      if (IsIgnoredKey(message, dialog)) continue;
      if (!IsDialogMessageW(dialog, &message)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
      }
    }
  }
  if (quit) PostQuitMessage(static_cast<int>(quitCode));
}

// Waits for `thread`, taking only the messages other threads send: the run
// goes on writing into the pane until it reaches its stop. Nothing posted
// (input, timers) is taken: the session is ending. MWMO_INPUTAVAILABLE: a
// line the run sent before this wait began must wake it too, or both
// threads would wait for each other.
void WaitTakingSentMessages(HANDLE thread) {
  while (MsgWaitForMultipleObjectsEx(1, &thread, INFINITE, QS_SENDMESSAGE,
                                     MWMO_INPUTAVAILABLE) == WAIT_OBJECT_0 + 1) {
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

}  // namespace

RunResult ManagerApp::RunInBackground(RunMode mode) {
  ActiveRun run;
  run.app = this;
  run.mode = mode;
  activeRun = &run;

  // The keyboard goes to the pane, the one control left in use, before
  // the others are disabled, so that it never rests on a disabled one.
  HWND focus = GetFocus();
  run.focus = focus != nullptr && IsChild(dialog, focus)
                  ? focus
                  : GetDlgItem(dialog, mode == RunMode::kExecute ? IDC_EXECUTE : IDC_CHECK_ONLY);
  SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, IDC_LOG_PANE)),
               TRUE);
  for (int id : kInputControls) EnableWindow(GetDlgItem(dialog, id), FALSE);
  BlockShutdown(dialog, mode);
  run.shown = run.progress.Read();
  ShowTitle(dialog, run.shown);
  taskbar.Show(run.shown);
  SetTimer(dialog, kProgressTimer, kProgressIntervalMs, nullptr);

  run.thread = CreateThread(nullptr, 0, RunThread, &run, 0, nullptr);
  if (run.thread != nullptr) {
    KeepWindowAlive(dialog, run.thread);
    CloseHandle(run.thread);
    run.thread = nullptr;
  } else {
    // No thread to be had: the run works here, and the window waits for
    // it as it once always did.
    run.result = Work(run);
  }

  // Everything as it was before the result box shows.
  KillTimer(dialog, kProgressTimer);
  for (int id : kInputControls) EnableWindow(GetDlgItem(dialog, id), TRUE);
  if (IsWindow(run.focus)) {
    SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(run.focus), TRUE);
  }
  SetWindowTextW(dialog, kTitle);
  taskbar.Clear();
  UnblockShutdown(dialog);
  activeRun = nullptr;
  return run.result;
}

void ManagerApp::OnProgressTimer() {
  if (activeRun == nullptr) return;
  const RunPosition now = activeRun->progress.Read();
  if (now == activeRun->shown) return;
  activeRun->shown = now;
  ShowTitle(dialog, now);
  taskbar.Show(now);
}

bool ManagerApp::OnSetCursor(unsigned hitTest) {
  // The frame keeps its sizing cursors: the window can be moved and sized.
  if (activeRun == nullptr || hitTest != HTCLIENT) return false;
  SetCursor(LoadCursorW(nullptr, IDC_APPSTARTING));
  return true;
}

bool ManagerApp::OnQueryEndSession() { return activeRun == nullptr; }

void ManagerApp::OnEndSession() {
  // The user ends the session although a run works: stop it where nothing
  // is left half done (a copy to another drive gives up and removes its
  // temporary file), and keep the folders. The system ends the process once
  // this returns.
  if (activeRun != nullptr && activeRun->thread != nullptr) {
    activeRun->stop.store(true);
    WaitTakingSentMessages(activeRun->thread);
  }
  SaveSettings();
}

void ManagerApp::OnTaskbarButtonCreated() {
  taskbar.Connect(dialog);
  if (activeRun != nullptr) taskbar.Show(activeRun->shown);
}

}  // namespace kvo
