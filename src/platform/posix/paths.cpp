// POSIX paths: joining a folder and a name, and folder fields made absolute.
// Pure text: nothing here asks the file system.
#include <string>
#include <utility>

#include "platform/platform.h"

namespace kvo {
namespace platform {
namespace {

bool IsSeparator(char16_t c) { return c == u'/'; }

// The path rules only ever join; the result must fit MAX_PATH with its NUL.
std::u16string Joined(const std::u16string& folder, const std::u16string& name) {
  if (folder.empty()) return name;
  if (name.empty()) return folder;
  std::u16string out = folder;
  if (!IsSeparator(out.back())) out += u'/';
  std::size_t skip = 0;
  while (skip < name.size() && IsSeparator(name[skip])) ++skip;
  out.append(name, skip, std::u16string::npos);
  return out;
}

}  // namespace

bool CombinePath(const std::u16string& folder, const std::u16string& name, std::u16string& out) {
  std::u16string joined = Joined(folder, name);
  if (joined.size() + 1 > kMaxPath) return false;
  out = std::move(joined);
  return true;
}

bool ListedNamePath(const std::u16string& folder, const std::u16string& name,
                    std::u16string& out) {
  // Every name is the file it names: there are no device names to avoid.
  return CombinePath(folder, name, out);
}

bool ResolveAgainst(const std::u16string& start, const std::u16string& field,
                    std::u16string& out) {
  out.clear();
  if (field.empty()) return true;
  std::u16string resolved;
  if (IsSeparator(field[0])) {
    resolved = field;
  } else {
    if (start.empty()) return false;
    resolved = Joined(start, field);
  }
  if (resolved.size() + 1 > kMaxPath) return false;
  out = std::move(resolved);
  return true;
}

}  // namespace platform
}  // namespace kvo
