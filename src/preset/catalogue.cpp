#include "preset/catalogue.h"

#include "lists/side_lists.h"
#include "platform/platform.h"
#include "preset/preset_reader.h"

namespace kvo {

Catalogue::Catalogue() {
  LoadExList(exList);
  LoadIdList(idTable);
}

void Catalogue::BuildRequired(const std::u16string& presetFolder, const NameSet& presetListing,
                              NameSet& required) {
  if (&required != &exList) required = exList;
  std::u16string path;
  for (const std::u16string& name : presetListing) {
    PresetRecord work;
    int result;
    if (presetFolder.empty()) {
      result = ReadPreset(work, name, idTable);
    } else if (platform::CombinePath(presetFolder, name, path)) {
      result = ReadPreset(work, name, idTable, path);
    } else {
      // No full path fits: the preset cannot be opened, so it is unreadable.
      work.fileName = name;
      result = -1;
    }
    if (result != 0) continue;
    for (const std::u16string& needed : work.needs) required.Insert(needed);
    presets.Append(std::move(work));
  }
}

}  // namespace kvo
