// What the portable core needs from the platform beside the file system
// (file_system.h): path rules, the name order, text conversion and line
// formatting, as pure functions, and the words both the file system and its
// callers use for how a read or a listing went. Exactly one implementation
// is linked: the Windows one in the Windows build, the POSIX one everywhere
// else (tests, fuzzing, benchmarks).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kvo {

// MAX_PATH: a path holds at most this many UTF-16 units, terminator included.
constexpr std::size_t kMaxPath = 260;

namespace platform {

// How an attempt to open (and read) a file ended. Callers treat a missing
// file as an empty or absent input, but must never go on as if they had read
// one that exists: a list or preset held open by another program is there,
// and what it says still counts.
enum class FileStatus {
  kRead,        // opened (ReadWholeFile: and read whole)
  kMissing,     // the file does not exist (its folder does)
  kNoFolder,    // the folder meant to hold it does not exist (any more)
  kFolder,      // the name is a folder, not a file
  kUnreadable,  // it exists but cannot be opened or read: held with no
                // sharing, access denied, a read error or short read, or
                // more than 32 bits of size
};

// How a folder listing ended.
enum class ListStatus {
  kListed,  // the folder was listed to its end (possibly nothing matched)
  kFailed,  // it could not be listed, or not to its end: what it holds is unknown
};

// How a move ended. Every failure leaves both sides as they were. When
// several causes hold at once the first in this order is the one given:
// the source is gone, the destination has the name already, the source is
// not moved to another volume (a link, a read-only file, a folder), a path
// too long, then whatever the system said.
enum class MoveStatus {
  kMoved,
  kSourceGone,          // nothing of that name in the source folder any more
  kDestinationExists,   // a file or folder of that name is in the destination
  kInUse,               // held open by another program (sharing or lock violation)
  kAccessDenied,
  kDiskFull,            // the destination's volume has no room for the copy
  kLinkAcrossVolumes,   // a link or junction is not moved to another volume
  kReadOnlyAcrossVolumes,
  kFolderAcrossVolumes,
  kPathTooLong,         // a path of the move does not fit kMaxPath
  kCloudUnavailable,    // a cloud file whose bytes the system could not fetch
  kReplacedDuringMove,  // the source was replaced (by a link, say) while it was moved
  kStopped,             // asked to stop part-way (the session is ending)
  kSystemError,         // anything else: `systemCode` says what
};

struct MoveResult {
  MoveStatus status = MoveStatus::kMoved;
  // The system's own code for the failure (a Win32 error, an errno value),
  // 0 when there is none.
  std::uint32_t systemCode = 0;
  bool Moved() const { return status == MoveStatus::kMoved; }
};

// Set from another thread to ask long work to stop early, at the next point
// where stopping leaves nothing half done; read by the work as it goes.
using StopFlag = std::atomic<bool>;

// ---- paths -------------------------------------------------------------

// Joins folder and name with exactly one separator. On Windows the folder
// is put in canonical form ("." and ".." elements resolved; an element that
// only begins with dots, "..plug", is a name like any other); a name of one
// element (a file name, a pattern) is appended as it is, a longer relative
// path (sub\Work, ..\Up) is resolved with the folder. false when the
// result would not fit kMaxPath. For search paths, side files and folders.
bool CombinePath(const std::u16string& folder, const std::u16string& name,
                 std::u16string& out);
// The path of `name`, as a folder listing gave it, inside `folder`: the path
// a listed preset is opened by and a listed archive moved by. As CombinePath,
// and the same kMaxPath limit; on Windows the result then carries the
// prefix \\?\ (\\?\UNC\ for a network path), so that the system takes
// it as it stands: "CON.kvo", "nul.kvo" or "COM1.vac" is that file, never a
// device, and a name ending in a dot or space keeps it.
bool ListedNamePath(const std::u16string& folder, const std::u16string& name,
                    std::u16string& out);

// `field` made absolute against `start`: an absolute path is kept as it is,
// an empty one stays empty (it names no folder), anything else is taken
// relative to `start`. On Windows a path with a drive but no root ("D:x") or
// a root but no drive ("\x") is not absolute either: what it names would
// depend on the current folder. false, `out` empty, when a relative field
// meets an empty `start` or the result does not fit kMaxPath.
bool ResolveAgainst(const std::u16string& start, const std::u16string& field,
                    std::u16string& out);

// Whether the long name `name` matches the wildcard `pattern`: '*' stands for
// any run of units, '?' for any one, and every other unit must equal the
// name's under the name order's letter case rule. So "*.vac" matches exactly
// the names that end in ".vac" in any letter case, and never "a.vac_old",
// whose short name Windows would match.
bool MatchesPattern(const std::u16string& pattern, const std::u16string& name);

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
// bytes: lstrcmpiW costs far more (half a microsecond under Wine); a key the
// system would not make (empty) leaves that pair to CompareNames. On POSIX
// the key stays empty and the names themselves are compared, as cheaply.
void MakeNameKey(const char16_t* name, std::size_t length, std::string& key);
int CompareKeyed(std::string_view keyA, const std::u16string& a, std::string_view keyB,
                 const std::u16string& b);

// Converts `length` bytes of text in the system's ANSI code page to UTF-16.
// false when the result would not fit kMaxPath units with its terminator.
bool AnsiToUtf16(const char* bytes, std::size_t length, std::u16string& out);

// What the side lists need to know of the ANSI code page: its number (65001
// when it is UTF-8 itself) and whether it is a double-byte code page, whose
// characters are one or two bytes (932, 936, 949, 950). On POSIX systems the
// ANSI code page is the locale's character set (LC_ALL, LC_CTYPE or LANG,
// UTF-8 when none names one): "ja_JP.SJIS" is 932, a set with no Windows
// counterpart is number 0 and single-byte.
struct AnsiCodePage {
  std::uint32_t id = 0;
  bool doubleByte = false;
};
AnsiCodePage AnsiCodePageInfo();

// Converts `length` bytes of UTF-8 to UTF-16, whatever the code page. With
// `strict`, false (and `out` empty) unless the bytes are well-formed UTF-8:
// no overlong form, no surrogate, nothing beyond U+10FFFF, no stray or
// missing continuation byte. Without, each ill-formed run becomes U+FFFD:
// one per byte on POSIX, one or more per run on Windows. Also false for
// more than 2^31 - 1 bytes, which Windows cannot convert in one call.
bool Utf8ToUtf16(const char* bytes, std::size_t length, bool strict, std::u16string& out);

// The MultiByteToWideChar flags for the ANSI code page `codePage`:
// MB_PRECOMPOSED (1), except for UTF-8 (65001) and GB18030 (54936), which
// refuse every flag but MB_ERR_INVALID_CHARS and get 0.
std::uint32_t AnsiConversionFlags(std::uint32_t codePage);

// Formats one log line into `buffer` (1024 units) the way wsprintfW does, for
// the conversions the tool uses: %s (a NUL-terminated char16_t string), %d
// (an int) and %u (an unsigned int). Returns the number of units written,
// terminator excluded.
constexpr std::size_t kLineBufferUnits = 1024;
int FormatLine(char16_t* buffer, const char16_t* format, ...);

}  // namespace platform
}  // namespace kvo
