// The POSIX handles the platform's files own: file descriptors and folder
// streams.
#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform_internal.h"

namespace kvo {
namespace platform {

struct FdTraits {
  using Handle = int;
  static int None() { return -1; }
  static bool Valid(int fd) { return fd >= 0; }
  static bool Close(int fd) { return ::close(fd) == 0; }
};
using Fd = Owned<FdTraits>;

struct FolderStreamTraits {
  using Handle = DIR*;
  static DIR* None() { return nullptr; }
  static bool Valid(DIR* stream) { return stream != nullptr; }
  static bool Close(DIR* stream) { return ::closedir(stream) == 0; }
};
using FolderStream = Owned<FolderStreamTraits>;

// Defined in move_checks.cpp for the moves: the identity of a file as
// lstat or fstat gives it.
FileIdentity IdentityOf(const struct stat& st);

}  // namespace platform
}  // namespace kvo
