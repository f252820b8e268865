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

// The decisions about the settings file, apart from the reading, the
// registry and the writing that the dialog does around them. A file's status
// is how reading it went: kRead, kMissing or kNoFolder (no file), anything
// else unreadable (held by another program, no access, a short read).

// The start: a file that was read gives the three fields. A missing or
// unreadable one gives empty fields and returns true: the caller fills in the
// fallback (the host application's registry entry).
bool SettingsRecordAtStart(platform::FileStatus file, const void* bytes, std::size_t size,
                           SettingsRecord& record);

// Whether the close must read the file again before deciding what to write:
// it was there at start but could not be read, and a folder was chosen since.
// `chosen` marks the slots a folder was picked for in the browser, even the
// path already shown.
bool SettingsReadAgainAtClose(platform::FileStatus atStart,
                              const bool (&chosen)[kFolderSlotCount]);

// What the close writes, given the status at start, the chosen slots, the
// dialog's record and, when SettingsReadAgainAtClose asked for it, how the
// read at close went and its bytes. Returns false when nothing may be
// written: the file could not be read at start and nothing was chosen, or it
// still cannot be read (the old paths are kept, the choice is lost).
// Otherwise `record` is what to write: the dialog's record, except after a
// read at close that succeeded, where each slot not chosen keeps the file's
// path.
bool SettingsRecordToSave(platform::FileStatus atStart, const bool (&chosen)[kFolderSlotCount],
                          const SettingsRecord& shown, platform::FileStatus again,
                          const void* bytes, std::size_t size, SettingsRecord& record);

}  // namespace kvo
