#include "preset/catalogue.h"

#include <cstdint>
#include <vector>

#include "lists/side_lists.h"
#include "platform/platform.h"
#include "preset/preset_reader.h"

namespace kvo {

Catalogue::Catalogue() {
  exListRead = LoadExList(exList);
  LoadIdList(idTable);
  idTable.Prepare();
}

int Catalogue::BuildRequired(const std::u16string& presetFolder, const NameSet& presetListing,
                             NameSet& required, std::u16string* unreadable) {
  if (&required != &exList) required = exList;
  // Presets need the same archives over and over. The reader says which
  // id-table entries each preset added, and an entry whose text was given to
  // `required` once is there (or an equivalent is), so giving it again would
  // change nothing: only each entry's first use is inserted. Within one preset
  // the order of insertion does not matter, as its names are all distinct.
  std::vector<bool> given(idTable.Size(), false);
  // Each preset's names are sorted; with many presets against the table's
  // size, ranking the table's names once makes all those sorts numeric.
  if (presetListing.Size() * 16 >= idTable.Size()) idTable.PrepareRanks();
  AddedNames added;
  std::u16string path;
  for (const std::u16string& name : presetListing) {
    PresetRecord work;
    int result;
    if (presetFolder.empty()) {
      result = ReadPreset(work, name, idTable, std::u16string(), &added);
    } else if (platform::CombinePath(presetFolder, name, path)) {
      result = ReadPreset(work, name, idTable, path, &added);
    } else {
      // No full path fits: the preset is there but cannot be opened.
      work.fileName = name;
      result = kPresetUnreadable;
    }
    if (result == kPresetUnreadable) {
      if (unreadable != nullptr) *unreadable = name;
      return -1;
    }
    if (result != kPresetRead) continue;
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
        if (it->compare(0, 4, u"\?\?\?(") == 0) required.Insert(it.Shared());
      }
    }
    presets.Append(std::move(work));
  }
  return 0;
}

}  // namespace kvo
