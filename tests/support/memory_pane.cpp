#include "memory_pane.h"

namespace kvo {
namespace LogPane {

void Clear(LogPaneTarget* pane) { pane->text.clear(); }

void Append(LogPaneTarget* pane, const char16_t* text) {
  pane->text += text;
  if (!pane->redraw) ++pane->appendsWhileOff;
}

void SetRedraw(LogPaneTarget* pane, bool on) {
  if (!on) ++pane->redrawOffCount;
  pane->redraw = on;
}

void RemoveLimit(LogPaneTarget* pane) { pane->limitRemoved = true; }

}  // namespace LogPane
}  // namespace kvo
