#include "app/log_pane.h"
#include "platform/platform.h"
#include "preset/catalogue.h"

#include <string>
#include <unordered_map>

namespace kvo {
namespace {

// Membership in the Plugin listing, asked once per distinct text: presets
// need the same archives over and over, and both passes ask about each.
class Presence {
 public:
  explicit Presence(const NameSet& plugin) : plugin_(plugin) {}

  bool Contains(const std::u16string& name) {
    auto known = answers_.find(name);
    if (known != answers_.end()) return known->second;
    const bool present = plugin_.Contains(name);
    answers_.emplace(name, present);
    return present;
  }

 private:
  const NameSet& plugin_;
  std::unordered_map<std::u16string, bool> answers_;
};

bool Complete(const PresetRecord& record, Presence& plugin) {
  for (const std::u16string& name : record.needs) {
    if (!plugin.Contains(name)) return false;
  }
  return true;
}

}  // namespace

void Catalogue::ReportPresetStatus(const NameSet& plugin, void* dialog,
                                   char16_t* lineBuffer) const {
  Presence present(plugin);
  int complete = 0;
  int incomplete = 0;
  for (const PresetRecord& record : presets) {
    if (Complete(record, present)) {
      ++complete;
    } else {
      ++incomplete;
    }
  }
  platform::FormatLine(lineBuffer, u"→ 不足無し/不足有り = %d/%d\r\n", complete, incomplete);
  LogPane::Append(dialog, lineBuffer);

  // A long listing is not repainted line by line.
  LogPane::SetRedraw(dialog, false);
  for (const PresetRecord& record : presets) {
    bool headingWritten = false;
    for (const std::u16string& name : record.needs) {
      if (present.Contains(name)) continue;
      if (!headingWritten) {
        platform::FormatLine(lineBuffer, u"%s\r\n", record.fileName.c_str());
        LogPane::Append(dialog, lineBuffer);
        headingWritten = true;
      }
      platform::FormatLine(lineBuffer, u"  - %s\r\n", name.c_str());
      LogPane::Append(dialog, lineBuffer);
    }
  }
  LogPane::SetRedraw(dialog, true);
}

}  // namespace kvo
