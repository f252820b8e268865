// Reads a preset file (*.kvo): finds its entry list and turns every entry's
// item id into the archive names it needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "lists/id_table.h"
#include "lists/name_set.h"
#include "lists/preset_list.h"
#include "platform/file_system.h"
#include "preset/preset_format.h"

namespace kvo {

// What a read added to `needs`, for callers that go on to merge it into a
// larger set: one element per name that was new to `needs`, in the order it
// was added: the name's id-table entry (IdTable::IndexOf), or
// kAddedPlaceholder for a placeholder name.
using AddedNames = std::vector<std::uint32_t>;
constexpr std::uint32_t kAddedPlaceholder = 0xFFFFFFFFu;

// How reading one preset ended.
enum class PresetRead {
  kRead,        // a preset: record.needs is filled
  kGone,        // left out: the file is gone (since the folder was listed) or is a folder
  kNotAPreset,  // left out: opened and read whole, but not in the preset format (empty included)
  // The file exists but cannot be opened or read whole (held by another
  // program, access denied, a read error, more than 32 bits of size). What it
  // needs is unknown, so nothing may be decided without it.
  kUnreadable,
  // The folder that held it is gone: whatever else was listed there is
  // unknown too.
  kFolderGone,
};

// Sets record.fileName to `fileName`, reads `openPath` (the file's full
// path; the bare name when empty) whole through `fs`, opened with no sharing,
// and fills record.needs. `added`, when given, is cleared and then filled as
// described above.
PresetRead ReadPreset(platform::FileSystem& fs, const std::u16string& fileName,
                      const std::u16string& openPath, const IdTable& idTable,
                      PresetRecord& record, AddedNames* added = nullptr);

// The presets are read into one buffer that the process keeps, so that
// reading thousands of them allocates once. One that a large file made grow
// past kKeptPresetBuffer bytes is given back by ReleaseLargePresetReadBuffer,
// which the end of a run calls: a stray file of hundreds of megabytes named
// *.kvo must not hold that memory while the program stays open.
constexpr std::size_t kKeptPresetBuffer = std::size_t{4} << 20;
void ReleaseLargePresetReadBuffer();

// What the format rules made of a file's bytes.
enum class PresetParse {
  kPreset,     // a preset: its needs were added
  kNotAPreset, // not in the preset format: nothing was added
};

// The format rules on bytes already in memory; fills `needs` (and appends to
// `added` when given). Never reads outside data[0, size).
PresetParse ParsePreset(const unsigned char* data, std::size_t size, const IdTable& idTable,
                        NameSet& needs, AddedNames* added = nullptr);

}  // namespace kvo
