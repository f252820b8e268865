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
static_assert(MB_PRECOMPOSED == 1, "AnsiConversionFlags gives MB_PRECOMPOSED as 1");

const wchar_t* W(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}
const wchar_t* W(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
std::u16string U(const wchar_t* text) { return std::u16string(reinterpret_cast<const char16_t*>(text)); }

HANDLE H(FileHandle file) { return static_cast<HANDLE>(file); }

// Owns a handle and closes it with CloseFn on every way out, running out of
// memory included.
template <BOOL(WINAPI* CloseFn)(HANDLE)>
class Owned {
 public:
  explicit Owned(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
  ~Owned() {
    if (Valid()) CloseFn(handle_);
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  Owned& operator=(HANDLE handle) {
    if (Valid()) CloseFn(handle_);
    handle_ = handle;
    return *this;
  }
  HANDLE get() const { return handle_; }
  bool Valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  // Closes it now; false when closing reports an error.
  bool Close() {
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return CloseFn(handle) != FALSE;
  }

 private:
  HANDLE handle_;
};
using File = Owned<CloseHandle>;
using Find = Owned<FindClose>;

std::u16string& ExeDirectoryOverride() {
  static std::u16string folder;
  return folder;
}

}  // namespace

// ---- files ---------------------------------------------------------------

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
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
    why = FileStatus::kMissing;
    return nullptr;
  }
  // A folder cannot be opened this way and fails with ERROR_ACCESS_DENIED,
  // as a file we may not read does: ask what the name is.
  const DWORD attributes = GetFileAttributesW(W(path));
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    why = FileStatus::kFolder;
  } else {
    why = FileStatus::kUnreadable;
  }
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

// One element of a path, neither "." nor "..": a file name as a listing
// gives it.
static bool IsBareName(const std::u16string& name) {
  return !name.empty() && name != u"." && name != u".." &&
         name.find_first_of(u"\\/:") == std::u16string::npos;
}

bool CombinePath(const std::u16string& folder, const std::u16string& name, std::u16string& out) {
  // PathCombineW needs its result to fit MAX_PATH; refuse early what cannot.
  if (folder.size() + SeparatorUnits(folder) + name.size() + 1 > MAX_PATH) return false;
  wchar_t joined[MAX_PATH] = {};
  if (!folder.empty() && IsBareName(name)) {
    // A file name is the last element as it is; only the folder is put in
    // canonical form. PathCombineW (Wine's, at least) takes a name that
    // merely begins with ".." for the parent folder: "C:\x" and "..a.kvo"
    // would make "C:a.kvo", another file.
    if (PathCombineW(joined, W(folder), nullptr) == nullptr) return false;
    std::u16string path = U(joined);
    if (!path.empty() && path.back() != u'\\') path += u'\\';
    path += name;
    if (path.size() + 1 > MAX_PATH) return false;
    out = path;
    return true;
  }
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

namespace {

bool IsSlash(char16_t c) { return c == u'\\' || c == u'/'; }

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

namespace {

// Everything a move to another volume holds; released on every way out.
// The source closes last, after the temporary is gone.
struct CrossVolumeMove {
  File source;
  wchar_t temporary[MAX_PATH] = {};
  File copy;
  ~CrossVolumeMove() {
    if (copy.Valid()) copy.Close();
    if (temporary[0] != 0) DeleteFileW(temporary);
  }
};

bool CopyAcrossVolumes(const std::u16string& from, const std::u16string& to) {
  CrossVolumeMove move;
  // Held with no sharing until it is deleted, so nobody changes it while it
  // is copied; DELETE access, so that we know from the start we may remove it.
  // A folder cannot be opened this way: it is not moved across volumes.
  move.source = CreateFileW(W(from), GENERIC_READ | DELETE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (!move.source.Valid()) return false;

  const std::size_t cut = to.find_last_of(u"\\/");
  if (cut == std::u16string::npos) return false;
  const std::u16string folder = to.substr(0, cut + 1);
  // The temporary gets a name that is no archive's ("kvoXXXX.tmp").
  if (GetTempFileNameW(W(folder), L"kvo", 0, move.temporary) == 0) {
    move.temporary[0] = 0;
    return false;
  }
  move.copy = CreateFileW(move.temporary, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
  if (!move.copy.Valid()) return false;
  char buffer[1 << 16];
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(move.source.get(), buffer, sizeof buffer, &read, nullptr)) return false;
    if (read == 0) break;
    DWORD written = 0;
    if (!WriteFile(move.copy.get(), buffer, read, &written, nullptr) || written != read) return false;
  }
  // Keep the archive's time, as a move by the system does.
  FILETIME created, accessed, modified;
  if (GetFileTime(move.source.get(), &created, &accessed, &modified)) {
    SetFileTime(move.copy.get(), &created, &accessed, &modified);
  }
  if (!FlushFileBuffers(move.copy.get())) return false;
  if (!move.copy.Close()) return false;
  // Same volume now: a rename, which never replaces an existing name.
  if (!MoveFileExW(move.temporary, W(to), MOVEFILE_WRITE_THROUGH)) return false;
  move.temporary[0] = 0;
  // Removed when our handle closes; until then nobody else can open it.
  FILE_DISPOSITION_INFO dispose = {TRUE};
  if (!SetFileInformationByHandle(move.source.get(), FileDispositionInfo, &dispose, sizeof dispose)) {
    // The source stays: take the copy back, so the archive exists once.
    DeleteFileW(W(to));
    return false;
  }
  return true;
}

}  // namespace

bool MoveNoReplace(const std::u16string& from, const std::u16string& to) {
  // Without MOVEFILE_COPY_ALLOWED (as MoveFileW has it) the system only
  // renames; a copy it made to another volume would sit under the final name
  // while it is written, and a run ended then would leave it cut short.
  if (MoveFileExW(W(from), W(to), 0)) return true;
  if (GetLastError() != ERROR_NOT_SAME_DEVICE) return false;
  return CopyAcrossVolumes(from, to);
}

// ---- text ------------------------------------------------------------------

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

int CompareKeyed(std::string_view keyA, const std::u16string&, std::string_view keyB,
                 const std::u16string&) {
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

int FormatLine(char16_t* buffer, const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  int n = wvsprintfW(reinterpret_cast<wchar_t*>(buffer), W(format), args);
  va_end(args);
  return n;
}

}  // namespace platform
}  // namespace kvo
