// The application object: all lasting state of the program, and the
// handlers the dialog procedure calls.
#pragma once

#include <windows.h>

#include <cstdint>

#include "platform/file_system.h"
#include "platform/platform.h"
#include "reconcile/folders.h"
#include "reconcile/log_pane.h"
#include "reconcile/run.h"

namespace kvo {

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

struct ManagerApp {
  HWND dialog;
  std::int32_t initialClientWidth;
  std::int32_t initialClientHeight;
  LayoutEntry layout[8];
  char16_t lineBuffer[platform::kLineBufferUnits];
  char16_t settingsPath[kMaxPath];
  SettingsRecord folders;

  // The result pane is the dialog's edit control; the run reaches it
  // through the dialog.
  LogPaneTarget* Pane() const { return reinterpret_cast<LogPaneTarget*>(dialog); }
  RunResult RunReconciliation(RunMode mode) {
    return kvo::RunReconciliation(platform::DefaultFileSystem(), folders, Pane(), lineBuffer, mode);
  }

  int OnInitDialog(HWND window);
  void OnCommand(RunMode mode);
  void OnClose();
  void OnSize(unsigned width, unsigned height);
  void OnBrowse(FolderSlot slot);
  void LoadSettings();
  void SaveSettings();
  void CaptureLayout();
};

}  // namespace kvo
