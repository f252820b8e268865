// Everything one run knows about what the Plugin folder must hold.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "lists/id_table.h"
#include "lists/name_set.h"
#include "lists/preset_list.h"
#include "platform/file_system.h"

namespace kvo {

// Each preset's names are sorted as it is read. When presets are many
// against the id table's size (presets * kRankingFactor >= entries), the
// table ranks its names once, so that all those sorts are by number.
constexpr std::size_t kRankingFactor = 16;

struct Catalogue {
  NameSet exList;     // archives that are always needed (ExList.txt)
  IdTable idTable;    // item id -> archive names (IdList.txt)
  PresetList presets; // every preset read, in ascending name order

  Catalogue() = default;
  // A run's catalogue goes when the run returns (or unwinds): the preset
  // read buffer goes with it if a large file made it grow.
  ~Catalogue();
  Catalogue(const Catalogue&) = delete;
  Catalogue& operator=(const Catalogue&) = delete;

  // How loading the two lists ended; the first that holds.
  enum class Load {
    kLoaded,
    // IdList.txt is missing, cannot be read, holds a NUL or gives not one
    // entry: no preset could need anything.
    kIdListUnreadable,
    // ExList.txt exists but cannot be read, or holds a NUL: read as empty, it
    // would send the archives it names out of the Plugin folder.
    kExListUnreadable,
  };

  // Loads ExList.txt, then IdList.txt, from beside the executable, through
  // `fs`, into exList and idTable. Called once, on an empty catalogue.
  Load LoadLists(platform::FileSystem& fs);

  // How building the required set ended.
  enum class Build {
    kBuilt,
    // A listed preset exists but cannot be read (`unreadable` names it):
    // without what it needs, its archives would be taken for unneeded.
    kPresetUnreadable,
    // What the Preset folder holds cannot be known: the folder went away
    // while its presets were read, or presets were listed and read but not
    // one of them is a preset (a format the tool does not know, damaged
    // saves), which would make every archive look unneeded.
    kFolderUnreadable,
    // `progress` asked to stop: `required` is incomplete.
    kStopped,
  };

  // Called before each listed preset is read and once after the last, with
  // how many of the `total` listed have been read; false stops the build
  // there.
  using Progress = std::function<bool(std::size_t done, std::size_t total)>;

  // Reads through `fs` every preset of `presetListing` (bare names inside `presetFolder`;
  // names are opened by their full path so the current folder never
  // matters) and makes `required` exList plus everything a readable preset
  // needs. Stops at the first preset, in listing order, that exists but cannot
  // be read, or whose folder is gone; `required` is then incomplete.
  // `unreadable` then holds the preset's name as listed. `progress`, when
  // set, is told how far the reading is.
  Build BuildRequired(platform::FileSystem& fs, const std::u16string& presetFolder,
                      const NameSet& presetListing, const Progress& progress,
                      NameSet& required, std::u16string& unreadable);
};

}  // namespace kvo
