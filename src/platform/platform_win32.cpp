// Win32 implementation of the platform functions: the real system calls.
#include <windows.h>
#include <shlwapi.h>

#include <cstdarg>
#include <string>

#include "platform/platform.h"

namespace kvo {
namespace platform {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wchar_t");

const wchar_t* W(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}
const wchar_t* W(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
std::u16string U(const wchar_t* text) { return std::u16string(reinterpret_cast<const char16_t*>(text)); }

HANDLE H(FileHandle file) { return static_cast<HANDLE>(file); }

std::u16string& ExeDirectoryOverride() {
  static std::u16string folder;
  return folder;
}

}  // namespace

// ---- files ---------------------------------------------------------------

FileHandle OpenForReadNoShare(const std::u16string& path) {
  HANDLE file = CreateFileW(W(path), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  return file == INVALID_HANDLE_VALUE ? nullptr : static_cast<FileHandle>(file);
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
  if (!ExeDirectoryOverride().empty()) return ExeDirectoryOverride();
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  path[MAX_PATH - 1] = 0;
  PathRemoveFileSpecW(path);
  return U(path);
}

void OverrideExeDirectory(const std::u16string& folder) { ExeDirectoryOverride() = folder; }

// PathCombineW and PathAppendW put a backslash between the two parts only
// when the first does not already end in one; count it only then, or a
// folder given with its trailing backslash loses the last unit of room.
static std::size_t SeparatorUnits(const std::u16string& folder) {
  return !folder.empty() && folder.back() != u'\\' ? 1 : 0;
}

bool CombinePath(const std::u16string& folder, const std::u16string& name, std::u16string& out) {
  // PathCombineW needs its result to fit MAX_PATH; refuse early what cannot.
  if (folder.size() + SeparatorUnits(folder) + name.size() + 1 > MAX_PATH) return false;
  wchar_t joined[MAX_PATH] = {};
  if (PathCombineW(joined, folder.empty() ? nullptr : W(folder), W(name)) == nullptr) return false;
  out = U(joined);
  return true;
}

bool AppendPath(std::u16string& path, const std::u16string& more) {
  if (path.size() + SeparatorUnits(path) + more.size() + 1 > MAX_PATH) return false;
  wchar_t joined[MAX_PATH] = {};
  lstrcpynW(joined, W(path), MAX_PATH);
  if (!PathAppendW(joined, W(more))) return false;
  path = U(joined);
  return true;
}

bool IsDirectory(const std::u16string& path) {
  if (path.empty()) return false;
  return PathIsDirectoryW(W(path)) != FALSE;
}

bool FindFiles(const std::u16string& searchPath, std::vector<std::u16string>& names) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(W(searchPath), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  // Closed however we leave, running out of memory included.
  struct Closer {
    HANDLE find;
    ~Closer() { FindClose(find); }
  } closer{find};
  do {
    names.push_back(U(data.cFileName));
  } while (FindNextFileW(find, &data));
  return true;
}

bool SetCurrentDir(const std::u16string& path) { return SetCurrentDirectoryW(W(path)) != FALSE; }

std::u16string CurrentDir() {
  wchar_t path[MAX_PATH] = {};
  DWORD n = GetCurrentDirectoryW(MAX_PATH, path);
  if (n == 0 || n >= MAX_PATH) return std::u16string();
  return U(path);
}

bool MoveNoReplace(const std::u16string& from, const std::u16string& to) {
  // MoveFileW never replaces an existing destination.
  return MoveFileW(W(from), W(to)) != FALSE;
}

// ---- text ------------------------------------------------------------------

int CompareNames(const char16_t* a, const char16_t* b) { return lstrcmpiW(W(a), W(b)); }

bool AnsiToUtf16(const char* bytes, std::size_t length, std::u16string& out) {
  out.clear();
  if (length == 0) return true;
  if (length >= 0x7FFFFFFF) return false;
  wchar_t units[MAX_PATH];
  int n = MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, bytes, static_cast<int>(length), units,
                              MAX_PATH - 1);
  // 0: the name does not fit MAX_PATH with its terminator.
  if (n <= 0) return false;
  out.assign(reinterpret_cast<const char16_t*>(units), static_cast<std::size_t>(n));
  return true;
}

int FormatLine(char16_t* buffer, const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  int n = wvsprintfW(reinterpret_cast<wchar_t*>(buffer), W(format), args);
  va_end(args);
  return n;
}

}  // namespace platform
}  // namespace kvo
