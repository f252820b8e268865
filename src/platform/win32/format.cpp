// Win32 line formatting: wsprintfW itself.
#include <windows.h>

#include <cstdarg>

#include "platform/platform.h"
#include "platform/win32/handles.h"

namespace kvo {
namespace platform {

int FormatLine(char16_t* buffer, const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  int n = wvsprintfW(reinterpret_cast<wchar_t*>(buffer), W(format), args);
  va_end(args);
  return n;
}

}  // namespace platform
}  // namespace kvo
