// The libFuzzer entry of every fuzz target. KVO_FUZZ_TARGET, given by
// fuzz/CMakeLists.txt, names the check in kTargets the program runs; the
// checks live in tests/support/fuzz_checks.cpp.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_checks.h"

namespace {

const kvo::fuzz::Target* gTarget = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  for (const kvo::fuzz::Target& target : kvo::fuzz::kTargets) {
    if (std::strcmp(target.name, KVO_FUZZ_TARGET) == 0) gTarget = &target;
  }
  if (gTarget == nullptr) {
    std::fprintf(stderr, "%s: no such check in kTargets\n", KVO_FUZZ_TARGET);
    std::exit(1);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string error = gTarget->check(data, size);
  if (!error.empty()) {
    std::fprintf(stderr, "%s: %s\n", gTarget->name, error.c_str());
    std::abort();
  }
  return 0;
}
