// Platform functions built only from the others, the same on every system.
#include "platform/platform.h"

namespace kvo {
namespace platform {
namespace {

std::u16string& StartDirRecord() {
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

}  // namespace

FileStatus ReadWholeFile(const std::u16string& path, std::vector<char>& out, std::size_t extraZeros) {
  out.clear();
  FileStatus status = FileStatus::kUnreadable;
  ScopedFile file(OpenForReadNoShare(path, &status));
  if (file.get() == nullptr) return status;
  std::uint32_t size = 0;
  if (!FileSize32(file.get(), &size)) return FileStatus::kUnreadable;
  out.assign(static_cast<std::size_t>(size) + extraZeros, 0);
  if (size > 0 && !ReadExact(file.get(), out.data(), size)) {
    out.clear();
    return FileStatus::kUnreadable;
  }
  return FileStatus::kRead;
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

void RecordStartDir() { StartDirRecord() = CurrentDir(); }

std::u16string StartDir() {
  if (StartDirRecord().empty()) RecordStartDir();
  return StartDirRecord();
}

std::uint32_t AnsiConversionFlags(std::uint32_t codePage) {
  constexpr std::uint32_t kPrecomposed = 0x00000001;  // MB_PRECOMPOSED
  constexpr std::uint32_t kUtf8 = 65001;
  constexpr std::uint32_t kGb18030 = 54936;
  return codePage == kUtf8 || codePage == kGb18030 ? 0 : kPrecomposed;
}

}  // namespace platform
}  // namespace kvo
