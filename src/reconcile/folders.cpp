#include "reconcile/folders.h"

#include <cstring>

namespace kvo {

const char16_t* FolderLabel(FolderSlot slot) {
  static const char16_t* const kLabels[kFolderSlotCount] = {u"Plugin:", u"Preset:", u"Work:"};
  return kLabels[slot];
}

const char16_t* FolderPattern(FolderSlot slot) {
  static const char16_t* const kPatterns[kFolderSlotCount] = {u"*.vac", u"*.kvo", u"*.vac"};
  return kPatterns[slot];
}

void SettingsRecordFromBytes(const void* bytes, std::size_t size, SettingsRecord& record) {
  std::memset(&record, 0, sizeof record);
  const std::size_t used = size < sizeof record ? size : sizeof record;
  if (used > 0) std::memcpy(&record, bytes, used);
  for (int slot = 0; slot < kFolderSlotCount; ++slot) record.paths[slot][kMaxPath - 1] = 0;
}

namespace {

bool Missing(platform::FileStatus file) {
  return file == platform::FileStatus::kMissing || file == platform::FileStatus::kNoFolder;
}

bool Unreadable(platform::FileStatus file) {
  return file != platform::FileStatus::kRead && !Missing(file);
}

}  // namespace

bool SettingsRecordAtStart(platform::FileStatus file, const void* bytes, std::size_t size,
                           SettingsRecord& record) {
  if (file == platform::FileStatus::kRead) {
    SettingsRecordFromBytes(bytes, size, record);
    return false;
  }
  std::memset(&record, 0, sizeof record);
  return true;
}

bool SettingsReadAgainAtClose(platform::FileStatus atStart,
                              const bool (&chosen)[kFolderSlotCount]) {
  if (!Unreadable(atStart)) return false;
  for (bool slot : chosen) {
    if (slot) return true;
  }
  return false;
}

bool SettingsRecordToSave(platform::FileStatus atStart, const bool (&chosen)[kFolderSlotCount],
                          const SettingsRecord& shown, platform::FileStatus again,
                          const void* bytes, std::size_t size, SettingsRecord& record) {
  if (Unreadable(atStart)) {
    // The fields show the fallback, not the user's folders: only what was
    // chosen may replace what the file holds, and only once it can be read.
    if (!SettingsReadAgainAtClose(atStart, chosen) || Unreadable(again)) return false;
    if (again == platform::FileStatus::kRead) {
      SettingsRecordFromBytes(bytes, size, record);
      for (int slot = 0; slot < kFolderSlotCount; ++slot) {
        if (chosen[slot]) std::memcpy(record.paths[slot], shown.paths[slot], sizeof shown.paths[slot]);
      }
      return true;
    }
    // Gone meanwhile: as on a first start, the fields are all there is.
  }
  std::memcpy(&record, &shown, sizeof record);
  return true;
}

}  // namespace kvo
