#include "lists/side_lists.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "lists/list_text.h"
#include "platform/platform.h"

namespace kvo {
namespace {

// Calls `rule(line, length)` for every line of the text, bytes or UTF-16
// units alike.
template <typename Char, typename Rule>
void ForEachLine(const Char* text, std::size_t size, Rule rule) {
  std::size_t start = 0;
  while (start < size) {
    std::size_t end = start;
    while (end < size && text[end] != Char('\n')) ++end;
    std::size_t length = end - start;
    // Lists are written with CR LF; a bare LF (or a last line without one)
    // must not cost the name its last character, so only a real CR is dropped.
    if (length > 0 && text[start + length - 1] == Char('\r')) --length;
    rule(text + start, length);
    start = end + 1;
  }
}

template <typename Char>
bool IsListSpace(Char c) {
  return c == Char(' ') || c == Char('\t') || c == Char('\r') || c == Char('\n') ||
         c == Char('\v') || c == Char('\f');
}

// The item id at the start of an IdList.txt line: leading white space, one
// optional sign, decimal digits; 0 when there are none; clamped to 32 bits.
template <typename Char>
std::int32_t ParseItemId(const Char* text, std::size_t size) {
  std::size_t i = 0;
  while (i < size && IsListSpace(text[i])) ++i;
  bool negative = false;
  if (i < size && (text[i] == Char('+') || text[i] == Char('-'))) {
    negative = text[i] == Char('-');
    ++i;
  }
  // Past 2^31 every further digit only confirms the clamp, so stop growing.
  constexpr std::int64_t kBeyond = static_cast<std::int64_t>(INT32_MAX) + 1;
  std::int64_t value = 0;
  for (; i < size && text[i] >= Char('0') && text[i] <= Char('9'); ++i) {
    if (value <= kBeyond) value = value * 10 + (text[i] - Char('0'));
  }
  if (negative) return value >= kBeyond ? INT32_MIN : static_cast<std::int32_t>(-value);
  return value > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(value);
}

// A name as the list gives it; false when it does not fit a path (the line
// is skipped then: no file we could ever match has such a name).
bool ToName(const char* bytes, std::size_t length, std::u16string& name) {
  return platform::AnsiToUtf16(bytes, length, name);
}
bool ToName(const char16_t* units, std::size_t length, std::u16string& name) {
  if (length >= kMaxPath) return false;
  name.assign(units, length);
  return true;
}

// The first comma in [from, to), or `to`. Byte text is searched with memchr,
// as fast as a list of many short lines needs.
const char* FindComma(const char* from, const char* to) {
  const void* comma = std::memchr(from, ',', static_cast<std::size_t>(to - from));
  return comma != nullptr ? static_cast<const char*>(comma) : to;
}
const char16_t* FindComma(const char16_t* from, const char16_t* to) {
  return std::find(from, to, u',');
}

template <typename Char>
void ExListLines(const Char* text, std::size_t size, NameSet& exList) {
  std::u16string name;
  ForEachLine(text, size, [&](const Char* line, std::size_t length) {
    if (ToName(line, length, name)) exList.Insert(name);
  });
}

template <typename Char>
void IdListLines(const Char* text, std::size_t size, IdTable& idTable) {
  // At most one entry a line: a table of tens of thousands is then filled
  // without being moved again and again as it grows.
  idTable.Reserve(idTable.Size() + static_cast<std::size_t>(std::count(text, text + size, Char('\n'))) + 1);
  std::u16string name;
  ForEachLine(text, size, [&](const Char* line, std::size_t length) {
    const Char* end = line + length;
    const Char* comma = FindComma(line, end);
    if (comma == end) return;  // no comma: not an entry
    const Char* nameStart = comma + 1;
    const Char* nameEnd = FindComma(nameStart, end);
    if (!ToName(nameStart, static_cast<std::size_t>(nameEnd - nameStart), name)) return;
    idTable.Add(ParseItemId(line, length), name);
  });
}

// Decides the text's encoding once, then hands the bytes or the decoded
// units to the matching line rules; false, nothing added, when the decoded
// text holds a NUL.
template <typename Container>
bool ParseList(const char* text, std::size_t size, Container& into,
               void (*bytes)(const char*, std::size_t, Container&),
               void (*units)(const char16_t*, std::size_t, Container&)) {
  ListText decoded;
  DecodeListText(text, size, platform::AnsiCodePageInfo(), decoded);
  if (decoded.encoding == ListEncoding::kAnsi) {
    if (std::memchr(decoded.bytes, 0, decoded.size) != nullptr) return false;
    bytes(decoded.bytes, decoded.size, into);
  } else {
    if (decoded.units.find(u'\0') != std::u16string::npos) return false;
    units(decoded.units.data(), decoded.units.size(), into);
  }
  return true;
}

}  // namespace

bool ParseExList(const char* text, std::size_t size, NameSet& exList) {
  return ParseList(text, size, exList, ExListLines<char>, ExListLines<char16_t>);
}

bool ParseIdList(const char* text, std::size_t size, IdTable& idTable) {
  return ParseList(text, size, idTable, IdListLines<char>, IdListLines<char16_t>);
}

platform::FileStatus ReadSideFile(platform::FileSystem& fs, const std::u16string& name,
                                  std::vector<char>& text) {
  std::u16string path;
  if (!platform::CombinePath(fs.ExeFolder(), name, path)) {
    // The executable's folder is too deep to name the file in: whether it
    // exists cannot even be asked.
    text.clear();
    return platform::FileStatus::kUnreadable;
  }
  return fs.ReadWholeFile(path, 1, text);
}

namespace {

// Reads the side file `name` and hands its text to `parse`, which fills `into`.
template <typename Container>
ListLoad LoadList(platform::FileSystem& fs, const char16_t* name,
                  bool (*parse)(const char*, std::size_t, Container&), Container& into) {
  std::vector<char> text;
  const platform::FileStatus status = ReadSideFile(fs, name, text);
  if (status == platform::FileStatus::kMissing || status == platform::FileStatus::kNoFolder) {
    return ListLoad::kMissing;
  }
  // A folder of that name is no list we could read either.
  if (status != platform::FileStatus::kRead) return ListLoad::kUnreadable;
  return parse(text.data(), text.size() - 1, into) ? ListLoad::kLoaded : ListLoad::kUnreadable;
}

}  // namespace

ListLoad LoadExList(platform::FileSystem& fs, NameSet& exList) {
  return LoadList(fs, u"ExList.txt", ParseExList, exList);
}

ListLoad LoadIdList(platform::FileSystem& fs, IdTable& idTable) {
  return LoadList(fs, u"IdList.txt", ParseIdList, idTable);
}

}  // namespace kvo
