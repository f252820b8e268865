// The two text lists kept beside the executable: ExList.txt (archives that
// are always needed) and IdList.txt (item id -> archive name).
#pragma once

#include <cstddef>
#include <cstdint>
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

// The line rules, on text already in memory (`size` bytes, no terminator
// needed). Lines end at LF; a CR just before the LF is dropped; a last line
// without LF is read; an embedded NUL ends the text before the line holding it.
void ParseExList(const char* text, std::size_t size, NameSet& exList);
void ParseIdList(const char* text, std::size_t size, IdTable& idTable);

// The item id at the start of an IdList.txt line: leading white space, one
// optional sign, decimal digits; 0 when there are none; clamped to 32 bits.
std::int32_t ParseItemId(const char* text, std::size_t size);

}  // namespace kvo
