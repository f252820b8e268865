// What the platform's own files share: the decisions that are the same on
// every system, written once, and the small pieces each system supplies for
// them. Nothing outside src/platform includes this header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace kvo {
namespace platform {

// ---- owning system handles ------------------------------------------------

// Owns a system handle and closes it on every way out, running out of memory
// included. `Traits` gives the handle type, the value that holds nothing,
// whether a value holds something, and how to close it (true when closing
// reported no error).
template <typename Traits>
class Owned {
 public:
  using Handle = typename Traits::Handle;
  explicit Owned(Handle handle = Traits::None()) : handle_(handle) {}
  ~Owned() {
    if (Valid()) Traits::Close(handle_);
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  // Closes what it held, then holds `handle`.
  Owned& operator=(Handle handle) {
    if (Valid()) Traits::Close(handle_);
    handle_ = handle;
    return *this;
  }
  Handle get() const { return handle_; }
  bool Valid() const { return Traits::Valid(handle_); }
  // Gives the handle up without closing it.
  Handle release() {
    const Handle handle = handle_;
    handle_ = Traits::None();
    return handle;
  }
  // Closes it now; false when closing reports an error (or nothing was held).
  bool Close() {
    if (!Valid()) return false;
    return Traits::Close(release());
  }

 private:
  Handle handle_;
};

// ---- why a file could not be opened ------------------------------------------

// An open that failed, in the words both systems have for it.
enum class OpenError {
  kNoFile,    // the name is not there, its folder is
  kNoFolder,  // the folder that should hold it is not there
  kOther,     // anything else: access denied, held with no sharing, a folder...
};

// true when `path` names an existing folder, asked the way the system's own
// open would see it. Defined by each system.
bool IsFolderName(const std::u16string& path);

// What an open that failed with `error` means for the caller: only a name
// that is not there is missing; a folder is a folder; anything else that
// exists cannot be read, and must not pass for missing.
FileStatus ClassifyOpenFailure(OpenError error, const std::u16string& path);

// ---- moves ----------------------------------------------------------------------

// A source as a move looks at it before opening its bytes, never following
// a link: its attributes and reparse tag in Windows' words (the POSIX files
// describe their files so too), and its identity on its volume.
constexpr std::uint32_t kAttributeReadOnly = 0x1;        // FILE_ATTRIBUTE_READONLY
constexpr std::uint32_t kAttributeFolder = 0x10;         // FILE_ATTRIBUTE_DIRECTORY
constexpr std::uint32_t kAttributeReparsePoint = 0x400;  // FILE_ATTRIBUTE_REPARSE_POINT
constexpr std::uint32_t kReparseTagSymlink = 0xA000000C; // IO_REPARSE_TAG_SYMLINK

struct FileIdentity {
  // How the id was taken (ids taken two ways are never equal), the volume's
  // serial number and the file's id on it.
  std::uint32_t kind = 0;
  std::uint64_t volume = 0;
  unsigned char file[16] = {};
  bool operator==(const FileIdentity& other) const;
};

struct SourceLook {
  std::uint32_t attributes = 0;
  std::uint32_t reparseTag = 0;  // 0: none, or none could be read
  FileIdentity id;
};

// What a move to another volume makes of a source so described: kMoved to
// copy it, else why it is not moved across. A name surrogate (symbolic link,
// junction, mount point) stands for another file or folder, which is not
// ours to copy or remove; so does a reparse point whose tag is unknown. Any
// other reparse point is plain data behind a filter (a cloud file, a file
// compressed by WOF, a deduplicated one) and is copied like any file. A
// folder is not copied, nor is a read-only file (it could not be removed
// after the copy, which would only be thrown away).
MoveStatus AcrossVolumesDecision(std::uint32_t attributes, std::uint32_t reparseTag);

// Supplied by each system: ----------------------------------------------------

// What the system's error `code` (a Win32 error, an errno value) says about
// a move: kSystemError when none of the statuses fits.
MoveStatus StatusOfError(std::uint32_t code);
// The same for an error met opening or looking at the source: kSourceGone
// when the code says there is no such name.
MoveResult SourceFailed(std::uint32_t code);
// true when nothing of that name is there any more (its folder may be gone).
bool SourceGone(const std::u16string& path);
// true when a file, folder or link of that name is there.
bool NameTaken(const std::u16string& path);
// Looks at `path` without following a link; on failure kSourceGone when it
// is not there, else what the system's error says.
MoveResult LookAtSource(const std::u16string& path, SourceLook& look);

// Written once: ---------------------------------------------------------------

// A step that failed with the system's error `code`, as StatusOfError says.
MoveResult Failed(std::uint32_t code);

// Why a move that the system refused with `code` failed, by the order of
// causes: the source gone, the destination's name taken, then what the
// code says.
MoveResult Refused(const std::u16string& from, const std::u16string& to, std::uint32_t code);

// What stops a move from `from` to `to` before the system is asked (see
// FileSystem::MoveObstacle); `sameVolume` false when the folders are known
// to lie on different volumes.
MoveStatus ObstacleTo(const std::u16string& from, const std::u16string& to, bool sameVolume);

// The steps of a move to another volume, which each system supplies; the
// order they run in, and what is undone when one fails, is MoveAcrossVolumes.
// Each step returns kMoved when it is done, else why it failed. Whatever a
// step leaves open is closed when the object goes away.
class CrossVolumeCopy {
 public:
  virtual ~CrossVolumeCopy();
  // Looks at the source without opening its bytes or following a link.
  virtual MoveResult LookAtSource(SourceLook& look) = 0;
  // true when the destination's name is taken already.
  virtual bool DestinationTaken() = 0;
  // Opens the source's bytes, held so that nobody changes it while it is
  // copied, with the right to remove it.
  virtual MoveResult OpenSource() = 0;
  // kReplacedDuringMove unless the file opened is the one looked at.
  virtual MoveResult CheckIdentity(const SourceLook& look) = 0;
  // Creates an empty temporary file in the destination's folder, under a
  // name that is no archive's.
  virtual MoveResult CreateTemporary() = 0;
  // Reads the source's next bytes, at most `size`, into `buffer`; `got` 0 at
  // its end.
  virtual MoveResult Read(std::size_t size, char* buffer, std::size_t& got) = 0;
  // Appends `size` bytes to the temporary.
  virtual MoveResult Write(const char* data, std::size_t size) = 0;
  // Gives the temporary the source's times (a failure is no reason to give
  // up: the archive is whole).
  virtual MoveResult SetTimes() = 0;
  // Makes the temporary durable and closes it.
  virtual MoveResult Flush() = 0;
  // Gives the temporary its final name, never replacing an existing one.
  virtual MoveResult GiveFinalName() = 0;
  // Gives the copy under its final name the source's attributes (never the
  // temporary: a temporary left by a run ended mid-copy must not be
  // hidden). A failure is no reason to give up: the archive is whole.
  virtual MoveResult SetAttributes() = 0;
  // Removes the source.
  virtual MoveResult RemoveSource() = 0;
  // Removes the temporary, whatever became of it.
  virtual void RemoveTemporary() = 0;
  // Removes the finished copy under its final name.
  virtual void RemoveFinal() = 0;
};

// Looks at the source and refuses what is not moved across (after a source
// gone and a destination taken, in that order), then copies to a temporary
// name, makes the copy durable, gives it its final name without replacing,
// and only then removes the source: a move ended at any point never leaves a
// partial file under the final name. On failure both sides are as they
// were; a source that cannot be removed has its finished copy taken back,
// so the file exists once. `stop`, when given, is looked at before each
// block: once set, the copy is given up with kStopped.
MoveResult MoveAcrossVolumes(CrossVolumeCopy& copy, const StopFlag* stop);

}  // namespace platform
}  // namespace kvo
