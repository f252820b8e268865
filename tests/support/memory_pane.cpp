#include "memory_pane.h"

namespace kvo {

void MemoryPane::Clear() { text.clear(); }

void MemoryPane::Append(const char16_t* line) {
  text += line;
  if (!redraw) ++appendsWhileOff;
}

void MemoryPane::SetRedraw(bool on) {
  if (!on) ++redrawOffCount;
  redraw = on;
}

void MemoryPane::RemoveLimit() {}

}  // namespace kvo
