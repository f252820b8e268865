#include "alloc_failure.h"

#include <cstdlib>
#include <new>

namespace kvo::test {
namespace {
long g_countdown = 0;
long g_seen = 0;
std::size_t g_minSize = 0;
bool g_failed = false;
}  // namespace

void FailAllocationAfter(long n, std::size_t minSize) {
  g_countdown = n;
  g_minSize = minSize;
  g_seen = 0;
  g_failed = false;
}

long AllocationsSeen() { return g_seen; }
bool AllocationFailed() { return g_failed; }

}  // namespace kvo::test

using namespace kvo::test;

void* operator new(std::size_t size) {
  if (g_countdown > 0 && size >= g_minSize) {
    ++g_seen;
    if (--g_countdown == 0) {
      g_failed = true;
      throw std::bad_alloc();
    }
  }
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}

void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
