// Replays the fuzz checks in the ordinary test programs: every seed, and every
// input kept in fuzz/regressions/<target>/ from a crash found by fuzzing.
#include "gtest_support.h"

#include "test_support.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "fuzz_checks.h"

namespace kvo::fuzz {
namespace {

namespace fs = std::filesystem;

fs::path RegressionFolder() {
  std::string folder = KVO_FUZZ_REGRESSIONS;
#ifdef _WIN32
  // The source tree is a Linux folder; under Wine it is reached through Z:.
  if (!folder.empty() && folder[0] == '/') folder = "Z:" + folder;
#endif
  return fs::u8path(folder);
}

TEST(FuzzReplay, SeedsPassEveryCheck) {
  for (const Target& target : kTargets) {
    const std::vector<Bytes> seeds = Seeds(target.name);
    EXPECT_FALSE(seeds.empty()) << target.name;
    for (std::size_t i = 0; i < seeds.size(); ++i) {
      EXPECT_EQ(target.check(seeds[i].data(), seeds[i].size()), "")
          << target.name << " seed " << i;
    }
  }
}

TEST(FuzzReplay, KeptInputsPassEveryCheck) {
  const fs::path root = RegressionFolder();
  ASSERT_TRUE(fs::is_directory(root)) << root.u8string();
  int replayed = 0;
  for (const Target& target : kTargets) {
    const fs::path folder = root / target.name;
    if (!fs::is_directory(folder)) continue;
    for (const auto& entry : fs::directory_iterator(folder)) {
      if (!entry.is_regular_file() || entry.path().filename().u8string()[0] == '.') continue;
      std::ifstream in(entry.path(), std::ios::binary);
      const Bytes input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      EXPECT_EQ(target.check(input.data(), input.size()), "") << entry.path().u8string();
      ++replayed;
    }
  }
  std::printf("replayed %d kept inputs\n", replayed);
}

}  // namespace
}  // namespace kvo::fuzz
