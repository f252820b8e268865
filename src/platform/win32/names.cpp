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

AnsiCodePage AnsiCodePageInfo() {
  AnsiCodePage page;
  page.id = GetACP();
  CPINFO info = {};
  page.doubleByte = GetCPInfo(CP_ACP, &info) && info.MaxCharSize == 2;
  return page;
}

bool Utf8ToUtf16(const char* bytes, std::size_t length, bool strict, std::u16string& out) {
  out.clear();
  if (length == 0) return true;
  if (length > 0x7FFFFFFF) return false;
  // MB_ERR_INVALID_CHARS: fail on any sequence that is not well-formed
  // (overlong, a surrogate, beyond U+10FFFF, cut short) instead of
  // replacing it with U+FFFD.
  const DWORD flags = strict ? MB_ERR_INVALID_CHARS : 0;
  const int size = static_cast<int>(length);
  const int units = MultiByteToWideChar(CP_UTF8, flags, bytes, size, nullptr, 0);
  if (units <= 0) return false;
  out.resize(static_cast<std::size_t>(units));
  if (MultiByteToWideChar(CP_UTF8, flags, bytes, size, reinterpret_cast<wchar_t*>(&out[0]),
                          units) != units) {
    out.clear();
    return false;
  }
  return true;
}

}  // namespace platform
}  // namespace kvo
