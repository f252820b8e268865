// Win32 text and names: the name order is lstrcmpiW's, list text is in the
// ANSI code page.
#include <windows.h>

#include <string>

#include "platform/platform.h"
#include "platform/win32/handles.h"

namespace kvo {
namespace platform {

static_assert(MB_PRECOMPOSED == 1, "AnsiConversionFlags gives MB_PRECOMPOSED as 1");

int CompareNames(const char16_t* a, const char16_t* b) { return lstrcmpiW(W(a), W(b)); }

bool AnsiToUtf16(const char* bytes, std::size_t length, std::u16string& out) {
  out.clear();
  if (length == 0) return true;
  if (length >= 0x7FFFFFFF) return false;
  static const DWORD flags = AnsiConversionFlags(GetACP());
  wchar_t units[MAX_PATH];
  int n = MultiByteToWideChar(CP_ACP, flags, bytes, static_cast<int>(length), units,
                              MAX_PATH - 1);
  // 0: the name does not fit MAX_PATH with its terminator.
  if (n <= 0) return false;
  out.assign(reinterpret_cast<const char16_t*>(units), static_cast<std::size_t>(n));
  return true;
}

}  // namespace platform
}  // namespace kvo
