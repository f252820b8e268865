// Win32 files, folders and paths: the real system calls.
#include <windows.h>
#include <shlwapi.h>

#include <string>
#include <utility>

#include "platform/platform.h"
#include "platform/platform_internal.h"
#include "platform/system.h"
#include "platform/win32/handles.h"

namespace kvo {
namespace platform {
namespace {

HANDLE H(FileHandle file) { return static_cast<HANDLE>(file); }

}  // namespace

// ---- files ---------------------------------------------------------------

// A folder cannot be opened as a file and fails with ERROR_ACCESS_DENIED, as
// a file we may not read does: the attributes tell them apart.
bool IsFolderName(const std::u16string& path) {
  const DWORD attributes = GetFileAttributesW(W(path));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

FileHandle OpenForReadNoShare(const std::u16string& path, FileStatus* status) {
  FileStatus ignored;
  FileStatus& why = status != nullptr ? *status : ignored;
  HANDLE file = CreateFileW(W(path), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    why = FileStatus::kRead;
    return static_cast<FileHandle>(file);
  }
  const DWORD error = GetLastError();
  why = ClassifyOpenFailure(error == ERROR_FILE_NOT_FOUND   ? OpenError::kNoFile
                            : error == ERROR_PATH_NOT_FOUND ? OpenError::kNoFolder
                                                            : OpenError::kOther,
                            path);
  return nullptr;
}

bool FileSize32(FileHandle file, std::uint32_t* size) {
  DWORD high = 0;
  DWORD low = GetFileSize(H(file), &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
  if (high != 0 || low == INVALID_FILE_SIZE) return false;
  *size = low;
  return true;
}

bool ReadExact(FileHandle file, void* buffer, std::uint32_t size) {
  DWORD read = 0;
  return ReadFile(H(file), buffer, size, &read, nullptr) && read == size;
}

void CloseFile(FileHandle file) {
  if (file != nullptr) CloseHandle(H(file));
}

// ---- paths and folders -----------------------------------------------------

std::u16string ExePath() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  path[MAX_PATH - 1] = 0;
  return U(path);
}

std::u16string ExeDirectory() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  path[MAX_PATH - 1] = 0;
  PathRemoveFileSpecW(path);
  return U(path);
}

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

bool AppendPath(std::u16string& path, const std::u16string& more) {
  // PathAppendW's rule: `more` is taken below `path` even when it begins
  // with a backslash.
  std::size_t skip = 0;
  while (skip < more.size() && IsSlash(more[skip])) ++skip;
  std::u16string joined;
  if (!CombinePath(path, more.substr(skip), joined)) return false;
  path = std::move(joined);
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

bool IsDirectory(const std::u16string& path) {
  if (path.empty()) return false;
  return PathIsDirectoryW(W(path)) != FALSE;
}

ListStatus FindFiles(const std::u16string& searchPath, std::vector<std::u16string>& names) {
  // FindFirstFileW also matches the pattern against 8.3 short names, so
  // "*.vac" finds "Hair.vac_old" (HAIRVA~1.VAC): keep only the long names
  // that match.
  const std::size_t cut = searchPath.find_last_of(u"\\/");
  const std::u16string pattern =
      cut == std::u16string::npos ? searchPath : searchPath.substr(cut + 1);
  WIN32_FIND_DATAW data;
  Find find(FindFirstFileW(W(searchPath), &data));
  if (!find.Valid()) {
    // Only "nothing matches" is an empty folder; anything else (access
    // denied, the folder gone meanwhile) leaves its contents unknown.
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES ? ListStatus::kListed
                                                                          : ListStatus::kFailed;
  }
  std::u16string name;
  for (;;) {
    name = U(data.cFileName);
    if (MatchesPattern(pattern, name)) names.push_back(name);
    if (!FindNextFileW(find.get(), &data)) break;
  }
  return GetLastError() == ERROR_NO_MORE_FILES ? ListStatus::kListed : ListStatus::kFailed;
}

bool SetCurrentDir(const std::u16string& path) { return SetCurrentDirectoryW(W(path)) != FALSE; }

std::u16string CurrentDir() {
  wchar_t path[MAX_PATH] = {};
  DWORD n = GetCurrentDirectoryW(MAX_PATH, path);
  if (n == 0 || n >= MAX_PATH) return std::u16string();
  return U(path);
}

}  // namespace platform
}  // namespace kvo
