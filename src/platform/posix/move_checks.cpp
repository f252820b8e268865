// POSIX: what a move looks at besides its own steps: why the system refused
// it, the source as it is before it is opened, whether a name is taken, and
// what stops a move whose paths are too long to try.
#include <errno.h>
#include <sys/stat.h>

#include <cstring>
#include <string>

#include "platform/platform_internal.h"
#include "platform/posix/handles.h"
#include "platform/system.h"
#include "platform/utf8.h"

namespace kvo {
namespace platform {
namespace {

std::u16string Join(const std::u16string& folder, const std::u16string& name) {
  return !folder.empty() && folder.back() == u'/' ? folder + name : folder + u'/' + name;
}

}  // namespace

FileIdentity IdentityOf(const struct stat& st) {
  FileIdentity id;
  id.kind = 1;
  id.volume = static_cast<std::uint64_t>(st.st_dev);
  static_assert(sizeof st.st_ino <= sizeof id.file, "inode number fits");
  std::memcpy(id.file, &st.st_ino, sizeof st.st_ino);
  return id;
}

MoveStatus StatusOfError(std::uint32_t code) {
  switch (static_cast<int>(code)) {
    case EEXIST: case ENOTEMPTY: return MoveStatus::kDestinationExists;
    case ETXTBSY: case EBUSY: return MoveStatus::kInUse;
    case EACCES: case EPERM: return MoveStatus::kAccessDenied;
    case ENOSPC: case EDQUOT: return MoveStatus::kDiskFull;
    case ENAMETOOLONG: return MoveStatus::kPathTooLong;
    default: return MoveStatus::kSystemError;
  }
}

bool SourceGone(const std::u16string& path) {
  struct stat st;
  return ::lstat(Utf16ToUtf8(path).c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

bool NameTaken(const std::u16string& path) {
  struct stat st;
  return ::lstat(Utf16ToUtf8(path).c_str(), &st) == 0;
}

MoveResult SourceFailed(std::uint32_t code) {
  if (code == ENOENT || code == ENOTDIR) return MoveResult{MoveStatus::kSourceGone, code};
  return Failed(code);
}

MoveResult LookAtSource(const std::u16string& path, SourceLook& look) {
  struct stat st;
  if (::lstat(Utf16ToUtf8(path).c_str(), &st) != 0) {
    return SourceFailed(static_cast<std::uint32_t>(errno));
  }
  look.attributes = 0;
  look.reparseTag = 0;
  if (S_ISLNK(st.st_mode)) {
    look.attributes = kAttributeReparsePoint;
    look.reparseTag = kReparseTagSymlink;
  } else if (S_ISDIR(st.st_mode)) {
    look.attributes = kAttributeFolder;
  }
  // A file without its owner's write permission is what Windows (and Wine
  // looking at this file system) calls read-only.
  if (!S_ISLNK(st.st_mode) && (st.st_mode & S_IWUSR) == 0) look.attributes |= kAttributeReadOnly;
  look.id = IdentityOf(st);
  return MoveResult{};
}

MoveStatus MoveObstacle(const std::u16string& fromFolder, const std::u16string& toFolder,
                        const std::u16string& name) {
  struct stat a, b;
  const bool sameVolume = ::stat(Utf16ToUtf8(fromFolder).c_str(), &a) != 0 ||
                          ::stat(Utf16ToUtf8(toFolder).c_str(), &b) != 0 || a.st_dev == b.st_dev;
  return ObstacleTo(Join(fromFolder, name), Join(toFolder, name), sameVolume);
}

}  // namespace platform
}  // namespace kvo
