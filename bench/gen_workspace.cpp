// Lays out a large workspace for the benchmarks: the two lists, a Preset
// folder of binary presets and Plugin and Work folders of small archives,
// some of which are in the wrong folder.
//
//   kvo_bench_gen OUT [--presets N] [--preset-bytes N] [--entries N] [--ids N]
//                     [--ex N] [--plugin N] [--work N] [--needed N] [--wrong F]
//                     [--absent N] [--missing-per-preset N] [--unknown-rate F]
//                     [--seed N]
//
// OUT gets Plugin/, Preset/, Work/, lists/IdList.txt, lists/ExList.txt,
// moves.txt (what an execute run will move: "P<TAB>name" from Plugin to Work,
// "W<TAB>name" from Work to Plugin), info.txt (parameters and counts) and,
// written last, .complete. Every preset is parsed back after it is built, so
// its entry list is exactly the one intended.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

#include "lists/id_table.h"
#include "lists/name_set.h"
#include "lists/preset_list.h"
#include "preset/preset_reader.h"
#include "preset_builder.h"

namespace {

using Bytes = kvo::test::PresetBuilder::Bytes;
using Rng = std::mt19937_64;

struct Options {
  std::string out;
  long presets = 10000;
  long presetBytes = 20 * 1024;
  long entries = 40;
  long idLines = 50000;
  long exLines = 500;
  long plugin = 30000;
  long work = 30000;
  long needed = -1;           // existing archives some preset or ExList needs; default half
  double wrong = 1.0 / 3.0;   // share of needed archives placed in Work
  long absent = 300;          // needed archives that are in neither folder
  long missingPerPreset = -1; // exact number of absent entries per preset; -1: drawn at random
  double unknownRate = 0.2;   // per preset: chance of an unknown large id, and of an unknown small one
  unsigned long long seed = 1;
};

[[noreturn]] void Die(const std::string& message) {
  std::fprintf(stderr, "kvo_bench_gen: %s\n", message.c_str());
  std::exit(1);
}

void MakeDir(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) Die("cannot create " + path);
}

void WriteFile(const std::string& path, const void* data, std::size_t size) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) Die("cannot create " + path);
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = ::write(fd, p, size);
    if (n <= 0) Die("cannot write " + path);
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0) Die("cannot write " + path);
}

void WriteFile(const std::string& path, const std::string& text) {
  WriteFile(path, text.data(), text.size());
}

long Uniform(Rng& rng, long lo, long hi) {  // inclusive
  return std::uniform_int_distribution<long>(lo, hi)(rng);
}

bool Chance(Rng& rng, double p) { return std::uniform_real_distribution<double>(0, 1)(rng) < p; }

// ---- names -------------------------------------------------------------------

const char* const kKinds[] = {"Hair", "Cos", "Acc", "Face", "Body", "Shoes", "Bg", "Prop",
                              "Motion", "Eff", "Hat", "Skin"};
const char* const kWords[] = {"Long", "Short", "Ribbon", "Dress", "Maid", "Uniform", "Glasses",
                              "Twin", "Pony", "Summer", "Winter", "School", "Casual", "Gothic",
                              "Idol", "Kimono", "Swim", "Sport", "Night", "Stage"};

// A unique archive name; the serial keeps names unique in any letter case.
std::string ArchiveName(Rng& rng, long serial, const char* kind = nullptr) {
  char text[96];
  const char* k = kind ? kind : kKinds[Uniform(rng, 0, std::size(kKinds) - 1)];
  const char* w = kWords[Uniform(rng, 0, std::size(kWords) - 1)];
  const int variant = static_cast<int>(Uniform(rng, 0, 9));
  if (variant < 6) {
    std::snprintf(text, sizeof text, "%s_%s_%06ld.vac", k, w, serial);
  } else if (variant < 9) {
    std::snprintf(text, sizeof text, "%s_%s_%06ld_v%d.vac", k, w, serial, variant - 4);
  } else {
    std::snprintf(text, sizeof text, "%s-%s%06ld.vac", k, w, serial);
  }
  return text;
}

// The spelling on disk of about one name in ten differs in letter case from
// the one in the lists.
std::string DiskSpelling(Rng& rng, const std::string& name) {
  if (!Chance(rng, 0.1)) return name;
  std::string disk = name;
  if (Chance(rng, 0.5)) {
    for (std::size_t i = disk.size() - 4; i < disk.size(); ++i) {
      disk[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(disk[i])));
    }
  } else {
    for (char& c : disk) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return disk;
}

// ---- presets -----------------------------------------------------------------

// Bytes that look like the rest of a binary preset: random bytes, runs of
// small aligned 32-bit values (plenty of 13s and zeros for the header search
// to pass over), UTF-16 text, and now and then a header that claims too many
// entries.
void BinaryJunk(Rng& rng, kvo::test::PresetBuilder& builder, long bytes) {
  while (bytes > 0) {
    const int kind = static_cast<int>(Uniform(rng, 0, 99));
    Bytes chunk;
    if (kind < 55) {
      chunk.resize(static_cast<std::size_t>(Uniform(rng, 16, 256)));
      for (auto& b : chunk) b = static_cast<unsigned char>(rng());
    } else if (kind < 85) {
      const long values = Uniform(rng, 2, 32);
      for (long i = 0; i < values; ++i) kvo::test::PutU32(chunk, static_cast<std::uint32_t>(Uniform(rng, 0, 40)));
    } else if (kind < 98) {
      const long units = Uniform(rng, 4, 40);
      for (long i = 0; i < units; ++i) {
        chunk.push_back(static_cast<unsigned char>(Uniform(rng, 'A', 'z')));
        chunk.push_back(0);
      }
      chunk.push_back(0);
      chunk.push_back(0);
    } else {
      kvo::test::PresetBuilder decoy;  // only its body is wanted
      decoy.DecoyHeader(static_cast<std::uint32_t>(Uniform(rng, 256, 100000)));
      Bytes whole = decoy.Build();
      chunk.assign(whole.begin() + 304, whole.end());
    }
    if (static_cast<long>(chunk.size()) > bytes) chunk.resize(static_cast<std::size_t>(bytes));
    bytes -= static_cast<long>(chunk.size());
    builder.Raw(chunk);
  }
}

// Junk between two entries: bytes of 0x80 and above can never start an
// entry (its label length would not be 4..16), so it is skipped, not read.
Bytes EntryGap(Rng& rng) {
  Bytes gap(static_cast<std::size_t>(Uniform(rng, 1, 24)));
  for (auto& b : gap) b = static_cast<unsigned char>(0x80 | (rng() & 0x7F));
  return gap;
}

std::u16string Label(Rng& rng) {
  std::u16string label;
  const long n = Uniform(rng, 1, 7);
  for (long i = 0; i < n; ++i) label += static_cast<char16_t>(Uniform(rng, 'a', 'z'));
  return label;
}

Bytes BuildPreset(Rng& rng, const Options& o, const std::vector<std::int32_t>& ids) {
  kvo::test::PresetBuilder builder;
  const long skip = Uniform(rng, 0, 2048);
  builder.Skip(static_cast<std::int32_t>(skip));
  // Entries take about 30 bytes each; the list starts anywhere before them.
  const long listBytes = 21 + static_cast<long>(ids.size()) * 32;
  const long room = o.presetBytes - 304 - skip - listBytes;
  const long depth = room > 0 ? Uniform(rng, 0, room) : 0;
  BinaryJunk(rng, builder, depth);
  builder.ListHeader(static_cast<std::uint32_t>(ids.size()));
  for (std::size_t i = 0; i < ids.size(); ++i) {
    if (i > 0 && Chance(rng, 0.3)) builder.Raw(EntryGap(rng));
    builder.Entry(ids[i], Label(rng));
  }
  Bytes bytes = builder.Build();
  if (static_cast<long>(bytes.size()) < o.presetBytes) {
    // What follows the list is never read; fill the file to its size.
    kvo::test::PresetBuilder tail;
    BinaryJunk(rng, tail, o.presetBytes - static_cast<long>(bytes.size()));
    Bytes t = tail.Build();
    bytes.insert(bytes.end(), t.begin() + 304, t.end());
  }
  return bytes;
}

// Parses the preset back with an id table that names every id by itself, and
// checks that exactly the intended ids were found.
bool PresetReadsBack(const Bytes& bytes, const std::vector<std::int32_t>& ids) {
  kvo::IdTable table;
  std::set<std::u16string> expected;
  for (std::int32_t id : ids) {
    std::string digits = std::to_string(id);
    std::u16string name(digits.begin(), digits.end());
    table.Add(id, name);
    expected.insert(name);
  }
  table.Prepare();
  kvo::NameSet needs;
  if (kvo::ParsePreset(bytes.data(), bytes.size(), table, needs) != kvo::PresetParse::kPreset) {
    return false;
  }
  std::set<std::u16string> found(needs.begin(), needs.end());
  return found == expected;
}

// ---- options -----------------------------------------------------------------

Options Parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) Die("missing value after " + arg);
      return argv[++i];
    };
    if (arg == "--presets") o.presets = std::stol(value());
    else if (arg == "--preset-bytes") o.presetBytes = std::stol(value());
    else if (arg == "--entries") o.entries = std::stol(value());
    else if (arg == "--ids") o.idLines = std::stol(value());
    else if (arg == "--ex") o.exLines = std::stol(value());
    else if (arg == "--plugin") o.plugin = std::stol(value());
    else if (arg == "--work") o.work = std::stol(value());
    else if (arg == "--needed") o.needed = std::stol(value());
    else if (arg == "--wrong") o.wrong = std::stod(value());
    else if (arg == "--absent") o.absent = std::stol(value());
    else if (arg == "--missing-per-preset") o.missingPerPreset = std::stol(value());
    else if (arg == "--unknown-rate") o.unknownRate = std::stod(value());
    else if (arg == "--seed") o.seed = std::stoull(value());
    else if (!arg.empty() && arg[0] == '-') Die("unknown option " + arg);
    else if (o.out.empty()) o.out = arg;
    else Die("more than one output folder");
  }
  if (o.out.empty()) Die("usage: kvo_bench_gen OUT [options]; see bench/gen_workspace.cpp");
  const long total = o.plugin + o.work;
  if (o.needed < 0) o.needed = total / 2;
  if (o.needed > total || o.exLines > o.needed) Die("--needed must hold --ex and fit the folders");
  if (o.entries < 1 || o.entries > 255) Die("--entries must be 1..255");
  if (o.missingPerPreset > o.entries) Die("--missing-per-preset exceeds --entries");
  if (o.missingPerPreset > o.absent) Die("--missing-per-preset exceeds --absent");
  return o;
}

}  // namespace

int main(int argc, char** argv) {
  const Options o = Parse(argc, argv);
  Rng rng(o.seed);
  const std::string root = o.out;
  ::unlink((root + "/.complete").c_str());
  MakeDir(root);
  for (const char* sub : {"/Plugin", "/Preset", "/Work", "/lists"}) MakeDir(root + sub);

  // Archives that exist: the first `needed` of them are needed.
  const long total = o.plugin + o.work;
  std::vector<std::string> archives;
  archives.reserve(static_cast<std::size_t>(total));
  for (long i = 0; i < total; ++i) archives.push_back(ArchiveName(rng, i));

  // Item ids: distinct; about one in a hundred at or above 2^26.
  std::unordered_set<std::int32_t> usedIds;
  auto newId = [&](bool large) {
    for (;;) {
      std::int32_t id = large ? static_cast<std::int32_t>(Uniform(rng, 1L << 26, INT32_MAX))
                              : static_cast<std::int32_t>(Uniform(rng, 1, (1L << 26) - 1));
      if (usedIds.insert(id).second) return id;
    }
  };

  struct Line {
    std::int32_t id;
    std::string name;
  };
  std::vector<Line> lines;
  std::vector<std::int32_t> neededIds;  // ids whose names exist and are needed
  std::vector<std::int32_t> absentIds;  // ids whose names exist nowhere

  // ExList takes the first needed names; ids take the rest, one id in ten
  // standing for two archives.
  std::string exList;
  for (long i = 0; i < o.exLines; ++i) exList += archives[static_cast<std::size_t>(i)] + "\r\n";
  for (long i = o.exLines; i < o.needed;) {
    const std::int32_t id = newId(Chance(rng, 0.01));
    neededIds.push_back(id);
    const long names = (i + 1 < o.needed && Chance(rng, 0.1)) ? 2 : 1;
    for (long k = 0; k < names; ++k) lines.push_back({id, archives[static_cast<std::size_t>(i++)]});
  }
  for (long i = 0; i < o.absent; ++i) {
    const std::int32_t id = newId(Chance(rng, 0.01));
    absentIds.push_back(id);
    lines.push_back({id, ArchiveName(rng, total + i, "Missing")});
  }
  // The remaining lines name archives no preset asks for.
  for (long i = 0; static_cast<long>(lines.size()) < o.idLines; ++i) {
    const long unneeded = total - o.needed;
    if (unneeded == 0) break;
    lines.push_back({newId(Chance(rng, 0.01)),
                     archives[static_cast<std::size_t>(o.needed + i % unneeded)]});
  }
  std::shuffle(lines.begin(), lines.end(), rng);
  std::string idList;
  for (const Line& line : lines) {
    idList += std::to_string(line.id) + "," + line.name;
    if (Chance(rng, 0.2)) idList += ",item " + std::to_string(line.id);
    idList += "\r\n";
  }
  WriteFile(root + "/lists/IdList.txt", idList);
  WriteFile(root + "/lists/ExList.txt", exList);

  // Where the archives go: a share `wrong` of the needed ones in Work, the
  // rest in Plugin; the unneeded ones fill the rest of Plugin, then Work.
  std::vector<long> needed(static_cast<std::size_t>(o.needed));
  for (long i = 0; i < o.needed; ++i) needed[static_cast<std::size_t>(i)] = i;
  std::shuffle(needed.begin(), needed.end(), rng);
  const long neededInWork = static_cast<long>(o.needed * o.wrong + 0.5);
  const long neededInPlugin = o.needed - neededInWork;
  if (neededInPlugin > o.plugin || neededInWork > o.work) Die("the needed archives do not fit");
  std::vector<std::pair<long, char>> placement;  // archive index, 'P' or 'W'
  for (long i = 0; i < o.needed; ++i) {
    placement.push_back({needed[static_cast<std::size_t>(i)], i < neededInWork ? 'W' : 'P'});
  }
  long inPlugin = neededInPlugin;
  for (long i = o.needed; i < total; ++i) {
    placement.push_back({i, inPlugin < o.plugin ? 'P' : 'W'});
    if (inPlugin < o.plugin) ++inPlugin;
  }
  std::string moves;
  long movesToWork = 0;
  long movesToPlugin = 0;
  static const unsigned char kArchiveBytes[100] = {'K', 'V', 'A', 'C'};
  for (const auto& [index, folder] : placement) {
    const std::string disk = DiskSpelling(rng, archives[static_cast<std::size_t>(index)]);
    WriteFile(root + (folder == 'P' ? "/Plugin/" : "/Work/") + disk, kArchiveBytes,
              sizeof kArchiveBytes);
    const bool isNeeded = index < o.needed;
    if (folder == 'P' && !isNeeded) {
      moves += "P\t" + disk + "\n";
      ++movesToWork;
    } else if (folder == 'W' && isNeeded) {
      moves += "W\t" + disk + "\n";
      ++movesToPlugin;
    }
  }
  WriteFile(root + "/moves.txt", moves);

  // Presets: `entries` distinct ids each, from the needed and absent ids.
  long placeholders = 0;
  for (long p = 0; p < o.presets; ++p) {
    std::vector<std::int32_t> ids;
    std::unordered_set<std::int32_t> taken;
    auto take = [&](const std::vector<std::int32_t>& pool) {
      for (;;) {
        std::int32_t id = pool[static_cast<std::size_t>(Uniform(rng, 0, pool.size() - 1))];
        if (taken.insert(id).second) return id;
      }
    };
    long fromAbsent = 0;
    if (o.missingPerPreset >= 0) fromAbsent = o.missingPerPreset;
    for (long e = 0; e < o.entries; ++e) {
      if (e < fromAbsent) {
        ids.push_back(take(absentIds));
      } else if (o.missingPerPreset < 0 && !absentIds.empty() &&
                 Uniform(rng, 0, static_cast<long>(neededIds.size() + absentIds.size()) - 1) <
                     static_cast<long>(absentIds.size())) {
        ids.push_back(take(absentIds));
      } else {
        ids.push_back(take(neededIds));
      }
    }
    // Now and then an id the list does not know: a placeholder when large,
    // nothing when small.
    if (o.entries > 2 && Chance(rng, o.unknownRate)) {
      std::int32_t unknown = newId(true);
      ids[static_cast<std::size_t>(o.entries - 1)] = unknown;
      ++placeholders;
    }
    if (o.entries > 2 && Chance(rng, o.unknownRate)) {
      ids[static_cast<std::size_t>(o.entries - 2)] = newId(false);
    }
    std::shuffle(ids.begin(), ids.end(), rng);
    Bytes bytes;
    for (int attempt = 0;; ++attempt) {
      bytes = BuildPreset(rng, o, ids);
      if (PresetReadsBack(bytes, ids)) break;
      if (attempt == 10) Die("a preset does not read back as built");
    }
    char name[32];
    std::snprintf(name, sizeof name, p % 7 == 0 ? "Preset_%05ld.kvo" : "preset_%05ld.kvo", p);
    WriteFile(root + "/Preset/" + name, bytes.data(), bytes.size());
  }

  char info[1024];
  std::snprintf(info, sizeof info,
                "presets=%ld preset_bytes=%ld entries=%ld id_lines=%zu ex=%ld plugin=%ld work=%ld "
                "needed=%ld absent=%ld missing_per_preset=%ld placeholders=%ld "
                "moves_to_work=%ld moves_to_plugin=%ld seed=%llu\n",
                o.presets, o.presetBytes, o.entries, lines.size(), o.exLines, o.plugin, o.work,
                o.needed, o.absent, o.missingPerPreset, placeholders, movesToWork, movesToPlugin,
                o.seed);
  WriteFile(root + "/info.txt", std::string(info));
  WriteFile(root + "/.complete", std::string("ok\n"));
  std::fputs(info, stdout);
  return 0;
}
