#include "lists/list_text.h"

#include <cstdint>
#include <cstring>

namespace kvo {
namespace {

constexpr std::uint32_t kUtf8CodePage = 65001;

bool StartsWith(const char* bytes, std::size_t size, const char* mark, std::size_t length) {
  if (size < length) return false;
  for (std::size_t i = 0; i < length; ++i) {
    if (bytes[i] != mark[i]) return false;
  }
  return true;
}

// Eight bytes at a time: most lists are ASCII, and this is asked of all of a
// list's bytes before any line is read.
bool AllAscii(const char* bytes, std::size_t size) {
  std::size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, bytes + i, 8);
    if ((word & 0x8080808080808080u) != 0) return false;
  }
  for (; i < size; ++i) {
    if (static_cast<unsigned char>(bytes[i]) >= 0x80) return false;
  }
  return true;
}

// A character at U+0800 or above: one that UTF-8 writes in three or four
// bytes (a surrogate unit stands for one of four).
bool HasCharacterFromU0800(const std::u16string& units) {
  for (char16_t unit : units) {
    if (unit >= 0x800) return true;
  }
  return false;
}

void DecodeUtf16(const char* bytes, std::size_t size, bool bigEndian, std::u16string& out) {
  const std::size_t count = size / 2;  // an odd last byte is no unit
  out.resize(count);
  const unsigned char* b = reinterpret_cast<const unsigned char*>(bytes);
  const int high = bigEndian ? 0 : 1;
  for (std::size_t i = 0; i < count; ++i) {
    out[i] = static_cast<char16_t>(b[2 * i + high] << 8 | b[2 * i + (1 - high)]);
  }
}

}  // namespace

void DecodeListText(const char* bytes, std::size_t size, const platform::AnsiCodePage& ansi,
                    ListText& out) {
  out.bytes = nullptr;
  out.size = 0;
  out.units.clear();
  if (StartsWith(bytes, size, "\xEF\xBB\xBF", 3)) {
    out.encoding = ListEncoding::kUtf8;
    platform::Utf8ToUtf16(bytes + 3, size - 3, false, out.units);
    return;
  }
  if (StartsWith(bytes, size, "\xFF\xFE", 2) || StartsWith(bytes, size, "\xFE\xFF", 2)) {
    const bool bigEndian = bytes[0] == '\xFE';
    out.encoding = bigEndian ? ListEncoding::kUtf16Be : ListEncoding::kUtf16Le;
    DecodeUtf16(bytes + 2, size - 2, bigEndian, out.units);
    return;
  }
  // Not all ASCII and well-formed: every character beyond ASCII is of
  // U+0080..U+07FF unless one is at U+0800 or above.
  if (ansi.id != kUtf8CodePage && !AllAscii(bytes, size) &&
      platform::Utf8ToUtf16(bytes, size, true, out.units) &&
      !(ansi.doubleByte && !HasCharacterFromU0800(out.units))) {
    out.encoding = ListEncoding::kUtf8;
    return;
  }
  out.encoding = ListEncoding::kAnsi;
  out.units.clear();
  out.bytes = bytes;
  out.size = size;
}

}  // namespace kvo
