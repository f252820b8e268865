// Turning the bytes of a settings file into the three folder paths, without
// any window or file access, so that every possible file content can be
// tried against it.
#pragma once

#include <cstddef>

#include "app/manager_app.h"

namespace kvo {

// Clears the whole record, copies the first min(size, 1560) bytes into it
// and forces a zero into the last unit of each 260-unit field. A short,
// long or damaged file thus always yields three terminated paths, and
// nothing after a field's 260 units is ever taken for part of it.
void SettingsRecordFromBytes(const void* bytes, std::size_t size, SettingsRecord& record);

}  // namespace kvo
