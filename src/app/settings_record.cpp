#include "app/settings_record.h"

#include <cstring>

namespace kvo {

void SettingsRecordFromBytes(const void* bytes, std::size_t size, SettingsRecord& record) {
  std::memset(&record, 0, sizeof record);
  const std::size_t used = size < sizeof record ? size : sizeof record;
  if (used > 0) std::memcpy(&record, bytes, used);
  for (int slot = 0; slot < kFolderSlotCount; ++slot) record.paths[slot][kMaxPath - 1] = 0;
}

}  // namespace kvo
