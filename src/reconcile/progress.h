// How far a run is, kept where another thread can look at it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "reconcile/run.h"

namespace kvo {

// A stage of a run and its count, as last reported.
struct RunPosition {
  RunStage stage = RunStage::kLists;
  std::size_t done = 0;
  std::size_t total = 0;  // 0: the stage has no count

  bool operator==(const RunPosition& other) const {
    return stage == other.stage && done == other.done && total == other.total;
  }
  bool operator!=(const RunPosition& other) const { return !(*this == other); }
};

// The RunProgress a window shows: the run's thread stores each report, the
// window's thread reads the latest when it has time to show it. Stage and
// counts are one word, so a reader never sees a stage with another stage's
// figures. Counts are kept up to kLargestCount; larger ones show as that.
class SharedProgress final : public RunProgress {
 public:
  static constexpr std::size_t kLargestCount = (std::size_t{1} << 30) - 1;

  void Report(RunStage stage, std::size_t done, std::size_t total) override;
  RunPosition Read() const;

 private:
  std::atomic<std::uint64_t> packed_{0};  // 0: kLists, no count
};

}  // namespace kvo
