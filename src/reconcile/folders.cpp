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

}  // namespace kvo
