// Makes an allocation fail on purpose, to check that running out of memory
// unwinds cleanly and leaves nothing half-done.
#pragma once

#include <cstddef>

namespace kvo::test {

// The allocation number `n` from now on (1 = the next one) throws
// std::bad_alloc; 0 disarms. Only allocations of at least `minSize` bytes count.
void FailAllocationAfter(long n, std::size_t minSize = 0);
// Allocations counted since the last arming (to size a sweep).
long AllocationsSeen();
bool AllocationFailed();

}  // namespace kvo::test
