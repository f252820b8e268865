// Win32 paths: joining a folder and a name, the path a listed name is opened
// and moved by, and folder fields made absolute. Pure text but for
// GetFullPathNameW and PathStripToRootW, which only look at the text.
#include <windows.h>
#include <shlwapi.h>

#include <string>
#include <utility>

#include "platform/platform.h"
#include "platform/win32/handles.h"

namespace kvo {
namespace platform {
namespace {

bool IsSlash(char16_t c) { return c == u'\\' || c == u'/'; }

// A backslash goes between folder and name only when the folder does not
// already end in one; count it only then, or a folder given with its
// trailing backslash loses the last unit of room.
std::size_t SeparatorUnits(const std::u16string& folder) {
  return !folder.empty() && !IsSlash(folder.back()) ? 1 : 0;
}

// One element of a path, neither "." nor "..": a file name as a listing
// gives it, or a pattern.
bool IsBareName(const std::u16string& name) {
  return !name.empty() && name != u"." && name != u".." &&
         name.find_first_of(u"\\/:") == std::u16string::npos;
}

// `path` in canonical form (GetFullPathNameW: "." and ".." elements
// resolved, / made \); false when it does not fit MAX_PATH.
// GetFullPathNameW takes an element that merely begins with dots ("..plug")
// for the name it is, where PathCombineW (Wine's, at least) takes it for
// the parent folder, and a Plugin folder named "..plug" could not be listed.
bool FullPath(const std::u16string& path, std::u16string& out) {
  wchar_t full[MAX_PATH] = {};
  const DWORD units = GetFullPathNameW(W(path), MAX_PATH, full, nullptr);
  if (units == 0 || units >= MAX_PATH) return false;
  out = U(full);
  return true;
}

// `folder` in canonical form, ending in its backslash. The backslash is
// put on before: the folder's last element is then never taken for a
// device (a folder named "CON") nor cut at trailing dots.
bool CanonicalFolder(const std::u16string& folder, std::u16string& out) {
  if (!FullPath(SeparatorUnits(folder) != 0 ? folder + u'\\' : folder, out)) return false;
  if (out.empty() || out.back() != u'\\') out += u'\\';
  return true;
}

bool StartsWith(const std::u16string& text, const char16_t* head) {
  return text.compare(0, std::char_traits<char16_t>::length(head), head) == 0;
}

}  // namespace

bool CombinePath(const std::u16string& folder, const std::u16string& name, std::u16string& out) {
  // The result must fit MAX_PATH; refuse early what cannot.
  if (folder.size() + SeparatorUnits(folder) + name.size() + 1 > MAX_PATH) return false;
  std::u16string path;
  if (folder.empty()) {
    path = name;
  } else if (!CanonicalFolder(folder, path)) {
    return false;
  } else if (IsBareName(name)) {
    // A file name or a pattern is the last element as it is: only the
    // folder is put in canonical form ("..a.kvo" is a name, not "..").
    path += name;
  } else if (!FullPath(path + name, path)) {
    // Several elements (sub\Work, ..\Up): the whole in canonical form.
    return false;
  }
  if (path.size() + 1 > MAX_PATH) return false;
  out = std::move(path);
  return true;
}

bool ListedNamePath(const std::u16string& folder, const std::u16string& name,
                    std::u16string& out) {
  if (folder.empty() || !IsBareName(name)) return CombinePath(folder, name, out);
  std::u16string path;
  if (!CanonicalFolder(folder, path)) return false;
  path += name;
  // The limits are those of the path as the user knows it, without the prefix.
  if (path.size() + 1 > MAX_PATH) return false;
  // With the prefix the system takes the path as it stands, so "CON.kvo",
  // "nul.kvo" or "COM1.vac" is the file of that name, never a device. The
  // folder is canonical already, and the name is never put through
  // GetFullPathNameW, which makes CON.kvo \\.\CON.
  if (StartsWith(path, u"\\\\?\\") || StartsWith(path, u"\\\\.\\")) {
    // Already a path the system takes as it stands.
  } else if (StartsWith(path, u"\\\\")) {
    path = u"\\\\?\\UNC\\" + path.substr(2);
  } else {
    path = u"\\\\?\\" + path;
  }
  out = std::move(path);
  return true;
}

namespace {

bool IsDriveLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

bool HasDrive(const std::u16string& path) {
  return path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == u':';
}

}  // namespace

bool ResolveAgainst(const std::u16string& start, const std::u16string& field,
                    std::u16string& out) {
  out.clear();
  if (field.empty()) return true;
  const bool drive = HasDrive(field);
  // "C:\x" and "\\server\share\x" name the same folder from anywhere.
  if ((drive && field.size() >= 3 && IsSlash(field[2])) ||
      (!drive && field.size() >= 2 && IsSlash(field[0]) && IsSlash(field[1]))) {
    if (field.size() + 1 > MAX_PATH) return false;
    out = field;
    return true;
  }
  if (start.empty() || start.size() + 1 > MAX_PATH) return false;
  std::u16string base = start;
  std::u16string rest = field;
  if (drive) {
    // "D:x": relative to the start folder when that is on drive D, else to
    // the root of D (a fresh process has no other folder current there).
    rest = field.substr(2);
    const bool sameDrive = HasDrive(start) && CompareNames(start.substr(0, 1).c_str(),
                                                           field.substr(0, 1).c_str()) == 0;
    if (!sameDrive) base = field.substr(0, 2) + u"\\";
  } else if (IsSlash(field[0])) {
    // "\x": from the root of the start folder's drive or share.
    wchar_t root[MAX_PATH] = {};
    lstrcpynW(root, W(start), MAX_PATH);
    if (!PathStripToRootW(root)) return false;
    base = U(root);
    std::size_t skip = 0;
    while (skip < rest.size() && IsSlash(rest[skip])) ++skip;
    rest.erase(0, skip);
  }
  if (rest.empty()) {
    out = base;
    return true;
  }
  if (!CombinePath(base, rest, out)) {
    out.clear();
    return false;
  }
  return true;
}

}  // namespace platform
}  // namespace kvo
