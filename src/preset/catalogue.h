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

  // Reads every preset of `presetListing` (bare names inside `presetFolder`;
  // names are opened by their full path so the current directory never
  // matters) and makes `required` exList plus everything a readable preset
  // needs.
  void BuildRequired(const std::u16string& presetFolder, const NameSet& presetListing,
                     NameSet& required);

  // Writes the count of complete and incomplete presets and lists every
  // incomplete one with the archives it lacks from `plugin`.
  void ReportPresetStatus(const NameSet& plugin, void* dialog, char16_t* lineBuffer) const;
};

}  // namespace kvo
