// The system's own calls behind DefaultFileSystem(), with the few the
// program's entry and the platform's tests need beside them. The core never
// includes this header: it reaches files and folders only through the
// FileSystem it is given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace kvo {
namespace platform {

// ---- files -------------------------------------------------------------

// Opaque handle of a file opened for reading; nullptr means "not open".
using FileHandle = void*;

// Opens an existing file for reading with no sharing (share mode 0), so that
// nobody can change it while we read it. nullptr when it cannot be opened;
// `status`, when given, then says why (kRead when it was opened).
FileHandle OpenForReadNoShare(const std::u16string& path, FileStatus* status = nullptr);
// Size of an open file. false when it cannot be taken or does not fit in
// 32 bits (such a file is never a list or preset we can use).
bool FileSize32(FileHandle file, std::uint32_t* size);
// Reads exactly `size` bytes from the current position; false on an error or a
// short read.
bool ReadExact(FileHandle file, std::uint32_t size, void* buffer);
void CloseFile(FileHandle file);

// FileSystem::ReadWholeFile on the system's files.
FileStatus ReadWholeFile(const std::u16string& path, std::size_t extraZeros,
                         std::vector<char>& out);

// ---- folders -------------------------------------------------------------

// FileSystem::IsFolder, FindFiles, MoveNoReplace and MoveObstacle on the
// system's files.
bool IsFolder(const std::u16string& path);
ListStatus FindFiles(const std::u16string& searchPath, std::vector<std::u16string>& names);
MoveResult MoveNoReplace(const std::u16string& from, const std::u16string& to,
                         const StopFlag* stop = nullptr);
MoveStatus MoveObstacle(const std::u16string& fromFolder, const std::u16string& toFolder,
                        const std::u16string& name);

// ---- the process ---------------------------------------------------------

// Full path of the running executable, and its folder without a trailing
// separator.
std::u16string ExePath();
std::u16string ExeFolder();

bool SetCurrentFolder(const std::u16string& path);
std::u16string CurrentFolder();

// The folder the program was started in: RecordStartFolder takes the current
// folder as it, and the program's entry calls it once before anything
// changes the current folder. StartFolder records it on its first call if
// that has not happened.
void RecordStartFolder();
std::u16string StartFolder();

}  // namespace platform
}  // namespace kvo
