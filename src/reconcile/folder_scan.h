// Lists a folder by wildcard pattern into a NameSet.
#pragma once

#include <string>
#include <vector>

#include "lists/name_set.h"
#include "platform/file_system.h"
#include "platform/platform.h"

namespace kvo {

// Lists `folder` through `fs` into `names`. kListed: `folder` is a folder, and
// every matching entry, sub-folders included, has been added to `names`.
// kFailed, `names` untouched: it is not a folder, it is too deep for folder +
// separator + pattern to fit a path, or it cannot be listed to its end.
// `delivered`, when given, is set to the matching names in the order the
// system delivered them, equivalent ones included, sharing the texts of
// `names`.
platform::ListStatus ScanFolder(platform::FileSystem& fs, const std::u16string& folder,
                                const std::u16string& pattern, NameSet& names,
                                std::vector<SharedName>* delivered = nullptr);

// Lists the folder of an earlier ScanFolder, which delivered `delivered` and
// filled `names`, again: the same as clearing `names` and scanning anew, a
// failure leaving `names` empty. When the system delivers exactly the names
// it delivered then (in the same order), `names` is already what a scan
// would make of them and is kept as it is; a large folder is then not put in
// order a second time.
platform::ListStatus RescanFolder(platform::FileSystem& fs, const std::u16string& folder,
                                  const std::u16string& pattern,
                                  const std::vector<SharedName>& delivered, NameSet& names);

}  // namespace kvo
