// What the platform's own files share: the decisions that are the same on
// every system, written once, and the small pieces each system supplies for
// them. Nothing outside src/platform includes this header.
#pragma once

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

// ---- moving a file to another volume -------------------------------------------

// The steps of a move to another volume, which each system supplies; the
// order they run in, and what is undone when one fails, is MoveAcrossVolumes.
// Whatever a step leaves open is closed when the object goes away.
class CrossVolumeCopy {
 public:
  virtual ~CrossVolumeCopy();
  // Opens the source, held so that nobody changes it while it is copied,
  // never following a link. false for anything that is not moved across: a
  // folder, a link or other reparse point (neither it nor its target is
  // ours to copy or remove), a read-only file (it could not be removed
  // after the copy, which would only be thrown away).
  virtual bool OpenSource() = 0;
  // Creates an empty temporary file in the destination's folder, under a
  // name that is no archive's.
  virtual bool CreateTemporary() = 0;
  // Copies the source's bytes into it.
  virtual bool CopyBytes() = 0;
  // Gives the copy the source's times and attributes, makes it durable and
  // closes it.
  virtual bool Seal() = 0;
  // Gives the temporary its final name, never replacing an existing one.
  virtual bool GiveFinalName() = 0;
  // Removes the temporary, whatever became of it.
  virtual void RemoveTemporary() = 0;
  // Removes the source.
  virtual bool RemoveSource() = 0;
  // Removes the finished copy under its final name.
  virtual void RemoveFinal() = 0;
};

// Copies to a temporary name, makes the copy durable, gives it its final
// name without replacing, and only then removes the source: a move ended at
// any point never leaves a partial file under the final name. On failure
// both sides are as they were; a source that cannot be removed has its
// finished copy taken back, so the file exists once.
bool MoveAcrossVolumes(CrossVolumeCopy& copy);

}  // namespace platform
}  // namespace kvo
