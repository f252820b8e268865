// Platform functions built only from the others, and the decisions that are
// the same on every system.
#include <algorithm>

#include "platform/platform.h"
#include "platform/platform_internal.h"
#include "platform/system.h"

namespace kvo {
namespace platform {
namespace {

std::u16string& StartFolderRecord() {
  static std::u16string folder;
  return folder;
}

char16_t AsciiLower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

// Equal but for the letter case of ASCII letters: then the name order finds
// them equal too, without being asked (it is the slow part of matching a
// listing of thousands under Wine). Anything else is left to the order.
bool SameButAsciiCase(const char16_t* a, const char16_t* b) {
  for (; *a != 0 || *b != 0; ++a, ++b) {
    if (*a != *b && (*a >= 0x80 || AsciiLower(*a) != AsciiLower(*b))) return false;
  }
  return true;
}

bool SameUnit(char16_t a, char16_t b) {
  if (a == b) return true;
  const char16_t x[2] = {a, 0};
  const char16_t y[2] = {b, 0};
  return CompareNames(x, y) == 0;
}

// Owns an open file and closes it however its user is left, running out of
// memory included.
class ScopedFile {
 public:
  explicit ScopedFile(FileHandle file) : file_(file) {}
  ~ScopedFile() { CloseFile(file_); }
  ScopedFile(const ScopedFile&) = delete;
  ScopedFile& operator=(const ScopedFile&) = delete;
  FileHandle get() const { return file_; }

 private:
  FileHandle file_;
};

}  // namespace

FileStatus ReadWholeFile(const std::u16string& path, std::size_t extraZeros,
                         std::vector<char>& out) {
  FileStatus status = FileStatus::kUnreadable;
  ScopedFile file(OpenForReadNoShare(path, &status));
  std::uint32_t size = 0;
  if (file.get() == nullptr || !FileSize32(file.get(), &size)) {
    out.clear();
    return file.get() == nullptr ? status : FileStatus::kUnreadable;
  }
  const std::size_t needed = static_cast<std::size_t>(size) + extraZeros;
  if (needed > out.capacity()) {
    // Drop the old storage first: after a failed allocation the buffer must
    // be empty, not holding on to what it had.
    std::vector<char>().swap(out);
    // Exactly what this file needs: a 3 GiB file must not ask for 6.
    out.reserve(needed);
  }
  // Only units the buffer did not hold before are zeroed here: a buffer
  // reused for thousands of presets is not cleared for each, as the read
  // overwrites it anyway.
  out.resize(needed);
  if (size > 0 && !ReadExact(file.get(), size, out.data())) {
    out.clear();
    return FileStatus::kUnreadable;
  }
  std::fill(out.begin() + size, out.end(), 0);
  return FileStatus::kRead;
}

FileStatus ClassifyOpenFailure(OpenError error, const std::u16string& path) {
  switch (error) {
    case OpenError::kNoFile:
      return FileStatus::kMissing;
    case OpenError::kNoFolder:
      return FileStatus::kNoFolder;
    case OpenError::kOther:
      break;
  }
  return IsFolderName(path) ? FileStatus::kFolder : FileStatus::kUnreadable;
}

bool MatchesPattern(const std::u16string& pattern, const std::u16string& name) {
  // "*" and a literal tail ("*.vac"), the tool's own patterns: one
  // comparison of the name's end, asked once per entry of a large folder.
  if (!pattern.empty() && pattern[0] == u'*' &&
      pattern.find_first_of(u"*?", 1) == std::u16string::npos) {
    const std::size_t tail = pattern.size() - 1;
    if (name.size() < tail) return false;
    const char16_t* end = name.c_str() + (name.size() - tail);
    return SameButAsciiCase(pattern.c_str() + 1, end) || CompareNames(pattern.c_str() + 1, end) == 0;
  }
  // Anything else: iterative '*' / '?' matching with one back-tracking point.
  const char16_t* p = pattern.c_str();
  const char16_t* n = name.c_str();
  const char16_t* star = nullptr;
  const char16_t* resume = nullptr;
  while (*n) {
    if (*p == u'*') {
      star = p++;
      resume = n;
    } else if (*p == u'?' || (*p && SameUnit(*p, *n))) {
      ++p;
      ++n;
    } else if (star) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (*p == u'*') ++p;
  return *p == 0;
}

void RecordStartFolder() { StartFolderRecord() = CurrentFolder(); }

std::u16string StartFolder() {
  if (StartFolderRecord().empty()) RecordStartFolder();
  return StartFolderRecord();
}

std::uint32_t AnsiConversionFlags(std::uint32_t codePage) {
  constexpr std::uint32_t kPrecomposed = 0x00000001;  // MB_PRECOMPOSED
  constexpr std::uint32_t kUtf8 = 65001;
  constexpr std::uint32_t kGb18030 = 54936;
  return codePage == kUtf8 || codePage == kGb18030 ? 0 : kPrecomposed;
}

}  // namespace platform
}  // namespace kvo
