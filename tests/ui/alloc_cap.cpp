// Linked only into KvoManagerLowMem.exe, a test build of the program in which
// every single allocation of 16 MiB or more fails with std::bad_alloc, so a
// UI test can make memory run out in the middle of a run.
#include <cstdlib>
#include <new>

namespace {
constexpr std::size_t kLargestAllocation = (16u << 20) - 1;

void* Allocate(std::size_t size) {
  if (size > kLargestAllocation) return nullptr;
  return std::malloc(size != 0 ? size : 1);
}
}  // namespace

void* operator new(std::size_t size) {
  if (void* p = Allocate(size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
