// POSIX line formatting: the wsprintfW conversions the tool uses.
#include <cstdarg>
#include <cstdio>

#include "platform/platform.h"

namespace kvo {
namespace platform {

int FormatLine(char16_t* buffer, const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  std::size_t n = 0;
  const std::size_t limit = kLineBufferUnits - 1;
  auto put = [&](char16_t c) {
    if (n < limit) buffer[n++] = c;
  };
  for (const char16_t* f = format; *f; ++f) {
    if (*f != u'%') {
      put(*f);
      continue;
    }
    ++f;
    if (*f == u's') {
      for (const char16_t* s = va_arg(args, const char16_t*); *s; ++s) put(*s);
    } else if (*f == u'd') {
      char digits[16];
      std::snprintf(digits, sizeof digits, "%d", va_arg(args, int));
      for (const char* d = digits; *d; ++d) put(static_cast<char16_t>(*d));
    } else if (*f == u'u') {
      char digits[16];
      std::snprintf(digits, sizeof digits, "%u", va_arg(args, unsigned));
      for (const char* d = digits; *d; ++d) put(static_cast<char16_t>(*d));
    } else if (*f == u'%') {
      put(u'%');
    } else {
      if (*f == 0) break;
      put(u'%');
      put(*f);
    }
  }
  va_end(args);
  buffer[n] = 0;
  return static_cast<int>(n);
}

}  // namespace platform
}  // namespace kvo
