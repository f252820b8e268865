// The result pane: the only place a run writes to.
#pragma once

#include "platform/platform.h"

namespace kvo {

// The result pane as a run sees it: text is only ever appended, one line at
// a time, each formatted into the pane's own lineBuffer first. The program's
// pane is the dialog's edit control (app/result_pane.h), the tests' and
// benchmarks' an in-memory one (tests/support/memory_pane.h); a run is given
// one, as it is given its file system.
class LogPane {
 public:
  virtual ~LogPane();

  // Empties the pane.
  virtual void Clear() = 0;
  // Appends `text` at the end.
  virtual void Append(const char16_t* text) = 0;
  // Stops (false) and resumes (true) repainting, around a long listing.
  virtual void SetRedraw(bool on) = 0;
  // Lifts the pane's limit on the length of its text.
  virtual void RemoveLimit() = 0;

  // Formats one line into lineBuffer (platform::FormatLine: %s, %d, %u) and
  // appends it. A fixed line is its own format: none holds a '%'.
  template <typename... Args>
  void Line(const char16_t* format, Args... args) {
    platform::FormatLine(lineBuffer, format, args...);
    Append(lineBuffer);
  }

 private:
  // Where every line is formatted before it is appended: wsprintfW writes at
  // most this many units, terminator included.
  char16_t lineBuffer[platform::kLineBufferUnits];
};

}  // namespace kvo
