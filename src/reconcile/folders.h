// The three folders a run works on, and the record that remembers them.
#pragma once

#include <cstddef>

#include "platform/platform.h"

namespace kvo {

// The folders in their fixed order: the order of the scans, of the settings
// record's fields and of the dialog's path fields and browse buttons.
enum FolderSlot : int { kPlugin = 0, kPreset = 1, kWork = 2, kFolderSlotCount = 3 };

// The slot's label ("Plugin:" ...): the folder browser's title and the name
// in the run's read-failure line.
const char16_t* FolderLabel(FolderSlot slot);
// The slot's file pattern: "*.vac", "*.kvo", "*.vac".
const char16_t* FolderPattern(FolderSlot slot);

// The three folder paths exactly as the settings file holds them: 260
// UTF-16 units each, terminated.
struct SettingsRecord {
  char16_t paths[kFolderSlotCount][kMaxPath];
};
static_assert(sizeof(SettingsRecord) == 1560, "the settings file is 1560 bytes");

// Clears the whole record, copies the first min(size, 1560) bytes of a
// settings file into it and forces a zero into the last unit of each field.
// A short, long or damaged file thus always yields three terminated paths,
// and nothing after a field's 260 units is ever taken for part of it. No
// window or file is touched, so any content can be tried against it.
void SettingsRecordFromBytes(const void* bytes, std::size_t size, SettingsRecord& record);

}  // namespace kvo
