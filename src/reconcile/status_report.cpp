#include "app/log_pane.h"
#include "platform/platform.h"
#include "preset/catalogue.h"

namespace kvo {
namespace {

bool Complete(const PresetRecord& record, const NameSet& plugin) {
  for (const std::u16string& name : record.needs) {
    if (!plugin.Contains(name)) return false;
  }
  return true;
}

}  // namespace

void Catalogue::ReportPresetStatus(const NameSet& plugin, void* dialog,
                                   char16_t* lineBuffer) const {
  int complete = 0;
  int incomplete = 0;
  for (const PresetRecord& record : presets) {
    if (Complete(record, plugin)) {
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
      if (plugin.Contains(name)) continue;
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
