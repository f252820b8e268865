// Win32 text and names: the name order is lstrcmpiW's, list text is in the
// ANSI code page.
#include <windows.h>

#include <string>
#include <string_view>

#include "platform/platform.h"
#include "platform/win32/handles.h"

namespace kvo {
namespace platform {

static_assert(MB_PRECOMPOSED == 1, "AnsiConversionFlags gives MB_PRECOMPOSED as 1");

int CompareNames(const char16_t* a, const char16_t* b) { return lstrcmpiW(W(a), W(b)); }

// lstrcmpiW is CompareStringW with NORM_IGNORECASE in the thread's locale,
// and a sort key made with the same locale and flags compares as that does.
// Under Wine a comparison costs about half a microsecond, and a run makes
// millions; keys are made once per name.
void MakeNameKey(const char16_t* name, std::size_t length, std::string& key) {
  constexpr DWORD kFlags = LCMAP_SORTKEY | NORM_IGNORECASE;
  const LCID locale = GetThreadLocale();
  // A length of 0 is refused; the empty name is given as its terminator.
  const wchar_t* text = length > 0 ? W(name) : L"";
  const int units = length > 0 ? static_cast<int>(length) : -1;
  // Most keys fit here; a longer one is asked for its size first.
  char bytes[1024];
  int n = LCMapStringW(locale, kFlags, text, units, reinterpret_cast<wchar_t*>(bytes), sizeof bytes);
  if (n > 0) {
    key.assign(bytes, static_cast<std::size_t>(n));
    return;
  }
  n = LCMapStringW(locale, kFlags, text, units, nullptr, 0);
  key.assign(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
  if (n > 0) LCMapStringW(locale, kFlags, text, units, reinterpret_cast<wchar_t*>(&key[0]), n);
}

int CompareKeyed(std::string_view keyA, const std::u16string& a, std::string_view keyB,
                 const std::u16string& b) {
  // A sort key is never empty (even the empty name's has its level
  // separators): an empty one is a key the system would not make, and its
  // name is compared as lstrcmpiW compares, never taken for equal to another.
  if (keyA.empty() || keyB.empty()) return CompareNames(a.c_str(), b.c_str());
  return keyA.compare(keyB);
}

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
