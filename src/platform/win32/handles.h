// What the Win32 platform files share: UTF-16 text as the API's wide
// strings, and the handles they own (closed with CloseHandle or FindClose).
#pragma once

#include <windows.h>

#include <string>

#include "platform/platform_internal.h"

namespace kvo {
namespace platform {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wchar_t");

inline const wchar_t* W(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}
inline const wchar_t* W(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
inline std::u16string U(const wchar_t* text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text));
}

template <BOOL(WINAPI* CloseFn)(HANDLE)>
struct HandleTraits {
  using Handle = HANDLE;
  static HANDLE None() { return INVALID_HANDLE_VALUE; }
  static bool Valid(HANDLE handle) { return handle != INVALID_HANDLE_VALUE && handle != nullptr; }
  static bool Close(HANDLE handle) { return CloseFn(handle) != FALSE; }
};
using File = Owned<HandleTraits<CloseHandle>>;
using Find = Owned<HandleTraits<FindClose>>;

// Defined in move_checks.cpp for the moves:
// `name` in `folder`, in the "\\?\" form that lifts MAX_PATH.
std::u16string LongJoin(const std::u16string& folder, const std::u16string& name);
// The identity of an open file; false when the system gives none.
bool ReadIdentity(HANDLE file, FileIdentity& id);

}  // namespace platform
}  // namespace kvo
