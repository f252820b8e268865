// Hooks into the product code that only tests and benchmarks use. They are
// defined next to the state they reach, but declared only here, so the
// program itself never calls them.
#pragma once

#include <cstddef>
#include <string>

namespace kvo {

// The capacity of the process-wide preset read buffer, which grows to the
// size of a file that does not fit and is released at a run's end once past
// kKeptPresetBuffer.
std::size_t PresetReadBufferCapacity();
// Releases that buffer, to start from a known state.
void ResetPresetReadBuffer();

}  // namespace kvo
