// Writes the seed inputs of every fuzz target: make_seeds OUTPUT_FOLDER
// creates OUTPUT_FOLDER/<target>/seed-NNN for each target.
//
// The targets are those of fuzz/targets.txt (KVO_FUZZ_TARGETS, given by
// fuzz/CMakeLists.txt). They must be exactly the checks in kTargets: a check
// left out of the list would never be fuzzed, a listed name without a check
// would fuzz nothing. fuzz/run makes the seeds before it fuzzes anything, so a
// list and a table that disagree stop it at once.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "fuzz_checks.h"

namespace {

// Reports every name in one set and not the other; true when they agree.
bool SameTargets(const std::set<std::string>& listed, const std::set<std::string>& checks) {
  bool same = true;
  for (const std::string& name : listed) {
    if (checks.count(name) == 0) {
      std::fprintf(stderr, "fuzz/targets.txt names \"%s\", which has no check in kTargets\n",
                   name.c_str());
      same = false;
    }
  }
  for (const std::string& name : checks) {
    if (listed.count(name) == 0) {
      std::fprintf(stderr, "kTargets has the check \"%s\", missing from fuzz/targets.txt\n",
                   name.c_str());
      same = false;
    }
  }
  return same;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
    return 2;
  }
  std::set<std::string> listed;
  std::istringstream names(KVO_FUZZ_TARGETS);
  for (std::string name; names >> name;) listed.insert(name);
  std::set<std::string> checks;
  for (const kvo::fuzz::Target& target : kvo::fuzz::kTargets) checks.insert(target.name);
  if (!SameTargets(listed, checks)) return 1;

  namespace fs = std::filesystem;
  for (const kvo::fuzz::Target& target : kvo::fuzz::kTargets) {
    const fs::path folder = fs::path(argv[1]) / target.name;
    fs::remove_all(folder);
    fs::create_directories(folder);
    int n = 0;
    for (const kvo::fuzz::Bytes& seed : kvo::fuzz::Seeds(target.name)) {
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
