// The few operating-system services the portable core needs, as free
// functions. Exactly one implementation is linked: platform_win32.cpp in the
// Windows build, platform_posix.cpp everywhere else (tests, fuzzing, benchmarks).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kvo {

// MAX_PATH: a path holds at most this many UTF-16 units, terminator included.
constexpr std::size_t kMaxPath = 260;

namespace platform {

// ---- files -------------------------------------------------------------

// Opaque handle of a file opened for reading; nullptr means "not open".
using FileHandle = void*;

// How an attempt to open (and read) a file ended. Callers treat a missing
// file as an empty or absent input, but must never go on as if they had read
// one that exists: a list or preset held open by another program is there,
// and what it says still counts.
enum class FileStatus {
  kRead,        // opened (ReadWholeFile: and read whole)
  kMissing,     // the file or its folder does not exist
  kFolder,      // the name is a folder, not a file
  kUnreadable,  // it exists but cannot be opened or read: held with no
                // sharing, access denied, a read error or short read, or
                // more than 32 bits of size
};

// Opens an existing file for reading with no sharing (share mode 0), so that
// nobody can change it while we read it. nullptr when it cannot be opened;
// `status`, when given, then says why (kRead when it was opened).
FileHandle OpenForReadNoShare(const std::u16string& path, FileStatus* status = nullptr);
// Size of an open file. false when it cannot be taken or does not fit in
// 32 bits (such a file is never a list or preset we can use).
bool FileSize32(FileHandle file, std::uint32_t* size);
// Reads exactly `size` bytes from the current position; false on an error or a
// short read.
bool ReadExact(FileHandle file, void* buffer, std::uint32_t size);
void CloseFile(FileHandle file);

// Owns an open file and closes it however its user is left, running out of
// memory included.
class ScopedFile {
 public:
  explicit ScopedFile(FileHandle file) : file_(file) {}
  ~ScopedFile() { CloseFile(file_); }
  ScopedFile(const ScopedFile&) = delete;
  ScopedFile& operator=(const ScopedFile&) = delete;
  FileHandle get() const { return file_; }
  // Closes it now.
  void Close() {
    CloseFile(file_);
    file_ = nullptr;
  }

 private:
  FileHandle file_;
};

// Reads a whole file (opened with no sharing) into `out`, followed by
// `extraZeros` zero bytes. Anything but kRead leaves `out` empty.
FileStatus ReadWholeFile(const std::u16string& path, std::vector<char>& out,
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

// `field` made absolute against `start`: an absolute path is kept as it is,
// an empty one stays empty (it names no folder), anything else is taken
// relative to `start`. On Windows a path with a drive but no root ("D:x") or
// a root but no drive ("\x") is not absolute either: what it names would
// depend on the current directory. false, `out` empty, when a relative field
// meets an empty `start` or the result does not fit kMaxPath.
bool ResolveAgainst(const std::u16string& start, const std::u16string& field,
                    std::u16string& out);

// true only when `path` names an existing directory.
bool IsDirectory(const std::u16string& path);

// Whether the long name `name` matches the wildcard `pattern`: '*' stands for
// any run of units, '?' for any one, and every other unit must equal the
// name's under the name order's letter case rule. So "*.vac" matches exactly
// the names that end in ".vac" in any letter case, and never "a.vac_old",
// whose short name Windows would match.
bool MatchesPattern(const std::u16string& pattern, const std::u16string& name);

// How a folder listing ended.
enum class ListStatus {
  kListed,  // the folder was listed to its end (possibly nothing matched)
  kFailed,  // it could not be listed, or not to its end: what it holds is unknown
};

// Lists the entries matching the wildcard of `searchPath` (folder + pattern,
// as formed by CombinePath), in the order the system delivers them, appending
// their bare names to `names`. Only long names that match the pattern by
// MatchesPattern are listed. Sub-folders are listed like files. A folder in
// which nothing matches is kListed with no name added.
ListStatus FindFiles(const std::u16string& searchPath, std::vector<std::u16string>& names);

bool SetCurrentDir(const std::u16string& path);
std::u16string CurrentDir();

// The folder the program was started in: RecordStartDir takes the current
// directory as it, and the program's entry calls it once before anything
// changes the current directory. StartDir records it on its first call if
// that has not happened.
void RecordStartDir();
std::u16string StartDir();

// Moves (renames) a file or folder. Never replaces an existing destination;
// on failure both sides are as they were. A file that must go to another
// volume is copied to a temporary name in the destination's folder, flushed,
// given its final name without replacing, and only then removed from its
// source; an interrupted move thus never leaves a partial file under the
// final name. A folder is not moved to another volume.
bool MoveNoReplace(const std::u16string& from, const std::u16string& to);

// ---- text --------------------------------------------------------------

// The name order: case-insensitive, total, like lstrcmpiW. Negative, zero or
// positive. Names that differ only in letter case compare equal.
int CompareNames(const char16_t* a, const char16_t* b);

// The name order made cheap for names that are compared many times: each
// is given a key once, and then CompareKeyed orders two names, each with its
// key, exactly as CompareNames orders them (zero exactly when CompareNames
// finds them equal). MakeNameKey replaces `key` with the key of the `length`
// units at `name` (no NUL among them); it costs about one CompareNames call.
// On Windows the key is the system's sort key and only keys are compared, as
// bytes: lstrcmpiW costs far more (half a microsecond under Wine). On POSIX
// the key stays empty and the names themselves are compared, as cheaply.
void MakeNameKey(const char16_t* name, std::size_t length, std::string& key);
int CompareKeyed(std::string_view keyA, const std::u16string& a, std::string_view keyB,
                 const std::u16string& b);

// Converts `length` bytes of text in the system's ANSI code page to UTF-16.
// false when the result would not fit kMaxPath units with its terminator.
bool AnsiToUtf16(const char* bytes, std::size_t length, std::u16string& out);

// The MultiByteToWideChar flags for the ANSI code page `codePage`:
// MB_PRECOMPOSED (1), except for UTF-8 (65001) and GB18030 (54936), which
// refuse every flag but MB_ERR_INVALID_CHARS and get 0.
std::uint32_t AnsiConversionFlags(std::uint32_t codePage);

// Formats one log line into `buffer` (1024 units) the way wsprintfW does, for
// the conversions the tool uses: %s (a NUL-terminated char16_t string) and %d
// (an int). Returns the number of units written, terminator excluded.
constexpr std::size_t kLineBufferUnits = 1024;
int FormatLine(char16_t* buffer, const char16_t* format, ...);

}  // namespace platform
}  // namespace kvo
