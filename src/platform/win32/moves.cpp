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

  MoveResult LookAtSource(SourceLook& look) override {
    return platform::LookAtSource(from_, look);
  }

  bool DestinationTaken() override { return NameTaken(to_); }

  MoveResult OpenSource() override {
    // Held with no sharing until it is deleted, so nobody changes it while
    // it is copied; DELETE access, so that we know from the start we may
    // remove it. Without FILE_FLAG_OPEN_REPARSE_POINT: the filter behind a
    // cloud, compressed or deduplicated file gives its bytes (fetching them
    // when they are not on this computer). Had the name become a link since
    // it was looked at, this would open the link's target: the identity
    // check refuses that before anything is read or removed.
    source_ = CreateFileW(W(from_), GENERIC_READ | DELETE, 0, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (!source_.Valid()) return SourceFailed(GetLastError());
    if (!GetFileInformationByHandle(source_.get(), &info_)) return Failed(GetLastError());
    return MoveResult{};
  }

  MoveResult CheckIdentity(const SourceLook& look) override {
    FileIdentity id;
    if (!ReadIdentity(source_.get(), id)) return Failed(GetLastError());
    if (id == look.id) return MoveResult{};
    return MoveResult{MoveStatus::kReplacedDuringMove, 0};
  }

  MoveResult CreateTemporary() override {
    const std::size_t cut = to_.find_last_of(u"\\/");
    if (cut == std::u16string::npos) return Failed(ERROR_INVALID_NAME);
    const std::u16string folder = to_.substr(0, cut + 1);
    // Named "kvoXXXX.tmp" (no archive's name), as GetTempFileNameW would,
    // but made here: GetTempFileNameW refuses a folder of more than
    // MAX_PATH - 14 units, which a destination folder may well be.
    DWORD unique = GetTickCount() ^ GetCurrentProcessId();
    for (int tried = 0; tried < 0x10000; ++tried) {
      unique = (unique + 1) & 0xFFFF;
      char16_t name[] = u"kvo0000.tmp";
      for (int digit = 0; digit < 4; ++digit) {
        name[6 - digit] = u"0123456789ABCDEF"[(unique >> (4 * digit)) & 0xF];
      }
      std::u16string path = folder + name;
      if (path.size() >= MAX_PATH) path = LongJoin(folder, name);
      copy_ = CreateFileW(W(path), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                          nullptr);
      if (copy_.Valid()) {
        temporary_.swap(path);  // cannot throw: the file is named before anything can fail
        return MoveResult{};
      }
      const DWORD error = GetLastError();
      if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return Failed(error);
    }
    return Failed(ERROR_FILE_EXISTS);
  }

  MoveResult Read(std::size_t size, char* buffer, std::size_t& got) override {
    DWORD read = 0;
    if (!ReadFile(source_.get(), buffer, static_cast<DWORD>(size), &read, nullptr)) {
      return Failed(GetLastError());
    }
    got = read;
    return MoveResult{};
  }

  MoveResult Write(const char* data, std::size_t size) override {
    DWORD written = 0;
    if (!WriteFile(copy_.get(), data, static_cast<DWORD>(size), &written, nullptr)) {
      return Failed(GetLastError());
    }
    return written == size ? MoveResult{} : Failed(ERROR_WRITE_FAULT);
  }

  MoveResult SetTimes() override {
    // Keep the archive's times, as a move by the system does.
    if (SetFileTime(copy_.get(), &info_.ftCreationTime, &info_.ftLastAccessTime,
                    &info_.ftLastWriteTime)) {
      return MoveResult{};
    }
    return Failed(GetLastError());
  }

  MoveResult Flush() override {
    if (!FlushFileBuffers(copy_.get())) return Failed(GetLastError());
    if (!copy_.Close()) return Failed(GetLastError());
    return MoveResult{};
  }

  MoveResult GiveFinalName() override {
    // Same volume now: a rename, which never replaces an existing name.
    if (!MoveFileExW(W(temporary_), W(to_), MOVEFILE_WRITE_THROUGH)) return Failed(GetLastError());
    temporary_.clear();
    return MoveResult{};
  }

  MoveResult SetAttributes() override {
    const DWORD attributes = info_.dwFileAttributes & kCopiedAttributes;
    if (attributes == 0 || SetFileAttributesW(W(to_), attributes)) return MoveResult{};
    return Failed(GetLastError());
  }

  MoveResult RemoveSource() override {
    // Removed when our handle closes; until then nobody else can open it.
    FILE_DISPOSITION_INFO dispose = {TRUE};
    if (SetFileInformationByHandle(source_.get(), FileDispositionInfo, &dispose, sizeof dispose)) {
      return MoveResult{};
    }
    return Failed(GetLastError());
  }

  void RemoveTemporary() override {
    if (copy_.Valid()) copy_.Close();
    if (!temporary_.empty()) DeleteFileW(W(temporary_));
    temporary_.clear();
  }

  void RemoveFinal() override { DeleteFileW(W(to_)); }

 private:
  std::u16string from_, to_, temporary_;
  File source_;
  BY_HANDLE_FILE_INFORMATION info_ = {};
  File copy_;
};

}  // namespace

MoveResult MoveNoReplace(const std::u16string& from, const std::u16string& to,
                         const StopFlag* stop) {
  // Without MOVEFILE_COPY_ALLOWED (as MoveFileW has it) the system only
  // renames; a copy it made to another volume would sit under the final name
  // while it is written, and a run ended then would leave it cut short.
  if (MoveFileExW(W(from), W(to), 0)) return MoveResult{};
  const DWORD error = GetLastError();
  if (error != ERROR_NOT_SAME_DEVICE) return Refused(from, to, error);
  Win32Copy copy(from, to);
  return MoveAcrossVolumes(copy, stop);
}

}  // namespace platform
}  // namespace kvo
