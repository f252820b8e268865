// Platform functions built only from the others, the same on every system.
#include "platform/platform.h"

namespace kvo {
namespace platform {

bool ReadWholeFile(const std::u16string& path, std::vector<char>& out, std::size_t extraZeros) {
  out.clear();
  FileHandle file = OpenForReadNoShare(path);
  if (file == nullptr) return false;
  // Closed however we leave, running out of memory included.
  struct Closer {
    FileHandle file;
    ~Closer() { CloseFile(file); }
  } closer{file};
  std::uint32_t size = 0;
  if (!FileSize32(file, &size)) return false;
  out.assign(static_cast<std::size_t>(size) + extraZeros, 0);
  if (size > 0 && !ReadExact(file, out.data(), size)) {
    out.clear();
    return false;
  }
  return true;
}

}  // namespace platform
}  // namespace kvo
