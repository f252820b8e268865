// The native measurements behind bench/run. Each call measures one thing in
// a process of its own, so that its peak memory is its own, and prints one
// line of key=value pairs.
//
//   kvo_bench run   ROOT check|execute [--plugin DIR] [--work DIR] [--log FILE] [--unwatched]
//   kvo_bench floor ROOT check|execute [--plugin DIR] [--work DIR]
//   kvo_bench reader ROOT [--seconds S]
//   kvo_bench names ROOT [--seconds S]
//   kvo_bench lists ROOT [--seconds S]
//   kvo_bench progress ROOT [--seconds S]
//
// ROOT is a workspace of kvo_bench_gen. --plugin and --work name fresh copies
// of its Plugin and Work folders for an execute run or its floor.
//
// "run" is a whole run as the dialog starts it, writing into an
// in-memory pane, the lists found beside the "executable" (ROOT/lists),
// reporting its progress as to the dialog; --unwatched leaves the reporting
// out, for what it costs.
// "floor" is the least any run must do: list the three folders, read both
// lists and every preset whole, and for execute also rename the files the
// run will move (ROOT/moves.txt).
// "lists" loads both side lists of ROOT/lists as a run does, over and over.
// "progress" times one progress report, as a run makes one per preset and
// per move; with the reports a run counts, what the reporting costs it.
#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <filesystem>
#include <string>
#include <vector>

#include "fault_file_system.h"
#include "memory_pane.h"
#include "reconcile/folders.h"
#include "reconcile/progress.h"
#include "reconcile/run.h"
#include "lists/id_table.h"
#include "lists/name_set.h"
#include "lists/preset_list.h"
#include "lists/side_lists.h"
#include "platform/platform.h"
#include "platform/system.h"
#include "preset/catalogue.h"
#include "preset/preset_reader.h"

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void Die(const std::string& message) {
  std::fprintf(stderr, "kvo_bench: %s\n", message.c_str());
  std::exit(1);
}

double Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// User + system CPU time of this process so far: on a shared machine a
// steadier figure than the wall clock, printed beside it.
double CpuSeconds() {
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long PeakRssKib() {
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

std::string Absolute(const std::string& path) {
  char* full = ::realpath(path.c_str(), nullptr);
  if (full == nullptr) Die("no such folder: " + path);
  std::string out = full;
  std::free(full);
  return out;
}

std::u16string Utf16(const std::string& utf8) { return std::filesystem::u8path(utf8).u16string(); }

// The pane's text as UTF-8, for writing it out.
std::string Utf8(const std::u16string& text) { return std::filesystem::path(text).u8string(); }

struct Args {
  std::string command;
  std::string root;
  std::string mode;
  std::string plugin;
  std::string work;
  std::string log;
  bool unwatched = false;
  double seconds = 1.5;
};

Args Parse(int argc, char** argv) {
  Args a;
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) Die("missing value after " + arg);
      return argv[++i];
    };
    if (arg == "--plugin") a.plugin = value();
    else if (arg == "--work") a.work = value();
    else if (arg == "--log") a.log = value();
    else if (arg == "--seconds") a.seconds = std::stod(value());
    else if (arg == "--unwatched") a.unwatched = true;
    else if (!arg.empty() && arg[0] == '-') Die("unknown option " + arg);
    else positional.push_back(arg);
  }
  if (positional.size() < 2) Die("usage: see bench/bench.cpp");
  a.command = positional[0];
  a.root = Absolute(positional[1]);
  if (positional.size() > 2) a.mode = positional[2];
  a.plugin = Absolute(a.plugin.empty() ? a.root + "/Plugin" : a.plugin);
  a.work = Absolute(a.work.empty() ? a.root + "/Work" : a.work);
  return a;
}

// ---- whole runs ----------------------------------------------------------------

void SetPath(kvo::SettingsRecord& folders, int slot, const std::string& path) {
  const std::u16string wide = Utf16(path);
  if (wide.size() + 1 > kvo::kMaxPath) Die("path too long: " + path);
  std::fill(std::begin(folders.paths[slot]), std::end(folders.paths[slot]), u'\0');
  std::copy(wide.begin(), wide.end(), folders.paths[slot]);
}

std::size_t CountLines(const std::u16string& text) {
  std::size_t lines = 0;
  for (std::size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] == u'\r' && text[i + 1] == u'\n') ++lines;
  }
  return lines;
}

// The dialog's progress, counting the reports it is given.
struct CountedProgress final : kvo::RunProgress {
  kvo::SharedProgress shared;
  std::size_t reports = 0;
  void Report(kvo::RunStage stage, std::size_t done, std::size_t total) override {
    ++reports;
    shared.Report(stage, done, total);
  }
};

int Run(const Args& a) {
  const kvo::RunMode mode = a.mode == "execute" ? kvo::RunMode::kExecute : kvo::RunMode::kCheckOnly;
  if (a.mode != "execute" && a.mode != "check") Die("mode must be check or execute");
  kvo::test::FaultyFileSystem fs;
  fs.SetExeFolder(Utf16(a.root + "/lists"));
  auto folders = std::make_unique<kvo::SettingsRecord>();
  *folders = kvo::SettingsRecord{};
  kvo::MemoryPane pane;
  // The in-memory pane stands in for the dialog's edit control. Room for its
  // text is taken up front (pages are only touched as the text grows), so
  // that the stand-in's own regrowth, copying the whole log at every
  // doubling, is not counted as the run's.
  pane.text.reserve(std::size_t(32) << 20);
  SetPath(*folders, kvo::kPlugin, a.plugin);
  SetPath(*folders, kvo::kPreset, a.root + "/Preset");
  SetPath(*folders, kvo::kWork, a.work);
  const long rssBefore = PeakRssKib();

  pane.Clear();
  const double cpuStart = CpuSeconds();
  const Clock::time_point start = Clock::now();
  // Watched and stoppable as the program's runs are, so that what the
  // progress reporting costs is in the figure; the reports are counted.
  CountedProgress progress;
  kvo::platform::StopFlag stop{false};
  const int result = static_cast<int>(kvo::RunReconciliation(
      fs, pane, *folders, mode, a.unwatched ? nullptr : &progress,
      a.unwatched ? nullptr : &stop));
  const double seconds = Since(start);
  const double cpu = CpuSeconds() - cpuStart;

  const long rss = PeakRssKib();
  const std::size_t lines = CountLines(pane.text);
  std::size_t missing = 0;
  for (std::size_t at = pane.text.find(u"\r\n  - "); at != std::u16string::npos;
       at = pane.text.find(u"\r\n  - ", at + 1)) {
    ++missing;
  }
  if (!a.log.empty()) {
    const std::string text = Utf8(pane.text);
    FILE* f = std::fopen(a.log.c_str(), "wb");
    if (f == nullptr) Die("cannot write " + a.log);
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
  std::printf("seconds=%.6f cpu=%.6f rss_kib=%ld rss_before_kib=%ld result=%d lines=%zu "
              "missing=%zu reports=%zu\n",
              seconds, cpu, rss, rssBefore, result, lines, missing, progress.reports);
  return 0;
}

// ---- floors --------------------------------------------------------------------

std::vector<std::string> ListFolder(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) Die("cannot list " + folder);
  while (struct dirent* entry = ::readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    names.emplace_back(entry->d_name);
  }
  ::closedir(dir);
  return names;
}

bool EndsWithIgnoreCase(const std::string& name, const char* suffix) {
  const std::size_t n = std::strlen(suffix);
  return name.size() >= n && ::strcasecmp(name.c_str() + name.size() - n, suffix) == 0;
}

// Reads a file whole into `buffer` (grown as needed); the byte count.
std::size_t ReadWhole(const std::string& path, std::vector<unsigned char>& buffer) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) Die("cannot open " + path);
  struct stat st;
  if (::fstat(fd, &st) != 0) Die("cannot stat " + path);
  const std::size_t size = static_cast<std::size_t>(st.st_size);
  if (buffer.size() < size) buffer.resize(2 * size);
  std::size_t done = 0;
  while (done < size) {
    ssize_t n = ::read(fd, buffer.data() + done, size - done);
    if (n <= 0) Die("cannot read " + path);
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
  return size;
}

struct Move {
  bool toWork;
  std::string name;
};

std::vector<Move> ReadMoves(const std::string& root) {
  std::vector<unsigned char> bytes;
  const std::size_t size = ReadWhole(root + "/moves.txt", bytes);
  std::vector<Move> moves;
  std::string line;
  for (std::size_t i = 0; i < size; ++i) {
    if (bytes[i] != '\n') {
      line += static_cast<char>(bytes[i]);
      continue;
    }
    if (line.size() > 2) moves.push_back({line[0] == 'P', line.substr(2)});
    line.clear();
  }
  return moves;
}

int Floor(const Args& a) {
  const bool execute = a.mode == "execute";
  if (a.mode != "execute" && a.mode != "check") Die("mode must be check or execute");
  const std::vector<Move> moves = execute ? ReadMoves(a.root) : std::vector<Move>();
  const std::string preset = a.root + "/Preset";
  std::vector<unsigned char> buffer;
  const long rssBefore = PeakRssKib();

  const double cpuStart = CpuSeconds();
  const Clock::time_point start = Clock::now();
  std::size_t bytes = ReadWhole(a.root + "/lists/ExList.txt", buffer);
  bytes += ReadWhole(a.root + "/lists/IdList.txt", buffer);
  const std::size_t plugin = ListFolder(a.plugin).size();
  const std::vector<std::string> presets = ListFolder(preset);
  const std::size_t work = ListFolder(a.work).size();
  std::size_t read = 0;
  for (const std::string& name : presets) {
    if (!EndsWithIgnoreCase(name, ".kvo")) continue;
    bytes += ReadWhole(preset + "/" + name, buffer);
    ++read;
  }
  std::size_t renamed = 0;
  for (const Move& move : moves) {
    const std::string from = (move.toWork ? a.plugin : a.work) + "/" + move.name;
    const std::string to = (move.toWork ? a.work : a.plugin) + "/" + move.name;
    if (::syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(),
                  RENAME_NOREPLACE) != 0) {
      Die("cannot rename " + from);
    }
    ++renamed;
  }
  const double seconds = Since(start);
  const double cpu = CpuSeconds() - cpuStart;

  std::printf("seconds=%.6f cpu=%.6f rss_kib=%ld rss_before_kib=%ld bytes=%zu presets=%zu "
              "plugin=%zu work=%zu renamed=%zu\n",
              seconds, cpu, PeakRssKib(), rssBefore, bytes, read, plugin, work, renamed);
  return 0;
}

// ---- the preset reader on data in memory ------------------------------------------

int Reader(const Args& a) {
  kvo::test::FaultyFileSystem fs;
  fs.SetExeFolder(Utf16(a.root + "/lists"));
  kvo::Catalogue catalogue;
  if (catalogue.LoadLists(fs) != kvo::Catalogue::Load::kLoaded) {
    Die("no readable lists in " + a.root + "/lists");
  }
  const std::string folder = a.root + "/Preset";
  std::vector<std::vector<unsigned char>> presets;
  std::vector<std::u16string> names;
  std::size_t bytes = 0;
  std::vector<unsigned char> buffer;
  for (const std::string& name : ListFolder(folder)) {
    if (!EndsWithIgnoreCase(name, ".kvo")) continue;
    const std::size_t size = ReadWhole(folder + "/" + name, buffer);
    presets.emplace_back(buffer.begin(), buffer.begin() + static_cast<long>(size));
    names.push_back(Utf16(name));
    bytes += size;
  }
  if (presets.empty()) Die("no presets in " + folder);

  // ParsePreset over every preset held in memory, as often as fits the time.
  std::size_t passes = 0;
  std::size_t needs = 0;
  const Clock::time_point start = Clock::now();
  double seconds = 0;
  do {
    for (const auto& data : presets) {
      kvo::NameSet set;
      if (kvo::ParsePreset(data.data(), data.size(), catalogue.idTable, set) ==
          kvo::PresetParse::kPreset) {
        needs += set.Size();
      }
    }
    ++passes;
    seconds = Since(start);
  } while (seconds < a.seconds);
  const double parseMBps = static_cast<double>(bytes) * passes / seconds / 1e6;

  // ReadPreset on the same files, which the page cache holds by now.
  kvo::platform::SetCurrentFolder(Utf16(folder));
  std::size_t readPasses = 0;
  const Clock::time_point readStart = Clock::now();
  double readSeconds = 0;
  do {
    for (const std::u16string& name : names) {
      kvo::PresetRecord record;
      kvo::ReadPreset(fs, name, std::u16string(), catalogue.idTable, record);
    }
    ++readPasses;
    readSeconds = Since(readStart);
  } while (readSeconds < a.seconds);
  const double readMBps = static_cast<double>(bytes) * readPasses / readSeconds / 1e6;

  std::printf("parse_mbps=%.1f read_mbps=%.1f bytes=%zu presets=%zu passes=%zu read_passes=%zu "
              "needs_per_pass=%zu\n",
              parseMBps, readMBps, bytes, presets.size(), passes, readPasses, needs / passes);
  return 0;
}

// ---- the side lists ----------------------------------------------------------------

// Both lists loaded as a run loads them (read whole, decoded, split into
// lines, filled into the list and the id table), as often as fits the time.
int Lists(const Args& a) {
  kvo::test::FaultyFileSystem fs;
  fs.SetExeFolder(Utf16(a.root + "/lists"));
  std::size_t loads = 0;
  std::size_t entries = 0;
  const double cpuStart = CpuSeconds();
  const Clock::time_point start = Clock::now();
  double seconds = 0;
  do {
    kvo::NameSet exList;
    kvo::IdTable idTable;
    kvo::LoadExList(fs, exList);
    kvo::LoadIdList(fs, idTable);
    entries = exList.Size() + idTable.Size();
    ++loads;
    seconds = Since(start);
  } while (seconds < a.seconds);
  if (entries == 0) Die("no lists in " + a.root + "/lists");
  std::printf("lists_ms=%.3f cpu_ms=%.3f entries=%zu loads=%zu\n", seconds * 1e3 / loads,
              (CpuSeconds() - cpuStart) * 1e3 / loads, entries, loads);
  return 0;
}

// ---- name sets -------------------------------------------------------------------

int Names(const Args& a) {
  std::vector<std::u16string> names;
  for (const std::string& folder : {a.plugin, a.work}) {
    for (const std::string& name : ListFolder(folder)) names.push_back(Utf16(name));
  }
  if (names.empty()) Die("no archives in " + a.root);
  std::mt19937_64 rng(7);
  std::shuffle(names.begin(), names.end(), rng);
  // Probes: every second name as stored, the others with a letter changed so
  // they are absent; all in other letter case half of the time.
  std::vector<std::u16string> probes = names;
  for (std::size_t i = 0; i < probes.size(); ++i) {
    if (i % 2 == 1) probes[i] = u"x" + probes[i];
    if (i % 4 < 2) {
      for (char16_t& c : probes[i]) {
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
      }
    }
  }
  std::shuffle(probes.begin(), probes.end(), rng);

  // Only the inserts are timed, not the release of each filled set.
  std::size_t inserts = 0;
  double seconds = 0;
  kvo::NameSet kept;
  do {
    kvo::NameSet set;
    const Clock::time_point start = Clock::now();
    for (const std::u16string& name : names) set.Insert(name);
    seconds += Since(start);
    inserts += names.size();
    if (seconds >= a.seconds) kept = std::move(set);
  } while (seconds < a.seconds);

  std::size_t lookups = 0;
  std::size_t found = 0;
  const Clock::time_point lookupStart = Clock::now();
  double lookupSeconds = 0;
  do {
    for (const std::u16string& probe : probes) found += kept.Contains(probe) ? 1 : 0;
    lookups += probes.size();
    lookupSeconds = Since(lookupStart);
  } while (lookupSeconds < a.seconds);

  std::printf("insert_per_s=%.0f lookup_per_s=%.0f set_size=%zu found_share=%.3f\n",
              inserts / seconds, lookups / lookupSeconds, kept.Size(),
              static_cast<double>(found) / lookups);
  return 0;
}

// What one progress report costs the run's thread: a call through the
// RunProgress interface into the SharedProgress the dialog reads.
int Progress(const Args& a) {
  kvo::SharedProgress shared;
  kvo::RunProgress* volatile progress = &shared;  // no devirtualising
  std::size_t reports = 0;
  const Clock::time_point start = Clock::now();
  double seconds = 0;
  do {
    for (std::size_t i = 0; i < 1000000; ++i) {
      progress->Report(kvo::RunStage::kReadingPresets, i, 1000000);
    }
    reports += 1000000;
    seconds = Since(start);
  } while (seconds < a.seconds);
  std::printf("ns_per_report=%.3f reports=%zu\n", seconds * 1e9 / reports, reports);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const Args a = Parse(argc, argv);
  if (a.command == "run") return Run(a);
  if (a.command == "floor") return Floor(a);
  if (a.command == "reader") return Reader(a);
  if (a.command == "names") return Names(a);
  if (a.command == "lists") return Lists(a);
  if (a.command == "progress") return Progress(a);
  Die("unknown command " + a.command);
}
