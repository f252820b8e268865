#include "preset/catalogue.h"

#include <cstdint>
#include <vector>

#include "lists/side_lists.h"
#include "platform/platform.h"
#include "preset/preset_format.h"
#include "preset/preset_reader.h"

namespace kvo {

Catalogue::Load Catalogue::LoadLists(platform::FileSystem& fs) {
  const ListLoad exListLoad = LoadExList(fs, exList);
  LoadIdList(fs, idTable);
  idTable.Prepare();
  // Whatever kept it from giving an entry, the table is empty.
  if (idTable.Size() == 0) return Load::kIdListUnreadable;
  if (exListLoad == ListLoad::kUnreadable) return Load::kExListUnreadable;
  return Load::kLoaded;
}

Catalogue::~Catalogue() { ReleaseLargePresetReadBuffer(); }

Catalogue::Build Catalogue::BuildRequired(platform::FileSystem& fs,
                                          const std::u16string& presetFolder,
                                          const NameSet& presetListing,
                                          const Progress& progress, NameSet& required,
                                          std::u16string& unreadable) {
  if (&required != &exList) required = exList;
  // Presets need the same archives over and over. The reader says which
  // id-table entries each preset added, and an entry whose text was given to
  // `required` once is there (or an equivalent is), so giving it again would
  // change nothing: only each entry's first use is inserted. Within one preset
  // the order of insertion does not matter, as its names are all distinct.
  std::vector<bool> given(idTable.Size(), false);
  if (presetListing.Size() * kRankingFactor >= idTable.Size()) idTable.PrepareRanks();
  AddedNames added;
  std::u16string path;
  std::size_t damaged = 0;
  std::size_t read = 0;
  const std::size_t total = presetListing.Size();
  std::size_t done = 0;
  for (const std::u16string& name : presetListing) {
    // Asked before each read, so a stop never waits for one more file.
    if (progress && !progress(done++, total)) return Build::kStopped;
    PresetRecord work;
    PresetRead result;
    if (presetFolder.empty()) {
      result = ReadPreset(fs, name, std::u16string(), idTable, work, &added);
    } else if (platform::ListedNamePath(presetFolder, name, path)) {
      result = ReadPreset(fs, name, path, idTable, work, &added);
    } else {
      // No full path fits: the preset is there but cannot be opened.
      work.fileName = name;
      result = PresetRead::kUnreadable;
    }
    if (result == PresetRead::kUnreadable || result == PresetRead::kFolderGone) {
      unreadable = name;
      return result == PresetRead::kUnreadable ? Build::kPresetUnreadable
                                               : Build::kFolderUnreadable;
    }
    if (result == PresetRead::kNotAPreset) ++damaged;
    if (result != PresetRead::kRead) continue;
    bool placeholders = false;
    for (std::uint32_t entry : added) {
      if (entry == kAddedPlaceholder) {
        placeholders = true;
      } else if (!given[entry]) {
        required.Insert(idTable.SharedAt(entry));
        given[entry] = true;
      }
    }
    if (placeholders) {
      // Placeholder names are made by the reader, not kept in the id table.
      for (auto it = work.needs.begin(); it != work.needs.end(); ++it) {
        if (preset_format::IsPlaceholderName(*it)) required.Insert(it.Shared());
      }
    }
    presets.Append(std::move(work));
    ++read;
  }
  if (progress && !progress(done, total)) return Build::kStopped;
  // Damaged files beside one good preset are left out as always; damaged
  // files and nothing else say more about the tool than about the folder.
  if (damaged > 0 && read == 0) return Build::kFolderUnreadable;
  return Build::kBuilt;
}

}  // namespace kvo
