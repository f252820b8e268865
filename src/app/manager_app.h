// The application object: all lasting state of the tool.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace kvo {

enum FolderSlot : int { kPlugin = 0, kPreset = 1, kWork = 2, kFolderSlotCount = 3 };
enum RunMode : int { kExecute = 0, kCheckOnly = 1 };
enum RunResult : int { kCompleted = 0, kAborted = 1 };
enum AnchorKind : std::int32_t {
  kStretchWidth = 0,
  kFollowRight = 1,
  kStretchBoth = 2,
  kFollowBottom = 3,
};

// Label (browse title and name in the read-failure line) and file pattern.
const char16_t* FolderLabel(int slot);
const char16_t* FolderPattern(int slot);

// The three folder paths exactly as the settings file holds them.
struct SettingsRecord {
  char16_t paths[kFolderSlotCount][kMaxPath];
};
static_assert(sizeof(SettingsRecord) == 1560, "the settings file is 1560 bytes");

struct LayoutEntry {
  std::int32_t id;
  std::int32_t kind;
  std::int32_t x;
  std::int32_t y;
  std::int32_t width;
  std::int32_t height;
};

struct ManagerApp {
  void* dialog;  // HWND in the Windows build; a MemoryPane* elsewhere
  std::int32_t initialClientWidth;
  std::int32_t initialClientHeight;
  LayoutEntry layout[8];
  char16_t lineBuffer[platform::kLineBufferUnits];
  char16_t settingsPath[kMaxPath];
  SettingsRecord folders;

  // The tool's work: lists, scans, moves (Execute only) and the report.
  int RunReconciliation(int mode);

  // Windows shell only.
  int OnInitDialog(void* window);
  void OnCommand(int mode);
  void OnClose();
  void OnSize(unsigned width, unsigned height);
  void OnBrowse(int slot);
  void LoadSettings();
  void SaveSettings();
  void CaptureLayout();
};

}  // namespace kvo
