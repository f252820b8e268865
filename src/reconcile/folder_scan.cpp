#include "reconcile/folder_scan.h"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "platform/platform.h"

namespace kvo {

ScanResult ScanFolder(platform::FileSystem& fs, NameSet& names, const std::u16string& folder,
                      const std::u16string& pattern) {
  if (!fs.IsDirectory(folder)) return ScanResult::kFailed;
  std::u16string searchPath;
  // A folder too deep to form a search path in cannot be listed, which is not
  // the same as an empty one: taken as empty, it would make every archive
  // look unneeded (Preset) or every needed one missing (Plugin).
  if (!platform::CombinePath(folder, pattern, searchPath)) return ScanResult::kFailed;
  std::vector<std::u16string> found;
  // A folder that exists but cannot be listed is not an empty one: taken as
  // empty, an unlistable Preset folder would send every archive to Work.
  if (fs.FindFiles(searchPath, found) != platform::ListStatus::kListed) {
    return ScanResult::kFailed;
  }
  // Inserted as if one by one in the order delivered (among equivalent names
  // the first delivered stays), but sorted first: a sorted run goes into the
  // set without searching or shifting.
  std::vector<std::size_t> order(found.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&found](std::size_t a, std::size_t b) {
    const int c = platform::CompareNames(found[a].c_str(), found[b].c_str());
    return c != 0 ? c < 0 : a < b;
  });
  for (std::size_t i : order) names.Insert(std::move(found[i]));
  return ScanResult::kListed;
}

}  // namespace kvo
