// Writes the seed inputs of every fuzz target: make_seeds OUTPUT_FOLDER
// creates OUTPUT_FOLDER/<target>/seed-NNN for each target.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz_checks.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
    return 2;
  }
  namespace fs = std::filesystem;
  for (const char* target : {"preset", "side_lists", "settings", "names"}) {
    const fs::path folder = fs::path(argv[1]) / target;
    fs::remove_all(folder);
    fs::create_directories(folder);
    int n = 0;
    for (const kvo::fuzz::Bytes& seed : kvo::fuzz::Seeds(target)) {
      char name[32];
      std::snprintf(name, sizeof name, "seed-%03d", n++);
      std::ofstream out(folder / name, std::ios::binary);
      out.write(reinterpret_cast<const char*>(seed.data()), static_cast<std::streamsize>(seed.size()));
      if (!out) {
        std::fprintf(stderr, "cannot write %s\n", (folder / name).c_str());
        return 1;
      }
    }
  }
  return 0;
}
