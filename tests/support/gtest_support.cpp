#include "gtest_support.h"

#include <cstddef>
#include <cstdlib>

#include "platform/platform.h"

#include "platform/utf8.h"

namespace testing::internal {

void UniversalPrinter<std::u16string>::Print(const std::u16string& value, std::ostream* os) {
  // Converted by the platform's codec rather than through std::filesystem,
  // which may throw on a lone surrogate: a printer must print whatever it is
  // given.
  const std::string utf8 = kvo::platform::Utf16ToUtf8(value);
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
