// Win32: what a move looks at besides its own steps: why the system refused
// it, the source as it is before it is opened, whether a name is taken, and
// what stops a move whose paths are too long to try.
#include <windows.h>

#include <cstring>
#include <string>

#include "platform/platform_internal.h"
#include "platform/system.h"
#include "platform/win32/handles.h"

namespace kvo {
namespace platform {
namespace {

// ERROR_DISK_QUOTA_EXCEEDED, which mingw-w64's winerror.h lacks: the
// destination has room, but not within the user's quota.
constexpr DWORD kDiskQuotaExceeded = 1295;

// The errors of cloud files (the cloud files API, Windows 10 version 1709
// on), by their documented values: mingw-w64's winerror.h lacks them. Met
// while a cloud file is opened or read, each means that the system could not
// give the file's bytes (the provider is not running, the network is down,
// the download was cancelled or failed...).
constexpr DWORD kCloudFileErrors[] = {
    362,  // ERROR_CLOUD_FILE_PROVIDER_NOT_RUNNING
    363,  // ERROR_CLOUD_FILE_METADATA_CORRUPT
    364,  // ERROR_CLOUD_FILE_METADATA_TOO_LARGE
    365,  // ERROR_CLOUD_FILE_PROPERTY_BLOB_TOO_LARGE
    366,  // ERROR_CLOUD_FILE_PROPERTY_BLOB_CHECKSUM_MISMATCH
    374,  // ERROR_CLOUD_FILE_TOO_MANY_PROPERTY_BLOBS
    375,  // ERROR_CLOUD_FILE_PROPERTY_VERSION_NOT_SUPPORTED
    377,  // ERROR_CLOUD_FILE_NOT_IN_SYNC
    378,  // ERROR_CLOUD_FILE_ALREADY_CONNECTED
    379,  // ERROR_CLOUD_FILE_NOT_SUPPORTED
    380,  // ERROR_CLOUD_FILE_INVALID_REQUEST
    381,  // ERROR_CLOUD_FILE_READ_ONLY_VOLUME
    382,  // ERROR_CLOUD_FILE_CONNECTED_PROVIDER_ONLY
    383,  // ERROR_CLOUD_FILE_VALIDATION_FAILED
    386,  // ERROR_CLOUD_FILE_AUTHENTICATION_FAILED
    387,  // ERROR_CLOUD_FILE_INSUFFICIENT_RESOURCES
    388,  // ERROR_CLOUD_FILE_NETWORK_UNAVAILABLE
    389,  // ERROR_CLOUD_FILE_UNSUCCESSFUL
    390,  // ERROR_CLOUD_FILE_NOT_UNDER_SYNC_ROOT
    391,  // ERROR_CLOUD_FILE_IN_USE
    392,  // ERROR_CLOUD_FILE_PINNED
    393,  // ERROR_CLOUD_FILE_REQUEST_ABORTED
    394,  // ERROR_CLOUD_FILE_PROPERTY_CORRUPT
    395,  // ERROR_CLOUD_FILE_ACCESS_DENIED
    396,  // ERROR_CLOUD_FILE_INCOMPATIBLE_HARDLINKS
    397,  // ERROR_CLOUD_FILE_PROPERTY_LOCK_CONFLICT
    398,  // ERROR_CLOUD_FILE_REQUEST_CANCELED
    404,  // ERROR_CLOUD_FILE_PROVIDER_TERMINATED
};

bool StartsWith(const std::u16string& text, const char16_t* prefix) {
  return text.compare(0, std::char_traits<char16_t>::length(prefix), prefix) == 0;
}

// The volume serial number of the volume holding the folder; false when
// the folder cannot be asked.
bool VolumeOf(const std::u16string& folder, DWORD& serial) {
  File entry(CreateFileW(W(folder), FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  if (!entry.Valid() || !GetFileInformationByHandle(entry.get(), &info)) return false;
  serial = info.dwVolumeSerialNumber;
  return true;
}

}  // namespace

// `name` in `folder`, in the form that lifts MAX_PATH ("\\?\C:\...",
// "\\?\UNC\server\..."), for paths the tool does not otherwise form. The
// prefix turns off the system's own clean-up of a path, so the folder is
// made absolute and clean first; the name is appended as it is (a name such
// as CON.vac is then the file, never a device).
std::u16string LongJoin(const std::u16string& folder, const std::u16string& name) {
  std::u16string out;
  if (StartsWith(folder, u"\\\\?\\")) {
    out = folder;
  } else {
    const DWORD needed = GetFullPathNameW(W(folder), 0, nullptr, nullptr);
    std::u16string full(needed, u'\0');
    const DWORD length =
        needed == 0 ? 0
                    : GetFullPathNameW(W(folder), needed,
                                       reinterpret_cast<wchar_t*>(&full[0]), nullptr);
    if (length == 0 || length >= needed) {
      out = folder;  // left as given: the system's error then says why
    } else {
      full.resize(length);
      out = StartsWith(full, u"\\\\") ? u"\\\\?\\UNC\\" + full.substr(2) : u"\\\\?\\" + full;
    }
  }
  if (!out.empty() && out.back() != u'\\' && out.back() != u'/') out += u'\\';
  return out + name;
}

// The file's identity: its 128-bit id (FileIdInfo, Windows 8 on; every
// file system that has ids of its own, ReFS among them), else the 64-bit
// index the older call gives (unique on NTFS and FAT, and all there is on
// systems that lack FileIdInfo). Both handles of one move ask the same file
// system, so they take the id the same way; ids taken two ways never match.
bool ReadIdentity(HANDLE file, FileIdentity& id) {
  FILE_ID_INFO info;
  if (GetFileInformationByHandleEx(file, FileIdInfo, &info, sizeof info)) {
    id.kind = 1;
    id.volume = info.VolumeSerialNumber;
    static_assert(sizeof info.FileId == sizeof id.file, "128-bit file id");
    std::memcpy(id.file, &info.FileId, sizeof id.file);
    return true;
  }
  BY_HANDLE_FILE_INFORMATION basic;
  if (!GetFileInformationByHandle(file, &basic)) return false;
  id.kind = 2;
  id.volume = basic.dwVolumeSerialNumber;
  const DWORD index[2] = {basic.nFileIndexLow, basic.nFileIndexHigh};
  std::memcpy(id.file, index, sizeof index);
  return true;
}

MoveStatus StatusOfError(std::uint32_t code) {
  switch (code) {
    case ERROR_ALREADY_EXISTS: case ERROR_FILE_EXISTS: return MoveStatus::kDestinationExists;
    case ERROR_SHARING_VIOLATION: case ERROR_LOCK_VIOLATION: return MoveStatus::kInUse;
    case ERROR_ACCESS_DENIED: return MoveStatus::kAccessDenied;
    case ERROR_DISK_FULL: case ERROR_HANDLE_DISK_FULL: case kDiskQuotaExceeded:
      return MoveStatus::kDiskFull;
    case ERROR_FILENAME_EXCED_RANGE: return MoveStatus::kPathTooLong;
    default: break;
  }
  for (DWORD cloud : kCloudFileErrors) {
    if (code == cloud) return MoveStatus::kCloudUnavailable;
  }
  return MoveStatus::kSystemError;
}

bool SourceGone(const std::u16string& path) {
  if (GetFileAttributesW(W(path)) != INVALID_FILE_ATTRIBUTES) return false;
  const DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool NameTaken(const std::u16string& path) {
  return GetFileAttributesW(W(path)) != INVALID_FILE_ATTRIBUTES;
}

MoveResult SourceFailed(std::uint32_t code) {
  if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) {
    return MoveResult{MoveStatus::kSourceGone, code};
  }
  return Failed(code);
}

MoveResult LookAtSource(const std::u16string& path, SourceLook& look) {
  // The entry itself (a link, not what it points to; a folder too), for its
  // attributes only: such a handle is granted whatever sharing another
  // program holds the file with, and reads none of its bytes, so a cloud
  // file is not fetched for it.
  File entry(CreateFileW(W(path), FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                         nullptr));
  if (!entry.Valid()) return SourceFailed(GetLastError());
  FILE_ATTRIBUTE_TAG_INFO tag = {};
  if (GetFileInformationByHandleEx(entry.get(), FileAttributeTagInfo, &tag, sizeof tag)) {
    look.attributes = tag.FileAttributes;
    look.reparseTag = (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? tag.ReparseTag : 0;
  } else {
    // Without its tag a reparse point is refused as a link would be.
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(entry.get(), &info)) return Failed(GetLastError());
    look.attributes = info.dwFileAttributes;
    look.reparseTag = 0;
  }
  if (!ReadIdentity(entry.get(), look.id)) return Failed(GetLastError());
  return MoveResult{};
}

MoveStatus MoveObstacle(const std::u16string& fromFolder, const std::u16string& toFolder,
                        const std::u16string& name) {
  DWORD fromVolume = 0;
  DWORD toVolume = 0;
  const bool sameVolume = !VolumeOf(fromFolder, fromVolume) || !VolumeOf(toFolder, toVolume) ||
                          fromVolume == toVolume;
  return ObstacleTo(LongJoin(fromFolder, name), LongJoin(toFolder, name), sameVolume);
}

}  // namespace platform
}  // namespace kvo
