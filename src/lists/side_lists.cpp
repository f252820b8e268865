#include "lists/side_lists.h"

#include <climits>
#include <cstring>

#include "platform/platform.h"

namespace kvo {
namespace {

// Calls `rule(line, length)` for every line of the text.
template <typename Rule>
void ForEachLine(const char* text, std::size_t size, Rule rule) {
  std::size_t start = 0;
  while (start < size) {
    std::size_t end = start;
    while (end < size && text[end] != '\n' && text[end] != '\0') ++end;
    // A NUL byte ends the text: the line holding it is not read, nor any after.
    if (end < size && text[end] == '\0') return;
    std::size_t length = end - start;
    // Lists are written with CR LF; a bare LF (or a last line without one)
    // must not cost the name its last character, so only a real CR is dropped.
    if (length > 0 && text[start + length - 1] == '\r') --length;
    rule(text + start, length);
    start = end + 1;
  }
}

bool IsListSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

}  // namespace

std::int32_t ParseItemId(const char* text, std::size_t size) {
  std::size_t i = 0;
  while (i < size && IsListSpace(text[i])) ++i;
  bool negative = false;
  if (i < size && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // Past 2^31 every further digit only confirms the clamp, so stop growing.
  constexpr std::int64_t kBeyond = static_cast<std::int64_t>(INT32_MAX) + 1;
  std::int64_t value = 0;
  for (; i < size && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (value <= kBeyond) value = value * 10 + (text[i] - '0');
  }
  if (negative) return value >= kBeyond ? INT32_MIN : static_cast<std::int32_t>(-value);
  return value > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(value);
}

void ParseExList(const char* text, std::size_t size, NameSet& exList) {
  std::u16string name;
  ForEachLine(text, size, [&](const char* line, std::size_t length) {
    // A name that does not fit a path is no file we could ever match: skip it.
    if (platform::AnsiToUtf16(line, length, name)) exList.Insert(name);
  });
}

void ParseIdList(const char* text, std::size_t size, IdTable& idTable) {
  std::u16string name;
  ForEachLine(text, size, [&](const char* line, std::size_t length) {
    const char* comma = static_cast<const char*>(std::memchr(line, ',', length));
    if (comma == nullptr) return;  // no comma: not an entry
    const char* nameStart = comma + 1;
    std::size_t rest = length - static_cast<std::size_t>(nameStart - line);
    const char* second = static_cast<const char*>(std::memchr(nameStart, ',', rest));
    std::size_t nameLength = second ? static_cast<std::size_t>(second - nameStart) : rest;
    if (!platform::AnsiToUtf16(nameStart, nameLength, name)) return;
    idTable.Add(ParseItemId(line, length), name);
  });
}

platform::FileStatus ReadSideFile(platform::FileSystem& fs, const std::u16string& name,
                                  std::vector<char>& text) {
  std::u16string path = fs.ExeDirectory();
  if (!platform::AppendPath(path, name)) {
    // The executable's folder is too deep to name the file in: whether it
    // exists cannot even be asked.
    text.clear();
    return platform::FileStatus::kUnreadable;
  }
  return fs.ReadWholeFile(path, text, 1);
}

bool LoadExList(platform::FileSystem& fs, NameSet& exList) {
  std::vector<char> text;
  const platform::FileStatus status = ReadSideFile(fs, u"ExList.txt", text);
  if (status == platform::FileStatus::kMissing || status == platform::FileStatus::kNoFolder) {
    return true;
  }
  // A folder of that name is no list we could read either.
  if (status != platform::FileStatus::kRead) return false;
  ParseExList(text.data(), text.size() - 1, exList);
  return true;
}

void LoadIdList(platform::FileSystem& fs, IdTable& idTable) {
  std::vector<char> text;
  if (ReadSideFile(fs, u"IdList.txt", text) != platform::FileStatus::kRead) return;
  ParseIdList(text.data(), text.size() - 1, idTable);
}

}  // namespace kvo
