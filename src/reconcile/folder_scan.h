// Lists a folder by wildcard pattern into a NameSet.
#pragma once

#include <string>
#include <vector>

#include "lists/name_set.h"

namespace kvo {

// 0 when `folder` is a directory (every matching entry, sub-folders included,
// has been added to `names`); -1 when it is not, or when it cannot be listed
// to its end, leaving `names` untouched. `delivered`, when given, is set to
// the matching names in the order the system delivered them, equivalent ones
// included, sharing the texts of `names`.
int ScanFolder(NameSet& names, const std::u16string& folder, const std::u16string& pattern,
               std::vector<SharedName>* delivered = nullptr);

// Lists the folder of an earlier ScanFolder into `names` (filled by it) again:
// the same as clearing `names` and scanning anew, a failure leaving `names`
// empty. When the system delivers exactly the names it delivered then (in
// the same order), `names` is already what a scan would make of them and is
// kept as it is; a large folder is then not put in order a second time.
int RescanFolder(NameSet& names, const std::u16string& folder, const std::u16string& pattern,
                 const std::vector<SharedName>& delivered);

}  // namespace kvo
