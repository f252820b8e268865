// The two text lists kept beside the executable: ExList.txt (archives that
// are always needed) and IdList.txt (item id -> archive name).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "lists/id_table.h"
#include "lists/name_set.h"
#include "platform/file_system.h"
#include "platform/platform.h"

namespace kvo {

// Reads the side file `name` from the executable's folder as `fs` names it,
// whole, followed by one NUL byte. Anything but kRead leaves `text` empty.
platform::FileStatus ReadSideFile(platform::FileSystem& fs, const std::u16string& name,
                                  std::vector<char>& text);

// How loading a side list ended.
enum class ListLoad {
  kLoaded,      // read, and its lines added (a list may hold none)
  kMissing,     // no such file (or no such folder): nothing added
  kUnreadable,  // it exists but cannot be read (held by another program, no
                // access, a folder of that name, a read error), or holds a
                // NUL: nothing added
};

// Fill the given containers from ExList.txt / IdList.txt. A list that is
// not kLoaded leaves the container as it was.
ListLoad LoadExList(platform::FileSystem& fs, NameSet& exList);
ListLoad LoadIdList(platform::FileSystem& fs, IdTable& idTable);

// The line rules, on a list file's bytes already in memory (`size` bytes,
// no terminator needed), once DecodeListText has decided their encoding
// under this process's ANSI code page. Lines end at LF; a CR just before
// the LF is dropped; a last line without LF is read. A name of more than
// 259 UTF-16 units is skipped. A decoded text that holds a NUL anywhere (a
// zero byte in ANSI or UTF-8, a zero unit in UTF-16) is no list: a file a
// crash left zeroed, or saved as UTF-16 without its mark, whose every name
// would end at its first byte. Then nothing is added and the result is
// false.
bool ParseExList(const char* text, std::size_t size, NameSet& exList);
bool ParseIdList(const char* text, std::size_t size, IdTable& idTable);

}  // namespace kvo
