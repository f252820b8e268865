// Everything one run knows about what the Plugin folder must hold.
#pragma once

#include <string>

#include "lists/id_table.h"
#include "lists/name_set.h"
#include "lists/preset_list.h"

namespace kvo {

struct Catalogue {
  NameSet exList;     // archives that are always needed (ExList.txt)
  IdTable idTable;    // item id -> archive names (IdList.txt)
  PresetList presets; // every preset read, in ascending name order

  // Loads ExList.txt, then IdList.txt, from beside the executable.
  Catalogue();

  // false when ExList.txt exists but could not be read: exList is then empty
  // although archives may be always needed.
  bool exListRead;

  // Reads every preset of `presetListing` (bare names inside `presetFolder`;
  // names are opened by their full path so the current directory never
  // matters) and makes `required` exList plus everything a readable preset
  // needs. 0 when done; -1 at the first preset, in listing order, that exists
  // but cannot be read: `required` is then incomplete and `unreadable`, when
  // given, holds the preset's name as listed.
  int BuildRequired(const std::u16string& presetFolder, const NameSet& presetListing,
                    NameSet& required, std::u16string* unreadable = nullptr);
};

}  // namespace kvo
