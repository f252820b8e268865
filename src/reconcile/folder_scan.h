// Lists a folder by wildcard pattern into a NameSet.
#pragma once

#include <string>
#include <vector>

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

// Lists `folder` through `fs`. `delivered`, when given, is set to the
// matching names in the order the system delivered them, equivalent ones
// included, sharing the texts of `names`.
ScanResult ScanFolder(platform::FileSystem& fs, NameSet& names, const std::u16string& folder,
                      const std::u16string& pattern,
                      std::vector<SharedName>* delivered = nullptr);

// Lists the folder of an earlier ScanFolder into `names` (filled by it) again:
// the same as clearing `names` and scanning anew, a failure leaving `names`
// empty. When the system delivers exactly the names it delivered then (in
// the same order), `names` is already what a scan would make of them and is
// kept as it is; a large folder is then not put in order a second time.
ScanResult RescanFolder(platform::FileSystem& fs, NameSet& names, const std::u16string& folder,
                        const std::u16string& pattern,
                        const std::vector<SharedName>& delivered);

}  // namespace kvo
