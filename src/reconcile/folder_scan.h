// Lists a folder by wildcard pattern into a NameSet.
#pragma once

#include <string>

#include "lists/name_set.h"
#include "platform/file_system.h"

namespace kvo {

// Lists `folder` through `fs`. 0 when `folder` is a directory (every matching entry, sub-folders included,
// has been added to `names`); -1 when it is not, when it is too deep for
// folder + separator + pattern to fit a path, or when it cannot be listed to
// its end, leaving `names` untouched.
int ScanFolder(platform::FileSystem& fs, NameSet& names, const std::u16string& folder, const std::u16string& pattern);

}  // namespace kvo
