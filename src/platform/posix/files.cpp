// POSIX files and folders, for native tests, fuzzing and benchmarks.
// Paths are UTF-8 on disk and UTF-16 inside the tool.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/platform_internal.h"
#include "platform/posix/handles.h"
#include "platform/system.h"
#include "platform/utf8.h"

namespace kvo {
namespace platform {
namespace {

int FdOf(FileHandle file) {
  return static_cast<int>(reinterpret_cast<std::intptr_t>(file)) - 1;
}

FileHandle HandleOf(int fd) {
  return reinterpret_cast<FileHandle>(static_cast<std::intptr_t>(fd) + 1);
}

bool IsFolderOnDisk(const std::string& name) {
  struct stat st;
  return ::stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

// ---- files ---------------------------------------------------------------

bool IsFolderName(const std::u16string& path) { return IsFolderOnDisk(Utf16ToUtf8(path)); }

FileHandle OpenForReadNoShare(const std::u16string& path, FileStatus* status) {
  FileStatus ignored;
  FileStatus& why = status != nullptr ? *status : ignored;
  // POSIX has no share modes; a plain read-only open is the closest.
  const std::string name = Utf16ToUtf8(path);
  Fd fd(::open(name.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.Valid()) {
    const int error = errno;
    OpenError kind = OpenError::kOther;
    if (error == ENOTDIR) {
      kind = OpenError::kNoFolder;
    } else if (error == ENOENT) {
      // As Windows tells "file not found" from "path not found": whether the
      // folder that should hold it is still there.
      const std::size_t slash = name.find_last_of('/');
      const std::string folder = slash == std::string::npos ? std::string(".")
                                 : slash == 0               ? std::string("/")
                                                            : name.substr(0, slash);
      kind = IsFolderOnDisk(folder) ? OpenError::kNoFile : OpenError::kNoFolder;
    }
    why = ClassifyOpenFailure(kind, path);
    return nullptr;
  }
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) {
    why = FileStatus::kUnreadable;
    return nullptr;
  }
  // A folder cannot be opened as a file on Windows either.
  if (S_ISDIR(st.st_mode)) {
    why = FileStatus::kFolder;
    return nullptr;
  }
  why = FileStatus::kRead;
  return HandleOf(fd.release());
}

bool FileSize32(FileHandle file, std::uint32_t* size) {
  struct stat st;
  if (::fstat(FdOf(file), &st) != 0) return false;
  if (st.st_size < 0 || static_cast<std::uint64_t>(st.st_size) > 0xFFFFFFFEull) return false;
  *size = static_cast<std::uint32_t>(st.st_size);
  return true;
}

bool ReadExact(FileHandle file, std::uint32_t size, void* buffer) {
  char* p = static_cast<char*>(buffer);
  std::size_t left = size;
  while (left > 0) {
    ssize_t n = ::read(FdOf(file), p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

void CloseFile(FileHandle file) {
  if (file != nullptr) ::close(FdOf(file));
}

// ---- folders -----------------------------------------------------------------

std::u16string ExePath() {
  char buffer[4096];
  ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return std::u16string();
  return Utf8ToUtf16(std::string(buffer, static_cast<std::size_t>(n)));
}

std::u16string ExeFolder() {
  std::u16string path = ExePath();
  std::size_t slash = path.find_last_of(u'/');
  if (slash == std::u16string::npos) return std::u16string();
  return path.substr(0, slash == 0 ? 1 : slash);
}

bool IsFolder(const std::u16string& path) {
  if (path.empty()) return false;
  return IsFolderOnDisk(Utf16ToUtf8(path));
}

ListStatus FindFiles(const std::u16string& searchPath, std::vector<std::u16string>& names) {
  std::size_t slash = searchPath.find_last_of(u'/');
  std::u16string folder = slash == std::u16string::npos ? u"." : searchPath.substr(0, slash + 1);
  std::u16string pattern =
      slash == std::u16string::npos ? searchPath : searchPath.substr(slash + 1);
  // The caller has seen that the folder exists: failing to open it leaves
  // its contents unknown, which is not the same as an empty folder.
  FolderStream stream(::opendir(Utf16ToUtf8(folder).c_str()));
  if (!stream.Valid()) return ListStatus::kFailed;
  std::u16string name;
  for (;;) {
    errno = 0;
    struct dirent* entry = ::readdir(stream.get());
    if (entry == nullptr) break;
    const char* raw = entry->d_name;
    if (std::strcmp(raw, ".") == 0 || std::strcmp(raw, "..") == 0) continue;
    Utf8ToUtf16(reinterpret_cast<const unsigned char*>(raw), std::strlen(raw), name);
    if (MatchesPattern(pattern, name)) names.push_back(name);
  }
  // readdir ends with errno untouched at the end of the folder.
  return errno == 0 ? ListStatus::kListed : ListStatus::kFailed;
}

bool SetCurrentFolder(const std::u16string& path) {
  // Converted on the stack when it fits: a run makes its start folder
  // current again even while it unwinds for want of memory.
  char name[4096];
  if (Utf16ToUtf8(path, sizeof name, name)) return ::chdir(name) == 0;
  return ::chdir(Utf16ToUtf8(path).c_str()) == 0;
}

std::u16string CurrentFolder() {
  char buffer[4096];
  if (::getcwd(buffer, sizeof buffer) == nullptr) return std::u16string();
  return Utf8ToUtf16(std::string(buffer));
}

}  // namespace platform
}  // namespace kvo
