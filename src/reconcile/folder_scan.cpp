#include "reconcile/folder_scan.h"

#include <algorithm>
#include <cstddef>
#include <utility>

#include "platform/platform.h"

namespace kvo {
namespace {

// The names matching `pattern` in `folder`, as the system delivers them.
bool List(platform::FileSystem& fs, const std::u16string& folder, const std::u16string& pattern,
          std::vector<std::u16string>& found) {
  if (!fs.IsFolder(folder)) return false;
  std::u16string searchPath;
  // A folder too deep to form a search path in cannot be listed, which is not
  // the same as an empty one: taken as empty, it would make every archive
  // look unneeded (Preset) or every needed one missing (Plugin).
  if (!platform::CombinePath(folder, pattern, searchPath)) return false;
  // A folder that exists but cannot be listed is not an empty one: taken as
  // empty, an unlistable Preset folder would send every archive to Work.
  return fs.FindFiles(searchPath, found) == platform::ListStatus::kListed;
}

// Inserted as if one by one in the order delivered (among equivalent names
// the first delivered stays), but sorted first, by key: a sorted run goes
// into the set without searching or shifting.
void Fill(std::vector<std::u16string>& found, NameSet& names, std::vector<SharedName>* delivered) {
  std::vector<SharedName> shared;
  shared.reserve(found.size());
  for (std::u16string& name : found) shared.emplace_back(std::move(name));
  std::vector<std::size_t> order(shared.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&shared](std::size_t a, std::size_t b) {
    const int c = shared[a].Compare(shared[b]);
    return c != 0 ? c < 0 : a < b;
  });
  for (std::size_t i : order) names.Insert(shared[i]);
  if (delivered != nullptr) delivered->swap(shared);
}

}  // namespace

platform::ListStatus ScanFolder(platform::FileSystem& fs, const std::u16string& folder,
                                const std::u16string& pattern, NameSet& names,
                                std::vector<SharedName>* delivered) {
  std::vector<std::u16string> found;
  if (!List(fs, folder, pattern, found)) return platform::ListStatus::kFailed;
  Fill(found, names, delivered);
  return platform::ListStatus::kListed;
}

platform::ListStatus RescanFolder(platform::FileSystem& fs, const std::u16string& folder,
                                  const std::u16string& pattern,
                                  const std::vector<SharedName>& delivered, NameSet& names) {
  std::vector<std::u16string> found;
  if (!List(fs, folder, pattern, found)) {
    names.Clear();
    return platform::ListStatus::kFailed;
  }
  bool same = found.size() == delivered.size();
  for (std::size_t i = 0; same && i < found.size(); ++i) same = found[i] == delivered[i].Text();
  if (same) return platform::ListStatus::kListed;
  names.Clear();
  Fill(found, names, nullptr);
  return platform::ListStatus::kListed;
}

}  // namespace kvo
