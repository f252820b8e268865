// The one UTF-8 codec: file names on POSIX systems are UTF-8 on disk, and
// the tests print UTF-16 text as UTF-8.
#pragma once

#include <cstddef>
#include <string>

namespace kvo {
namespace platform {

// Encodes UTF-16 as UTF-8. A surrogate without its partner becomes U+FFFD.
std::string Utf16ToUtf8(const std::u16string& text);
// The same into `buffer` (`size` bytes), NUL-terminated, allocating nothing;
// false when it does not fit.
bool Utf16ToUtf8(const std::u16string& text, std::size_t size, char* buffer);

// Decodes `n` bytes of UTF-8 into `out` (replacing what it held). Every byte
// that does not start a well-formed sequence becomes U+FFFD (Windows replaces
// some ill-formed runs of several bytes by one). With `strict`, such a byte
// ends the decoding instead: false, and `out` is left empty.
bool DecodeUtf8(const unsigned char* bytes, std::size_t n, bool strict, std::u16string& out);
void Utf8ToUtf16(const unsigned char* bytes, std::size_t n, std::u16string& out);
std::u16string Utf8ToUtf16(const std::string& text);

}  // namespace platform
}  // namespace kvo
