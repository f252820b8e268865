// Lists a folder by wildcard pattern into a NameSet.
#pragma once

#include <string>

#include "lists/name_set.h"
#include "platform/file_system.h"

namespace kvo {

// How a folder scan ended.
enum class ScanResult {
  kListed,  // `folder` is a directory; every matching entry, sub-folders
            // included, has been added to `names`
  kFailed,  // it is not, it is too deep for folder + separator + pattern to
            // fit a path, or it cannot be listed to its end; `names` untouched
};

// Lists `folder` through `fs`.
ScanResult ScanFolder(platform::FileSystem& fs, NameSet& names, const std::u16string& folder,
                      const std::u16string& pattern);

}  // namespace kvo
