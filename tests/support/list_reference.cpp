#include "list_reference.h"

#include <vector>

namespace kvo::test {
namespace {

unsigned char At(const std::string& s, std::size_t i) { return static_cast<unsigned char>(s[i]); }

// The well-formed UTF-8 sequences, by the table of lead and second bytes.
// Returns the code points, or false at the first byte outside the table.
bool StrictCodePoints(const std::string& s, std::size_t from, std::vector<char32_t>& out) {
  for (std::size_t i = from; i < s.size();) {
    const unsigned char b = At(s, i);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the second byte's range
    if (b <= 0x7F) length = 1;
    else if (b >= 0xC2 && b <= 0xDF) length = 2;
    else if (b == 0xE0) length = 3, low = 0xA0;
    else if (b >= 0xE1 && b <= 0xEC) length = 3;
    else if (b == 0xED) length = 3, high = 0x9F;
    else if (b >= 0xEE && b <= 0xEF) length = 3;
    else if (b == 0xF0) length = 4, low = 0x90;
    else if (b >= 0xF1 && b <= 0xF3) length = 4;
    else if (b == 0xF4) length = 4, high = 0x8F;
    else return false;
    if (i + length > s.size()) return false;
    char32_t c = length == 1 ? b : b & (0xFF >> (length + 1));
    for (std::size_t k = 1; k < length; ++k) {
      const unsigned char t = At(s, i + k);
      if (k == 1 ? (t < low || t > high) : (t < 0x80 || t > 0xBF)) return false;
      c = c << 6 | (t & 0x3F);
    }
    out.push_back(c);
    i += length;
  }
  return true;
}

std::u16string Units(const std::vector<char32_t>& codePoints) {
  std::u16string out;
  for (char32_t c : codePoints) {
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

}  // namespace

const char* SaveName(ListSave how) {
  switch (how) {
    case ListSave::kAsIs: return "as is";
    case ListSave::kUtf8: return "UTF-8";
    case ListSave::kUtf8Bom: return "UTF-8 with BOM";
    case ListSave::kUtf16Le: return "UTF-16 LE";
    case ListSave::kUtf16Be: return "UTF-16 BE";
  }
  return "?";
}

std::string SaveList(const std::string& text, ListSave how) {
  if (how == ListSave::kAsIs || how == ListSave::kUtf8) return text;
  if (how == ListSave::kUtf8Bom) return "\xEF\xBB\xBF" + text;
  std::vector<char32_t> codePoints;
  StrictCodePoints(text, 0, codePoints);
  const bool big = how == ListSave::kUtf16Be;
  std::string out = big ? "\xFE\xFF" : "\xFF\xFE";
  for (char16_t unit : Units(codePoints)) {
    const char high = static_cast<char>(unit >> 8);
    const char low = static_cast<char>(unit & 0xFF);
    out += big ? high : low;
    out += big ? low : high;
  }
  return out;
}

ReferenceText ReferenceDecode(const std::string& bytes, const platform::AnsiCodePage& ansi) {
  ReferenceText text;
  text.ansi = false;
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    std::vector<char32_t> codePoints;
    if (StrictCodePoints(bytes, 3, codePoints)) {
      text.units = Units(codePoints);
    } else {
      // How many U+FFFD an ill-formed run becomes is the system's own.
      platform::Utf8ToUtf16(bytes.data() + 3, bytes.size() - 3, false, text.units);
    }
    return text;
  }
  if (bytes.compare(0, 2, "\xFF\xFE") == 0 || bytes.compare(0, 2, "\xFE\xFF") == 0) {
    const bool big = bytes[0] == '\xFE';
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
      const unsigned first = At(bytes, i), second = At(bytes, i + 1);
      text.units += static_cast<char16_t>(big ? first * 256 + second : second * 256 + first);
    }
    return text;
  }
  bool high = false;
  for (char c : bytes) high = high || static_cast<unsigned char>(c) >= 0x80;
  std::vector<char32_t> codePoints;
  if (high && ansi.id != 65001 && StrictCodePoints(bytes, 0, codePoints)) {
    // Under a double-byte code page, characters of U+0080..U+07FF alone
    // could be ANSI text (Shift-JIS half-width kana); one of U+0800 or
    // above beside them makes it UTF-8.
    bool twoBytes = false;
    bool more = false;
    for (char32_t c : codePoints) {
      twoBytes = twoBytes || (c >= 0x80 && c <= 0x7FF);
      more = more || c >= 0x800;
    }
    if (!(ansi.doubleByte && twoBytes && !more)) {
      text.units = Units(codePoints);
      return text;
    }
  }
  text.ansi = true;
  text.bytes = bytes;
  return text;
}

}  // namespace kvo::test
