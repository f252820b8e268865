#include "reconcile/progress.h"

namespace kvo {
namespace {

// stage in bits 60-63, done in 30-59, total in 0-29.
constexpr unsigned kCountBits = 30;
constexpr std::uint64_t kCountMask = SharedProgress::kLargestCount;

std::uint64_t Clamp(std::size_t count) {
  return count < SharedProgress::kLargestCount ? count : SharedProgress::kLargestCount;
}

}  // namespace

void SharedProgress::Report(RunStage stage, std::size_t done, std::size_t total) {
  // Relaxed: the word stands alone; nothing else is published with it.
  packed_.store(static_cast<std::uint64_t>(stage) << (2 * kCountBits) |
                    Clamp(done) << kCountBits | Clamp(total),
                std::memory_order_relaxed);
}

RunPosition SharedProgress::Read() const {
  const std::uint64_t word = packed_.load(std::memory_order_relaxed);
  RunPosition position;
  position.stage = static_cast<RunStage>(word >> (2 * kCountBits));
  position.done = static_cast<std::size_t>(word >> kCountBits & kCountMask);
  position.total = static_cast<std::size_t>(word & kCountMask);
  return position;
}

}  // namespace kvo
