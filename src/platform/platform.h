// The few operating-system services the portable core needs, as free
// functions. Exactly one implementation is linked: platform_win32.cpp in the
// Windows build, platform_posix.cpp everywhere else (tests, fuzzing, benchmarks).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kvo {

// MAX_PATH: a path holds at most this many UTF-16 units, terminator included.
constexpr std::size_t kMaxPath = 260;

namespace platform {

// ---- files -------------------------------------------------------------

// Opaque handle of a file opened for reading; nullptr means "not open".
using FileHandle = void*;

// Opens an existing file for reading with no sharing (share mode 0), so that
// nobody can change it while we read it. nullptr when it cannot be opened.
FileHandle OpenForReadNoShare(const std::u16string& path);
// Size of an open file. false when it cannot be taken or does not fit in
// 32 bits (such a file is never a list or preset we can use).
bool FileSize32(FileHandle file, std::uint32_t* size);
// Reads exactly `size` bytes from the current position; false on an error or a
// short read.
bool ReadExact(FileHandle file, void* buffer, std::uint32_t size);
void CloseFile(FileHandle file);

// Reads a whole file (opened with no sharing) into `out`, followed by
// `extraZeros` zero bytes. false when it cannot be opened, read whole, or is
// larger than 32 bits can describe; `out` is then empty.
bool ReadWholeFile(const std::u16string& path, std::vector<char>& out,
                   std::size_t extraZeros = 0);

// ---- paths and folders -------------------------------------------------

// Folder of the running executable, without a trailing separator.
std::u16string ExeDirectory();
// Full path of the running executable.
std::u16string ExePath();

// Joins folder and name with exactly one separator (PathCombineW rules for
// the cases the tool meets). false when the result would not fit kMaxPath.
bool CombinePath(const std::u16string& folder, const std::u16string& name,
                 std::u16string& out);
// Appends `more` to `path` in place, one separator between (PathAppendW).
// false, leaving `path` unchanged, when the result would not fit kMaxPath.
bool AppendPath(std::u16string& path, const std::u16string& more);

// true only when `path` names an existing directory.
bool IsDirectory(const std::u16string& path);

// Lists the entries matching the wildcard of `searchPath` (folder + pattern,
// as formed by CombinePath), in the order the system delivers them, appending
// their bare names to `names`. Sub-folders are listed like files. false when
// the enumeration could not start (no match, or the folder cannot be listed).
bool FindFiles(const std::u16string& searchPath, std::vector<std::u16string>& names);

bool SetCurrentDir(const std::u16string& path);
std::u16string CurrentDir();

// Moves (renames) a file or folder. Never replaces an existing destination;
// on failure both sides are as they were.
bool MoveNoReplace(const std::u16string& from, const std::u16string& to);

// ---- text --------------------------------------------------------------

// The name order: case-insensitive, total, like lstrcmpiW. Negative, zero or
// positive. Names that differ only in letter case compare equal.
int CompareNames(const char16_t* a, const char16_t* b);

// Converts `length` bytes of text in the system's ANSI code page to UTF-16.
// false when the result would not fit kMaxPath units with its terminator.
bool AnsiToUtf16(const char* bytes, std::size_t length, std::u16string& out);

// Formats one log line into `buffer` (1024 units) the way wsprintfW does, for
// the conversions the tool uses: %s (a NUL-terminated char16_t string) and %d
// (an int). Returns the number of units written, terminator excluded.
constexpr std::size_t kLineBufferUnits = 1024;
int FormatLine(char16_t* buffer, const char16_t* format, ...);

}  // namespace platform
}  // namespace kvo
