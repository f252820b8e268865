#include "gtest_support.h"

#include <cstddef>
#include <cstdlib>

#include "platform/platform.h"

namespace testing::internal {

void UniversalPrinter<std::u16string>::Print(const std::u16string& value, std::ostream* os) {
  // Converted here rather than through std::filesystem, which may throw on a
  // lone surrogate: a printer must print whatever it is given.
  std::string utf8;
  for (std::size_t i = 0; i < value.size(); ++i) {
    char32_t unit = value[i];
    if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < value.size() && value[i + 1] >= 0xDC00 &&
        value[i + 1] < 0xE000) {
      unit = 0x10000 + ((unit - 0xD800) << 10) + (value[++i] - 0xDC00);
    } else if (unit >= 0xD800 && unit < 0xE000) {
      unit = 0xFFFD;
    }
    if (unit < 0x80) {
      utf8 += static_cast<char>(unit);
    } else if (unit < 0x800) {
      utf8 += static_cast<char>(0xC0 | (unit >> 6));
      utf8 += static_cast<char>(0x80 | (unit & 0x3F));
    } else if (unit < 0x10000) {
      utf8 += static_cast<char>(0xE0 | (unit >> 12));
      utf8 += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
      utf8 += static_cast<char>(0x80 | (unit & 0x3F));
    } else {
      utf8 += static_cast<char>(0xF0 | (unit >> 18));
      utf8 += static_cast<char>(0x80 | ((unit >> 12) & 0x3F));
      utf8 += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
      utf8 += static_cast<char>(0x80 | (unit & 0x3F));
    }
  }
  *os << "u\"";
  for (char c : utf8) {
    const unsigned char byte = static_cast<unsigned char>(c);
    switch (c) {
      case '\r': *os << "\\r"; break;
      case '\n': *os << "\\n"; break;
      case '\t': *os << "\\t"; break;
      case '"': *os << "\\\""; break;
      case '\\': *os << "\\\\"; break;
      default:
        if (byte < 0x20 || byte == 0x7F) {
          static const char kHex[] = "0123456789ABCDEF";
          *os << "\\x" << kHex[byte >> 4] << kHex[byte & 15];
        } else {
          *os << c;
        }
    }
  }
  *os << '"';
}

}  // namespace testing::internal


namespace kvo::test {

std::uint32_t ListCodePage() {
  const std::uint32_t id = platform::AnsiCodePageInfo().id;
  if (const char* want = std::getenv("KVO_EXPECT_CODE_PAGE")) {
    EXPECT_EQ(id, std::strtoul(want, nullptr, 10)) << "the lists' ANSI code page";
  }
  return id;
}

}  // namespace kvo::test
