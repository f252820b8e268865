#include "reconcile/folder_scan.h"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "platform/platform.h"

namespace kvo {

int ScanFolder(NameSet& names, const std::u16string& folder, const std::u16string& pattern) {
  if (!platform::IsDirectory(folder)) return -1;
  std::u16string searchPath;
  // A folder too deep to form a search path in holds nothing we can list.
  if (!platform::CombinePath(folder, pattern, searchPath)) return 0;
  std::vector<std::u16string> found;
  // A folder that exists but cannot be listed is not an empty one: taken as
  // empty, an unlistable Preset folder would send every archive to Work.
  if (platform::FindFiles(searchPath, found) != platform::ListStatus::kListed) return -1;
  // Inserted as if one by one in the order delivered (among equivalent names
  // the first delivered stays), but sorted first, by key: a sorted run goes
  // into the set without searching or shifting.
  std::vector<SharedName> shared;
  shared.reserve(found.size());
  for (std::u16string& name : found) shared.emplace_back(std::move(name));
  std::vector<std::size_t> order(shared.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&shared](std::size_t a, std::size_t b) {
    const int c = shared[a].Key().compare(shared[b].Key());
    return c != 0 ? c < 0 : a < b;
  });
  for (std::size_t i : order) names.Insert(shared[i]);
  return 0;
}

}  // namespace kvo
