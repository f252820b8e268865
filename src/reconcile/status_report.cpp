#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/log_pane.h"
#include "platform/platform.h"
#include "preset/catalogue.h"

namespace kvo {
namespace {

// Membership in the Plugin listing, searched once per text: the presets
// need the same archives over and over, and their sets share the texts they
// took from the id table (SharedName). So the answers are kept by the
// address of the text: one address is always one text (a text held at two
// addresses is merely searched twice). The records, and so the texts, stay
// in place for as long as the report runs.
class Presence {
 public:
  explicit Presence(const NameSet& plugin) : plugin_(plugin), slots_(1024) {}

  bool Contains(const std::u16string& name) {
    const std::uintptr_t key = reinterpret_cast<std::uintptr_t>(&name);
    std::size_t mask = slots_.size() - 1;
    std::size_t at = Hash(key) & mask;
    for (; slots_[at].key != 0; at = (at + 1) & mask) {
      if (slots_[at].key == key) return slots_[at].present;
    }
    const bool present = plugin_.Contains(name);
    if (2 * (used_ + 1) > slots_.size()) {
      Grow();
      mask = slots_.size() - 1;
      for (at = Hash(key) & mask; slots_[at].key != 0; at = (at + 1) & mask) {
      }
    }
    slots_[at] = Slot{key, present};
    ++used_;
    return present;
  }

 private:
  struct Slot {
    std::uintptr_t key = 0;  // 0: empty
    bool present = false;
  };

  static std::size_t Hash(std::uintptr_t key) {
    const std::uint64_t h = static_cast<std::uint64_t>(key) * 0x9E3779B97F4A7C15ull;
    return static_cast<std::size_t>(h >> 32);
  }

  void Grow() {
    std::vector<Slot> bigger(2 * slots_.size());
    const std::size_t mask = bigger.size() - 1;
    for (const Slot& slot : slots_) {
      if (slot.key == 0) continue;
      std::size_t at = Hash(slot.key) & mask;
      while (bigger[at].key != 0) at = (at + 1) & mask;
      bigger[at] = slot;
    }
    slots_.swap(bigger);
  }

  const NameSet& plugin_;
  std::vector<Slot> slots_;
  std::size_t used_ = 0;
};

}  // namespace

void Catalogue::ReportPresetStatus(const NameSet& plugin, void* dialog,
                                   char16_t* lineBuffer) const {
  // Both passes need the same answers; the first keeps one per needed name,
  // in visiting order, for the second.
  Presence present(plugin);
  std::vector<bool> missing;
  int complete = 0;
  int incomplete = 0;
  for (const PresetRecord& record : presets) {
    bool lacks = false;
    for (const std::u16string& name : record.needs) {
      const bool absent = !present.Contains(name);
      missing.push_back(absent);
      lacks = lacks || absent;
    }
    if (lacks) {
      ++incomplete;
    } else {
      ++complete;
    }
  }
  platform::FormatLine(lineBuffer, u"→ 不足無し/不足有り = %d/%d\r\n", complete, incomplete);
  LogPane::Append(dialog, lineBuffer);

  // A long listing is not repainted line by line.
  LogPane::SetRedraw(dialog, false);
  std::size_t next = 0;
  for (const PresetRecord& record : presets) {
    bool headingWritten = false;
    for (const std::u16string& name : record.needs) {
      if (!missing[next++]) continue;
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
