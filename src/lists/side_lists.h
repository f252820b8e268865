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

// Fill the given containers from ExList.txt / IdList.txt. A list that cannot
// be read leaves the container as it was. An empty IdTable stops a run
// anyway; an ExList.txt that exists but cannot be read would pass for an
// empty one, so LoadExList is false then (true when read or missing).
bool LoadExList(platform::FileSystem& fs, NameSet& exList);
void LoadIdList(platform::FileSystem& fs, IdTable& idTable);

// The line rules, on a list file's bytes already in memory (`size` bytes,
// no terminator needed), once DecodeListText has decided their encoding
// under this process's ANSI code page. Lines end at LF; a CR just before
// the LF is dropped; a last line without LF is read; a NUL ends the text
// before the line holding it. A name of more than 259 UTF-16 units is
// skipped.
void ParseExList(const char* text, std::size_t size, NameSet& exList);
void ParseIdList(const char* text, std::size_t size, IdTable& idTable);

}  // namespace kvo
