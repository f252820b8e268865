#include "app/log_pane.h"

namespace kvo {
namespace LogPane {

static MemoryPane& Pane(void* dialog) { return *static_cast<MemoryPane*>(dialog); }

void Clear(void* dialog) { Pane(dialog).text.clear(); }

void Append(void* dialog, const char16_t* text) {
  MemoryPane& pane = Pane(dialog);
  pane.text += text;
  if (!pane.redraw) ++pane.appendsWhileOff;
}

void SetRedraw(void* dialog, bool on) {
  MemoryPane& pane = Pane(dialog);
  if (!on) ++pane.redrawOffCount;
  pane.redraw = on;
}

void RemoveLimit(void* dialog) { Pane(dialog).limitRemoved = true; }

}  // namespace LogPane
}  // namespace kvo
