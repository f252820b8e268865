// The result pane: the only place a run writes to.
#pragma once

namespace kvo {

// What a pane handle points at. The core never looks inside: in the program
// it is the dialog that holds the pane's edit control, and in the tests an
// in-memory pane. Exactly one implementation of the operations below is
// linked into each program.
struct LogPaneTarget;

namespace LogPane {
// Empties the pane.
void Clear(LogPaneTarget* pane);
// Appends `text` at the end.
void Append(LogPaneTarget* pane, const char16_t* text);
// Stops (false) and resumes (true) repainting, around a long listing.
void SetRedraw(LogPaneTarget* pane, bool on);
// Lifts the pane's limit on the length of its text.
void RemoveLimit(LogPaneTarget* pane);
}  // namespace LogPane

}  // namespace kvo
