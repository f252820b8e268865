// The application object: all lasting state of the program, and the
// handlers the dialog procedure calls.
#pragma once

#include <windows.h>

#include <cstdint>

#include "app/result_pane.h"
#include "app/taskbar.h"
#include "platform/file_system.h"
#include "platform/platform.h"
#include "reconcile/folders.h"
#include "reconcile/run.h"
#include "resource.h"

namespace kvo {

// The dialog reaches a slot's path field and browse button as the first id
// plus the slot.
static_assert(IDC_PRESET_PATH == IDC_PLUGIN_PATH + kPreset &&
                  IDC_WORK_PATH == IDC_PLUGIN_PATH + kWork,
              "the path fields have consecutive ids in slot order");
static_assert(IDC_PRESET_BROWSE == IDC_PLUGIN_BROWSE + kPreset &&
                  IDC_WORK_BROWSE == IDC_PLUGIN_BROWSE + kWork,
              "the browse buttons have consecutive ids in slot order");

// How a control follows the dialog's size.
enum AnchorKind : std::int32_t {
  kStretchWidth = 0,
  kFollowRight = 1,
  kStretchBoth = 2,
  kFollowBottom = 3,
};

// A control's place and size when the dialog was first laid out.
struct LayoutEntry {
  std::int32_t id;
  std::int32_t kind;  // AnchorKind
  std::int32_t x;
  std::int32_t y;
  std::int32_t width;
  std::int32_t height;
};

// A run working on its own thread, and what the dialog shows of it
// (running_win32.cpp).
struct ActiveRun;

struct ManagerApp {
  HWND dialog;
  std::int32_t initialClientWidth;
  std::int32_t initialClientHeight;
  LayoutEntry layout[8];
  // The result pane, with the lineBuffer every log line is formatted into.
  ResultPane pane;
  char16_t settingsPath[kMaxPath];
  SettingsRecord folders;
  // How reading the settings file went at start. When it was there but could
  // not be read (held by another program, no access, a failed read), the
  // fields show the fallback, which must not replace the file: the close
  // reads it again and writes only the slots chosen since.
  platform::FileStatus settingsAtStart;
  bool folderChosen[kFolderSlotCount];  // a folder was picked in the browser since start
  // Our message boxes and the folder browser run message loops of their own,
  // in which the dialog procedure is entered again. A close asked for
  // meanwhile is remembered and carried out once the box or browser returns.
  int modalDepth;
  bool closeRequested;
  // Set while a run works on its own thread and the dialog waits for it in
  // a message loop of its own: no second run starts and no folder changes
  // meanwhile, and a close waits for the run as it waits for a box.
  ActiveRun* activeRun;
  // The registered "TaskbarButtonCreated" message, and the button's progress bar.
  UINT taskbarButtonCreated;
  TaskbarProgress taskbar;

  RunResult RunReconciliation(RunMode mode, RunProgress* progress,
                              const platform::StopFlag* stop) {
    return kvo::RunReconciliation(platform::DefaultFileSystem(), pane, folders, mode, progress,
                                  stop);
  }
  bool Running() const { return activeRun != nullptr; }

  int OnInitDialog(HWND window);
  void OnCommand(RunMode mode);
  void OnClose();
  // Runs on a worker thread; this thread keeps the window alive meanwhile.
  RunResult RunInBackground(RunMode mode);
  // During a run: show how far it is (the progress timer).
  void OnProgressTimer();
  // During a run the cursor over the window says it is busy; true when set.
  bool OnSetCursor(unsigned hitTest);
  // Windows asks whether the session may end; no while a run works.
  bool OnQueryEndSession();
  // The session ends: a run is stopped and waited for, the settings saved.
  void OnEndSession();
  void OnTaskbarButtonCreated();
  void RegisterTaskbarButtonCreated();
  // Saves, ends COM and ends the dialog: the close itself.
  void Close();
  // MessageBoxW, counted as a modal loop of ours.
  int Box(const wchar_t* text, const wchar_t* caption, unsigned flags);
  void OnSize(unsigned width, unsigned height);
  void OnBrowse(FolderSlot slot);
  void LoadSettings();
  void SaveSettings();
  void CaptureLayout();
};

}  // namespace kvo
