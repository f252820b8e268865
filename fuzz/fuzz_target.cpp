// libFuzzer entry for the "preset" target; the checks live in checks.cpp.
#include <cstdio>
#include <cstdlib>

#include "fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string error = kvo::fuzz::CheckPreset(data, size);
  if (!error.empty()) {
    std::fprintf(stderr, "preset: %s\n", error.c_str());
    std::abort();
  }
  return 0;
}
