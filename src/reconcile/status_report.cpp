#include "reconcile/status_report.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace kvo {
namespace {

// Membership in the Plugin listing, searched once per text: the presets
// need the same archives over and over, and their sets share the texts they
// took from the id table (SharedName). So the answers are kept by the
// address of the text: one address is always one text (a text held at two
// addresses is merely searched twice). The records, and so the texts, stay
// in place for as long as the report runs. The answers are kept in an open
// table of their own: hundreds of thousands of questions, tens of thousands
// of answers.
class Presence {
 public:
  explicit Presence(const NameSet& plugin) : plugin_(plugin), slots_(1024) {}

  bool Contains(const SharedName& name) {
    const std::u16string* text = &name.Text();
    Slot* slot = Find(text);
    if (slot->text == text) return slot->present;
    const bool present = plugin_.Contains(name);
    if (2 * (used_ + 1) > slots_.size()) {
      Grow();
      slot = Find(text);
    }
    *slot = Slot{text, present};
    ++used_;
    return present;
  }

 private:
  struct Slot {
    const std::u16string* text;  // nullptr: empty
    bool present;
  };

  // The slot of `text`, or the empty one where it goes.
  Slot* Find(const std::u16string* text) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t at = (reinterpret_cast<std::uintptr_t>(text) >> 4) * 0x9E3779B97F4A7C15ull >> 20;
    for (;; ++at) {
      Slot& slot = slots_[at & mask];
      if (slot.text == text || slot.text == nullptr) return &slot;
    }
  }

  void Grow() {
    std::vector<Slot> old(2 * slots_.size());
    old.swap(slots_);
    for (const Slot& slot : old) {
      if (slot.text != nullptr) *Find(slot.text) = slot;
    }
  }

  const NameSet& plugin_;
  std::vector<Slot> slots_;
  std::size_t used_ = 0;
};

}  // namespace

void ReportPresetStatus(LogPane& pane, const Catalogue& catalogue, const NameSet& plugin) {
  // Both passes need the same answers; the first keeps one per needed name,
  // in visiting order, for the second.
  Presence present(plugin);
  std::vector<bool> missing;
  int complete = 0;
  int incomplete = 0;
  for (const PresetRecord& record : catalogue.presets) {
    bool lacks = false;
    for (auto it = record.needs.begin(); it != record.needs.end(); ++it) {
      const bool absent = !present.Contains(it.Shared());
      missing.push_back(absent);
      lacks = lacks || absent;
    }
    if (lacks) {
      ++incomplete;
    } else {
      ++complete;
    }
  }
  pane.Line(u"→ 不足無し/不足有り = %d/%d\r\n", complete, incomplete);

  // A long listing is not repainted line by line.
  pane.SetRedraw(false);
  std::size_t next = 0;
  for (const PresetRecord& record : catalogue.presets) {
    bool headingWritten = false;
    for (const std::u16string& name : record.needs) {
      if (!missing[next++]) continue;
      if (!headingWritten) {
        pane.Line(u"%s\r\n", record.fileName.c_str());
        headingWritten = true;
      }
      pane.Line(u"  - %s\r\n", name.c_str());
    }
  }
  pane.SetRedraw(true);
}

}  // namespace kvo
