// Win32 files and folders: the real system calls.
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

bool ReadExact(FileHandle file, std::uint32_t size, void* buffer) {
  DWORD read = 0;
  return ReadFile(H(file), buffer, size, &read, nullptr) && read == size;
}

void CloseFile(FileHandle file) {
  if (file != nullptr) CloseHandle(H(file));
}

// ---- folders -----------------------------------------------------------------

std::u16string ExePath() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  path[MAX_PATH - 1] = 0;
  return U(path);
}

std::u16string ExeFolder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  path[MAX_PATH - 1] = 0;
  PathRemoveFileSpecW(path);
  return U(path);
}

bool IsFolder(const std::u16string& path) {
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

bool SetCurrentFolder(const std::u16string& path) { return SetCurrentDirectoryW(W(path)) != FALSE; }

std::u16string CurrentFolder() {
  wchar_t path[MAX_PATH] = {};
  DWORD n = GetCurrentDirectoryW(MAX_PATH, path);
  if (n == 0 || n >= MAX_PATH) return std::u16string();
  return U(path);
}

}  // namespace platform
}  // namespace kvo
