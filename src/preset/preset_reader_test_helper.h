// Opens the preset reader's process-wide read buffer to the tests and
// benchmarks, which start from a known state and check what a run keeps of
// it. Product code never includes this header.
#pragma once

#include <cstddef>

namespace kvo {

// The capacity of the process-wide preset read buffer, which grows to the
// size of a file that does not fit and is released at a run's end once past
// kKeptPresetBuffer.
std::size_t PresetReadBufferCapacity();
// Releases that buffer, to start from a known state.
void ResetPresetReadBuffer();

}  // namespace kvo
