#include "reconcile/folder_scan.h"

#include <vector>

#include "platform/platform.h"

namespace kvo {

int ScanFolder(NameSet& names, const std::u16string& folder, const std::u16string& pattern) {
  if (!platform::IsDirectory(folder)) return -1;
  std::u16string searchPath;
  // A folder too deep to form a search path in holds nothing we can list.
  if (!platform::CombinePath(folder, pattern, searchPath)) return 0;
  std::vector<std::u16string> found;
  platform::FindFiles(searchPath, found);
  for (std::u16string& name : found) names.Insert(std::move(name));
  return 0;
}

}  // namespace kvo
