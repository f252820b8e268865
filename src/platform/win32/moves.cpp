// Win32 moves: a rename that never replaces, and the steps of a copy to
// another volume.
#include <windows.h>

#include <string>

#include "platform/platform_internal.h"
#include "platform/system.h"
#include "platform/win32/handles.h"

namespace kvo {
namespace platform {
namespace {

// Attributes a copy keeps, as a move by the system keeps them all.
constexpr DWORD kCopiedAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                    FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// The source is held with no sharing until it is deleted and closes last,
// after the temporary is gone.
class Win32Copy final : public CrossVolumeCopy {
 public:
  Win32Copy(const std::u16string& from, const std::u16string& to) : from_(from), to_(to) {}
  ~Win32Copy() override { RemoveTemporary(); }

  bool OpenSource() override {
    // Held with no sharing until it is deleted, so nobody changes it while
    // it is copied; DELETE access, so that we know from the start we may
    // remove it. A folder cannot be opened this way: it is not moved across
    // volumes. FILE_FLAG_OPEN_REPARSE_POINT opens a symbolic link or
    // junction itself, never its target: marking a link's target for
    // deletion would delete a file outside the folders, and leave the link
    // dangling.
    source_ = CreateFileW(W(from_), GENERIC_READ | DELETE, 0, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN |
                              FILE_FLAG_OPEN_REPARSE_POINT,
                          nullptr);
    if (!source_.Valid()) return false;
    if (!GetFileInformationByHandle(source_.get(), &info_)) return false;
    return (info_.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_READONLY |
                                      FILE_ATTRIBUTE_DIRECTORY)) == 0;
  }

  bool CreateTemporary() override {
    const std::size_t cut = to_.find_last_of(u"\\/");
    if (cut == std::u16string::npos) return false;
    const std::u16string folder = to_.substr(0, cut + 1);
    // GetTempFileNameW takes a folder of at most MAX_PATH - 14 units, the
    // \\?\ prefix counted; Wine's does not check and writes past the buffer.
    if (folder.size() > MAX_PATH - 14) return false;
    // The temporary gets a name that is no archive's ("kvoXXXX.tmp").
    if (GetTempFileNameW(W(folder), L"kvo", 0, temporary_) == 0) {
      temporary_[0] = 0;
      return false;
    }
    copy_ = CreateFileW(temporary_, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
    return copy_.Valid();
  }

  bool CopyBytes() override {
    char buffer[1 << 16];
    for (;;) {
      DWORD read = 0;
      if (!ReadFile(source_.get(), buffer, sizeof buffer, &read, nullptr)) return false;
      if (read == 0) return true;
      DWORD written = 0;
      if (!WriteFile(copy_.get(), buffer, read, &written, nullptr) || written != read) return false;
    }
  }

  bool Seal() override {
    // Keep the archive's times and attributes, as a move by the system does.
    SetFileTime(copy_.get(), &info_.ftCreationTime, &info_.ftLastAccessTime,
                &info_.ftLastWriteTime);
    if (!FlushFileBuffers(copy_.get())) return false;
    if (!copy_.Close()) return false;
    const DWORD attributes = info_.dwFileAttributes & kCopiedAttributes;
    return attributes == 0 || SetFileAttributesW(temporary_, attributes);
  }

  bool GiveFinalName() override {
    // Same volume now: a rename, which never replaces an existing name.
    if (!MoveFileExW(temporary_, W(to_), MOVEFILE_WRITE_THROUGH)) return false;
    temporary_[0] = 0;
    return true;
  }

  void RemoveTemporary() override {
    if (copy_.Valid()) copy_.Close();
    if (temporary_[0] != 0) DeleteFileW(temporary_);
    temporary_[0] = 0;
  }

  bool RemoveSource() override {
    // Removed when our handle closes; until then nobody else can open it.
    FILE_DISPOSITION_INFO dispose = {TRUE};
    return SetFileInformationByHandle(source_.get(), FileDispositionInfo, &dispose,
                                      sizeof dispose) != FALSE;
  }

  void RemoveFinal() override { DeleteFileW(W(to_)); }

 private:
  std::u16string from_, to_;
  File source_;
  BY_HANDLE_FILE_INFORMATION info_ = {};
  wchar_t temporary_[MAX_PATH] = {};
  File copy_;
};

}  // namespace

bool MoveNoReplace(const std::u16string& from, const std::u16string& to) {
  // Without MOVEFILE_COPY_ALLOWED (as MoveFileW has it) the system only
  // renames; a copy it made to another volume would sit under the final name
  // while it is written, and a run ended then would leave it cut short.
  if (MoveFileExW(W(from), W(to), 0)) return true;
  if (GetLastError() != ERROR_NOT_SAME_DEVICE) return false;
  Win32Copy copy(from, to);
  return MoveAcrossVolumes(copy);
}

}  // namespace platform
}  // namespace kvo
