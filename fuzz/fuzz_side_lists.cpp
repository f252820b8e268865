// libFuzzer entry for the "side_lists" target; the checks live in checks.cpp.
#include <cstdio>
#include <cstdlib>

#include "fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string error = kvo::fuzz::CheckSideLists(data, size);
  if (!error.empty()) {
    std::fprintf(stderr, "side_lists: %s\n", error.c_str());
    std::abort();
  }
  return 0;
}
