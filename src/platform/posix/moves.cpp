// POSIX moves: a rename that never replaces, and the steps of a copy to
// another file system.
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/platform_internal.h"
#include "platform/posix/handles.h"
#include "platform/system.h"
#include "platform/utf8.h"

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

namespace kvo {
namespace platform {
namespace {

MoveResult Failure(int error) { return Failed(static_cast<std::uint32_t>(error)); }

class PosixCopy final : public CrossVolumeCopy {
 public:
  PosixCopy(const std::u16string& from, const std::u16string& to)
      : fromText_(from), from_(Utf16ToUtf8(from)), to_(Utf16ToUtf8(to)) {}
  ~PosixCopy() override { RemoveTemporary(); }

  MoveResult LookAtSource(SourceLook& look) override {
    return platform::LookAtSource(fromText_, look);
  }

  bool DestinationTaken() override {
    struct stat st;
    return ::lstat(to_.c_str(), &st) == 0;
  }

  MoveResult OpenSource() override {
    // A symbolic link is never followed: copying what it points to would
    // turn the link into a file of its own in the destination. O_NONBLOCK:
    // a pipe put in the file's place must not hold the open up.
    in_ = ::open(from_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (!in_.Valid()) {
      const int error = errno;
      // A link where the file was looked at a moment ago.
      if (error == ELOOP) return MoveResult{MoveStatus::kReplacedDuringMove, ELOOP};
      return SourceFailed(static_cast<std::uint32_t>(error));
    }
    if (::fstat(in_.get(), &st_) != 0) return Failure(errno);
    // A device or pipe has no bytes of an archive to copy.
    if (!S_ISREG(st_.st_mode)) return Failure(EINVAL);
    return MoveResult{};
  }

  MoveResult CheckIdentity(const SourceLook& look) override {
    if (IdentityOf(st_) == look.id) return MoveResult{};
    return MoveResult{MoveStatus::kReplacedDuringMove, 0};
  }

  MoveResult CreateTemporary() override {
    const std::size_t slash = to_.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : to_.substr(0, slash);
    temporary_ = folder + "/.kvo-move-XXXXXX";
    out_ = ::mkstemp(&temporary_[0]);
    if (out_.Valid()) return MoveResult{};
    const int error = errno;
    temporary_.clear();
    return Failure(error);
  }

  MoveResult Read(std::size_t size, char* buffer, std::size_t& got) override {
    for (;;) {
      const ssize_t n = ::read(in_.get(), buffer, size);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return Failure(errno);
      got = static_cast<std::size_t>(n);
      return MoveResult{};
    }
  }

  MoveResult Write(const char* data, std::size_t size) override {
    for (std::size_t done = 0; done < size;) {
      const ssize_t w = ::write(out_.get(), data + done, size - done);
      if (w < 0 && errno == EINTR) continue;
      if (w < 0) return Failure(errno);
      if (w == 0) return Failure(ENOSPC);
      done += static_cast<std::size_t>(w);
    }
    return MoveResult{};
  }

  MoveResult SetTimes() override {
    // Keep the archive's times, as a move by the system does.
    const struct timespec times[2] = {st_.st_atim, st_.st_mtim};
    return ::futimens(out_.get(), times) == 0 ? MoveResult{} : Failure(errno);
  }

  MoveResult Flush() override {
    if (::fsync(out_.get()) != 0) return Failure(errno);
    if (!out_.Close()) return Failure(errno);
    return MoveResult{};
  }

  MoveResult GiveFinalName() override {
    // link() never replaces an existing name; the temporary name goes after.
    if (::link(temporary_.c_str(), to_.c_str()) != 0) return Failure(errno);
    RemoveTemporary();
    return MoveResult{};
  }

  MoveResult SetAttributes() override {
    return ::chmod(to_.c_str(), st_.st_mode & 07777) == 0 ? MoveResult{} : Failure(errno);
  }

  MoveResult RemoveSource() override {
    // unlink() removes a name, not the file we copied: another program may
    // have put a new file under that name while the copy ran (as editors
    // and sync tools save), and that one must stay. The window left between
    // the look and the unlink is a few system calls wide.
    struct stat now;
    if (::lstat(from_.c_str(), &now) != 0) return Failure(errno);
    if (!(IdentityOf(now) == IdentityOf(st_))) {
      return MoveResult{MoveStatus::kReplacedDuringMove, 0};
    }
    return ::unlink(from_.c_str()) == 0 ? MoveResult{} : Failure(errno);
  }

  void RemoveTemporary() override {
    if (out_.Valid()) out_.Close();
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
  }

  void RemoveFinal() override { ::unlink(to_.c_str()); }

 private:
  std::u16string fromText_;
  std::string from_, to_, temporary_;
  Fd in_;
  Fd out_;
  struct stat st_ {};
};

MoveResult CopyAcross(const std::u16string& from, const std::u16string& to,
                      const StopFlag* stop) {
  PosixCopy copy(from, to);
  return MoveAcrossVolumes(copy, stop);
}

}  // namespace

MoveResult MoveNoReplace(const std::u16string& from, const std::u16string& to,
                         const StopFlag* stop) {
  const std::string source = Utf16ToUtf8(from);
  const std::string destination = Utf16ToUtf8(to);
  if (::syscall(SYS_renameat2, AT_FDCWD, source.c_str(), AT_FDCWD, destination.c_str(),
                RENAME_NOREPLACE) == 0) {
    return MoveResult{};
  }
  int error = errno;
  if (error == EXDEV) return CopyAcross(from, to, stop);
  if (error != EINVAL && error != ENOSYS) return Refused(from, to, error);
  // The filesystem refuses the no-replace flag. A file can still be moved
  // safely: link() fails when the destination exists.
  struct stat st;
  if (::lstat(source.c_str(), &st) != 0) return Refused(from, to, errno);
  if (S_ISDIR(st.st_mode)) {
    // Folders cannot be linked; check, then rename. Not atomic, but only a
    // folder appearing in between could be hit, and rename() refuses to
    // replace a non-empty folder.
    struct stat existing;
    if (::lstat(destination.c_str(), &existing) == 0) {
      return MoveResult{MoveStatus::kDestinationExists, EEXIST};
    }
    if (errno != ENOENT) return Refused(from, to, errno);
    if (::rename(source.c_str(), destination.c_str()) != 0) return Refused(from, to, errno);
    return MoveResult{};
  }
  if (::link(source.c_str(), destination.c_str()) != 0) {
    error = errno;
    if (error == EXDEV) return CopyAcross(from, to, stop);
    return Refused(from, to, error);
  }
  if (::unlink(source.c_str()) != 0) {
    error = errno;
    ::unlink(destination.c_str());
    return Refused(from, to, error);
  }
  return MoveResult{};
}

}  // namespace platform
}  // namespace kvo
