// POSIX moves: a rename that never replaces, and the steps of a copy to
// another file system.
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

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

class PosixCopy final : public CrossVolumeCopy {
 public:
  PosixCopy(const std::string& from, const std::string& to) : from_(from), to_(to) {}

  bool OpenSource() override {
    // A symbolic link is never followed: copying what it points to would
    // turn the link into a file of its own in the destination.
    in_ = ::open(from_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (!in_.Valid()) return false;
    if (::fstat(in_.get(), &st_) != 0 || !S_ISREG(st_.st_mode)) return false;
    // A file without its owner's write permission is what Windows (and Wine
    // looking at this file system) calls read-only.
    return (st_.st_mode & S_IWUSR) != 0;
  }

  bool CreateTemporary() override {
    const std::size_t slash = to_.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : to_.substr(0, slash);
    temporary_ = folder + "/.kvo-move-XXXXXX";
    out_ = ::mkstemp(&temporary_[0]);
    if (!out_.Valid()) temporary_.clear();
    return out_.Valid();
  }

  bool CopyBytes() override {
    char buffer[1 << 16];
    for (;;) {
      ssize_t n = ::read(in_.get(), buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return false;
      if (n == 0) return true;
      for (ssize_t done = 0; done < n;) {
        ssize_t w = ::write(out_.get(), buffer + done, static_cast<std::size_t>(n - done));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        done += w;
      }
    }
  }

  bool Seal() override {
    in_.Close();
    ::fchmod(out_.get(), st_.st_mode & 07777);
    // Keep the archive's times, as a move by the system does.
    const struct timespec times[2] = {st_.st_atim, st_.st_mtim};
    ::futimens(out_.get(), times);
    bool ok = ::fsync(out_.get()) == 0;
    if (!out_.Close()) ok = false;
    return ok;
  }

  bool GiveFinalName() override {
    // link() never replaces an existing name; the temporary name goes after.
    if (::link(temporary_.c_str(), to_.c_str()) != 0) return false;
    RemoveTemporary();
    return true;
  }

  void RemoveTemporary() override {
    if (out_.Valid()) out_.Close();
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
  }

  bool RemoveSource() override { return ::unlink(from_.c_str()) == 0; }

  void RemoveFinal() override { ::unlink(to_.c_str()); }

 private:
  std::string from_, to_, temporary_;
  Fd in_;
  Fd out_;
  struct stat st_ {};
};

bool CopyAcrossFilesystems(const std::string& from, const std::string& to) {
  PosixCopy copy(from, to);
  return MoveAcrossVolumes(copy);
}

bool Move(const std::u16string& from, const std::u16string& to) {
  const std::string source = Utf16ToUtf8(from);
  const std::string destination = Utf16ToUtf8(to);
  if (::syscall(SYS_renameat2, AT_FDCWD, source.c_str(), AT_FDCWD, destination.c_str(),
                RENAME_NOREPLACE) == 0) {
    return true;
  }
  const int error = errno;
  if (error == EXDEV) return CopyAcrossFilesystems(source, destination);
  if (error != EINVAL && error != ENOSYS) return false;
  // The filesystem refuses the no-replace flag. A file can still be moved
  // safely: link() fails when the destination exists.
  struct stat st;
  if (::lstat(source.c_str(), &st) != 0) return false;
  if (S_ISDIR(st.st_mode)) {
    // Folders cannot be linked; check, then rename. Not atomic, but only a
    // folder appearing in between could be hit, and rename() refuses to
    // replace a non-empty folder.
    struct stat existing;
    if (::lstat(destination.c_str(), &existing) == 0 || errno != ENOENT) return false;
    return ::rename(source.c_str(), destination.c_str()) == 0;
  }
  if (::link(source.c_str(), destination.c_str()) != 0) {
    if (errno == EXDEV) return CopyAcrossFilesystems(source, destination);
    return false;
  }
  if (::unlink(source.c_str()) != 0) {
    ::unlink(destination.c_str());
    return false;
  }
  return true;
}

}  // namespace

MoveResult MoveNoReplace(const std::u16string& from, const std::u16string& to,
                         const StopFlag* stop) {
  (void)stop;
  errno = 0;
  if (Move(from, to)) return MoveResult{};
  return MoveResult{MoveStatus::kSystemError, static_cast<std::uint32_t>(errno)};
}

}  // namespace platform
}  // namespace kvo
