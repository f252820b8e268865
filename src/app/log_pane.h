// The result pane: the only place a run writes to. In the Windows build the
// operations are messages to edit control 1004 of the dialog; elsewhere the
// "dialog" handle points at a MemoryPane, so whole runs can be checked text
// for text.
#pragma once

#include <cstddef>
#include <string>

namespace kvo {

constexpr int kLogPaneId = 1004;

namespace LogPane {
void Clear(void* dialog);
void Append(void* dialog, const char16_t* text);
void SetRedraw(void* dialog, bool on);
void RemoveLimit(void* dialog);
}  // namespace LogPane

// What the pane shows, for builds without windows.
struct MemoryPane {
  std::u16string text;
  bool redraw = true;
  bool limitRemoved = false;
  int redrawOffCount = 0;     // how often redrawing was switched off
  std::size_t appendsWhileOff = 0;
};

}  // namespace kvo
