// The result pane the tests and benchmarks run against: it keeps the text,
// and counts what the run did with repainting, so whole runs can be checked
// text for text on any platform.
#pragma once

#include <cstddef>
#include <string>

#include "reconcile/log_pane.h"

namespace kvo {

class MemoryPane final : public LogPane {
 public:
  void Clear() override;
  void Append(const char16_t* line) override;
  void SetRedraw(bool on) override;
  void RemoveLimit() override;  // a string has no limit to lift

  std::u16string text;
  bool redraw = true;
  int redrawOffCount = 0;  // how often repainting was switched off
  std::size_t appendsWhileOff = 0;
};

}  // namespace kvo
