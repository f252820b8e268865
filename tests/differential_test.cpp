// Whole runs on random workspaces against the plain model of a run
// (run_model.h): after a check-only and then an execute run, the log and both
// archive folders must be exactly what the model predicts.
//
//   KVO_DIFF_SEEDS=5000 kvo_run_tests --gtest_filter='Differential.*'   more seeds
//   KVO_DIFF_SEED=17    kvo_run_tests --gtest_filter='Differential.*'   one seed again
#include "gtest_support.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "list_reference.h"
#include "lists/name_set.h"
#include "preset/catalogue.h"
#include "preset_builder.h"
#include "run_fixture.h"
#include "run_model.h"

namespace kvo::test {
namespace {

constexpr std::int32_t kBig = 67108864;  // 2^26: unknown ids from here on are shown

class Random {
 public:
  explicit Random(unsigned seed) : engine_(seed) {}
  int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(engine_); }
  bool Chance(int percent) { return Int(0, 99) < percent; }
  // Letters, digits and '_', and now and then a piece beyond them (accented,
  // Greek, Cyrillic, Japanese, full-width, punctuation: NamePieces), so that
  // the run's order of such names is held against the system's. UTF-8.
  std::string Word(int lo, int hi) {
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789_";
    const std::vector<std::u16string>& pieces = NamePieces();
    std::string word;
    for (int n = Int(lo, hi); n > 0; --n) {
      if (Chance(12)) {
        word += U8(pieces[Int(0, static_cast<int>(pieces.size()) - 1)]);
      } else {
        word += kChars[Int(0, sizeof kChars - 2)];
      }
    }
    return word;
  }
  std::string Cased(std::string text) {
    for (char& c : text) {
      if (Chance(30)) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
  }

 private:
  std::mt19937 engine_;
};

// Base names Windows takes for a device unless the path says otherwise.
const char* const kDeviceNames[] = {"con", "prn", "aux", "nul", "com1", "com9", "lpt1", "lpt3"};

// Pieces of names beyond ASCII: kanji and kana (three bytes in UTF-8, so a
// list of them passes for UTF-8 under a double-byte code page), half-width
// kana, characters of two bytes in UTF-8 (which make such a list ANSI), and
// one beyond the first plane.
const char* const kWidePieces[] = {"髪", "顔", "ボディ", "ﾍｱ", "é", "Ä", "×", "😀"};

// Distinct under the name order, so that no folder holds two spellings of one name.
std::vector<std::string> DistinctNames(Random& rnd, int count, const std::string& extension) {
  std::set<std::u16string, NameLess> seen;
  std::vector<std::string> names;
  while (static_cast<int>(names.size()) < count) {
    std::string name = rnd.Word(1, 6);
    if (rnd.Chance(15)) name += kWidePieces[rnd.Int(0, std::size(kWidePieces) - 1)];
    if (rnd.Chance(3)) name = kDeviceNames[rnd.Int(0, std::size(kDeviceNames) - 1)];
    if (rnd.Chance(15)) name += "." + rnd.Word(1, 3);
    name = rnd.Cased(name + extension);
    if (seen.insert(U16(name)).second) names.push_back(name);
  }
  return names;
}

std::string LineEnd(Random& rnd) { return rnd.Chance(85) ? "\r\n" : "\n"; }

// The end of a list: sometimes without its last LF, rarely holding a NUL
// (between two characters, so that the text stays UTF-8), which makes it
// no list at all.
std::string Finish(Random& rnd, std::string text) {
  if (!text.empty() && rnd.Chance(25)) text.pop_back();
  if (!text.empty() && text.back() == '\r' && rnd.Chance(50)) text.pop_back();
  if (!text.empty() && rnd.Chance(3)) {
    std::size_t at = rnd.Int(0, static_cast<int>(text.size()) - 1);
    while ((static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) --at;
    text.insert(at, 1, '\0');
  }
  return text;
}

// A list's UTF-8 text saved the way an editor might; UTF-16 sometimes with
// an odd byte more.
std::string Save(Random& rnd, const std::string& text, std::ostringstream& about) {
  const int pick = rnd.Int(0, 9);
  const ListSave how = pick < 6 ? ListSave::kAsIs : kAllSaves[pick - 5];
  std::string bytes = SaveList(text, how);
  about << "(saved " << SaveName(how);
  if ((how == ListSave::kUtf16Le || how == ListSave::kUtf16Be) && rnd.Chance(20)) {
    bytes += 'x';
    about << ", odd byte";
  }
  about << ")\n";
  return bytes;
}

// A list's text for printing: CR shown, long names cut.
std::string Visible(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, 20, std::string(20, 'n')) == 0) {
      const std::size_t end = std::min(text.find_first_not_of('n', i), text.size());
      out += "n...(" + std::to_string(end - i) + ")";
      i = end - 1;
    } else {
      out += text[i] == '\r' ? "\\r" : text[i] == '\0' ? "\\0" : std::string(1, text[i]);
    }
  }
  return out;
}

// Lays out one workspace; returns its lists and presets in words, for a
// failing seed.
std::string Lay(RunWorkspace& ws, Random& rnd) {
  std::ostringstream about;
  const std::vector<std::string> archives = DistinctNames(rnd, rnd.Int(3, 16), ".vac");
  const int presetCount = rnd.Int(0, 12);
  // Many entries against few presets leave the id table unranked.
  const int factor = static_cast<int>(kRankingFactor);
  const int lines = rnd.Chance(40) ? presetCount * factor + rnd.Int(1, 24) : rnd.Int(1, 24);

  std::vector<std::int32_t> known;  // ids IdList.txt holds
  std::string idList;
  for (int i = 0; i < lines; ++i) {
    std::string id;
    switch (rnd.Int(0, 11)) {
      case 0:
        id = "0";
        known.push_back(0);
        break;
      case 1:
        id = "id";
        known.push_back(0);
        break;  // a heading line
      case 2: {
        const int n = rnd.Int(1, 4);
        id = "-" + std::to_string(n);
        known.push_back(-n);
        break;
      }
      case 3:
      case 4: {
        const int n = kBig + rnd.Int(0, 40);
        id = std::to_string(n);
        known.push_back(n);
        break;
      }
      case 5:
        id = rnd.Chance(50) ? "99999999999" : "-99999999999";
        known.push_back(id[0] == '-' ? INT32_MIN : INT32_MAX);
        break;
      case 6: {
        const int n = rnd.Int(1, 12);
        id = (rnd.Chance(50) ? " +" : "\t") + std::to_string(n);
        known.push_back(n);
        break;
      }
      default: {
        const int n = rnd.Int(1, 12);
        id = std::to_string(n);
        known.push_back(n);
        break;
      }
    }
    std::string name;
    switch (rnd.Int(0, 19)) {
      case 0:
        name = "";
        break;
      case 1:
        name = "gone_" + rnd.Word(1, 2) + ".vac";
        break;
      case 2:
        name = std::string(rnd.Chance(50) ? 259 : 260, 'n');
        break;
      case 3:
        name = "\?\?\?(" + std::to_string(kBig + rnd.Int(0, 40)) + ")";
        break;
      default:
        name = rnd.Cased(archives[rnd.Int(0, static_cast<int>(archives.size()) - 1)]);
    }
    if (rnd.Chance(5)) {
      idList += "no comma here" + LineEnd(rnd);
    }
    idList += id + "," + name + (rnd.Chance(10) ? ",comment" : "") + LineEnd(rnd);
  }
  idList = Finish(rnd, idList);
  if (rnd.Chance(97)) {
    about << "IdList.txt:\n" << Visible(idList) << "\n";
    ws.IdList(Save(rnd, idList, about));
  }

  if (rnd.Chance(50)) {
    std::string exList;
    for (int n = rnd.Int(0, 4); n > 0; --n) {
      exList += (rnd.Chance(20)
                     ? std::string()
                     : rnd.Cased(archives[rnd.Int(0, static_cast<int>(archives.size()) - 1)])) +
                LineEnd(rnd);
    }
    exList = Finish(rnd, exList);
    about << "ExList.txt:\n" << Visible(exList) << "\n";
    ws.ExList(Save(rnd, exList, about));
  }

  for (const std::string& name : DistinctNames(rnd, presetCount, ".kvo")) {
    std::vector<std::int32_t> ids;
    for (int n = rnd.Int(0, 10); n > 0; --n) {
      const int kind = rnd.Int(0, 9);
      if (kind < 5 && !known.empty())
        ids.push_back(known[rnd.Int(0, static_cast<int>(known.size()) - 1)]);
      else if (kind < 8)
        ids.push_back(kBig + rnd.Int(0, 60));  // often unknown
      else
        ids.push_back(rnd.Chance(50) ? rnd.Int(-9, 99) : rnd.Chance(50) ? kBig - 1 : INT32_MAX);
    }
    // Several distinct unknown ids from 2^26 up in one preset.
    if (rnd.Chance(40)) {
      for (int n = rnd.Int(2, 4); n > 0; --n) ids.push_back(kBig + 1000 + rnd.Int(0, 999));
    }
    PresetBuilder builder;
    if (rnd.Chance(15)) builder.Skip(rnd.Int(-320, 200));
    if (rnd.Chance(15)) builder.DecoyHeader(rnd.Chance(50) ? 256 : 0xFFFFFFFF);
    const bool short_ = rnd.Chance(5);  // counts more entries than it holds
    builder.ListHeader(static_cast<std::uint32_t>(ids.size() + (short_ ? 1 : 0)));
    about << name << ":";
    for (std::size_t i = 0; i < ids.size() || i == 0; ++i) {
      if (rnd.Chance(10)) builder.RawEntry(18, u"abcdefgh", 0, ids.empty() ? 1 : ids[i]);
      if (rnd.Chance(10)) {
        PresetBuilder::Bytes junk;
        for (int n = rnd.Int(1, 12); n > 0; --n)
          junk.push_back(static_cast<unsigned char>(rnd.Int(0, 255)));
        builder.Raw(junk);
      }
      // With no ids, the header still needs a well-formed entry after it.
      builder.Entry(ids.empty() ? 424242 : ids[i], std::u16string(rnd.Int(1, 7), u'k'));
      if (!ids.empty()) about << " " << ids[i];
    }
    PresetBuilder::Bytes bytes = builder.Build();
    if (rnd.Chance(8)) {
      bytes.resize(rnd.Int(0, static_cast<int>(bytes.size())));
      about << " (cut to " << bytes.size() << " bytes)";
    }
    if (rnd.Chance(3) && bytes.size() > 20) bytes[12] = '1';  // the magic goes on
    about << "\n";
    WriteBytes(ws.Folder(kPreset) / fs::u8path(name), bytes);
  }
  if (rnd.Chance(20)) ws.Root().Sub("Preset/subfolder.kvo");  // longer than any preset name
  if (rnd.Chance(20)) WriteText(ws.Folder(kPreset) / "notes.txt", "not a preset");

  // Each archive in Plugin, in Work, in both, or nowhere; in both with different bytes.
  about << "Plugin/Work:";
  for (const std::string& name : archives) {
    const int where = rnd.Int(0, 3);
    if (where & 1) WriteText(ws.Folder(kPlugin) / fs::u8path(name), "plugin " + name);
    if (where & 2) WriteText(ws.Folder(kWork) / fs::u8path(name), "work " + name);
    about << " " << name << ":"
          << "-PWB"[where];
    if (where == 0 && rnd.Chance(25)) {  // a sub-folder named like an archive
      const int slot = rnd.Chance(50) ? kPlugin : kWork;
      fs::create_directory(Verbatim(ws.Folder(slot) / fs::u8path(name)));
      WriteText(ws.Folder(slot) / fs::u8path(name) / "inside.txt", "inside");
      about << (slot == kPlugin ? "(folder in Plugin)" : "(folder in Work)");
    }
  }
  if (rnd.Chance(20)) WriteText(ws.Folder(kPlugin) / "readme.txt", "not an archive");
  about << "\n";
  return about.str();
}

std::vector<std::string> LinesOf(const std::u16string& log) {
  std::vector<std::string> lines;
  const std::string text = U8(log);
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

// A line diff of two logs ("-" the model, "+" the run), with two lines of
// context around each change.
std::string LogDiff(const std::u16string& model, const std::u16string& run) {
  const std::vector<std::string> a = LinesOf(model);
  const std::vector<std::string> b = LinesOf(run);
  // common[i][j]: length of the longest common subsequence of a[i..] and b[j..].
  std::vector<std::vector<int>> common(a.size() + 1, std::vector<int>(b.size() + 1, 0));
  for (std::size_t i = a.size(); i-- > 0;) {
    for (std::size_t j = b.size(); j-- > 0;) {
      common[i][j] =
          a[i] == b[j] ? common[i + 1][j + 1] + 1 : std::max(common[i + 1][j], common[i][j + 1]);
    }
  }
  std::vector<std::string> lines;  // each with its mark
  for (std::size_t i = 0, j = 0; i < a.size() || j < b.size();) {
    if (i < a.size() && j < b.size() && a[i] == b[j]) {
      lines.push_back("    " + a[i++]);
      ++j;
    } else if (j == b.size() || (i < a.size() && common[i + 1][j] >= common[i][j + 1])) {
      lines.push_back("  - " + a[i++]);
    } else {
      lines.push_back("  + " + b[j++]);
    }
  }
  std::string out;
  for (std::size_t k = 0; k < lines.size(); ++k) {
    bool near = false;
    for (std::size_t m = k > 2 ? k - 2 : 0; m < lines.size() && m <= k + 2; ++m) {
      near = near || lines[m][2] != ' ';
    }
    if (near) out += lines[k] + "\n";
  }
  return out;
}

std::string FolderDiff(const char* folder, const FolderContents& model, const FolderContents& run) {
  std::set<std::string> names;
  for (const auto& entry : model) names.insert(entry.first);
  for (const auto& entry : run) names.insert(entry.first);
  std::ostringstream out;
  for (const std::string& name : names) {
    const auto m = model.find(name);
    const auto r = run.find(name);
    const std::string want = m == model.end() ? "(absent)" : "\"" + m->second + "\"";
    const std::string got = r == run.end() ? "(absent)" : "\"" + r->second + "\"";
    if (want != got) {
      out << "  " << folder << "/" << name << ": model " << want << ", run " << got << "\n";
    }
  }
  return out.str();
}

// A few seconds by default; a seed costs about ten times as much under Wine.
#ifdef _WIN32
constexpr unsigned kDefaultSeeds = 100;
#else
constexpr unsigned kDefaultSeeds = 300;
#endif

unsigned EnvNumber(const char* name, unsigned otherwise) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != 0 ? static_cast<unsigned>(std::strtoul(value, nullptr, 10))
                                         : otherwise;
}

TEST(Differential, WholeRunsMatchThePlainModel) {
  const bool one = std::getenv("KVO_DIFF_SEED") != nullptr;
  const unsigned first = EnvNumber("KVO_DIFF_SEED", 1);
  const unsigned count = one ? 1 : EnvNumber("KVO_DIFF_SEEDS", kDefaultSeeds);
  const auto started = std::chrono::steady_clock::now();
  int ranked = 0;
  int unranked = 0;
  int saved[std::size(kAllSaves)] = {};  // lists written each way
  std::vector<unsigned> failing;
  for (unsigned seed = first; seed < first + count; ++seed) {
    Random rnd(seed);
    RunWorkspace ws;
    const std::string about = Lay(ws, rnd);
    for (std::size_t k = 0; k < std::size(kAllSaves); ++k) {
      const std::string mark = std::string("(saved ") + SaveName(kAllSaves[k]);
      for (std::size_t at = about.find(mark); at != std::string::npos;
           at = about.find(mark, at + 1)) {
        if (about.compare(at + mark.size(), 1, " ") != 0) ++saved[k];  // not "UTF-8 with BOM"
      }
    }
    for (RunMode mode : {RunMode::kCheckOnly, RunMode::kExecute}) {
      const ModelOutcome want = ModelRun(ws.Root().path(), ws.Folder(kPlugin), ws.Folder(kPreset),
                                         ws.Folder(kWork), mode);
      const RunResult result = ws.Run(mode);
      if (mode == RunMode::kCheckOnly && want.presetsRead > 0) {
        // The reader sorts with the table's ranks when presets are many
        // against the table's size, by comparing names otherwise.
        ++(want.presetsListed * kRankingFactor >= want.idEntries ? ranked : unranked);
      }
      std::string diff;
      if (result != want.result) {
        diff +=
            "  result " + std::to_string(static_cast<int>(result)) + ", model " +
            std::to_string(static_cast<int>(want.result)) + "\n";
      }
      if (ws.Log() != want.log) diff += LogDiff(want.log, ws.Log());
      diff += FolderDiff("Plugin", want.plugin, ws.Contents(kPlugin));
      diff += FolderDiff("Work", want.work, ws.Contents(kWork));
      if (!diff.empty()) {
        if (failing.size() < 3) {
          ADD_FAILURE() << "seed " << seed << ", "
                        << (mode == RunMode::kExecute ? "execute" : "check-only")
                        << " run differs from the model:\n"
                        << diff << "replay: KVO_DIFF_SEED=" << seed
                        << " kvo_run_tests --gtest_filter='Differential.*'\nworkspace:\n"
                        << about;
        }
        failing.push_back(seed);
        break;
      }
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::printf("%u seeds in %.1f s: %d with a ranked id table, %d unranked, %u failing\n", count,
              seconds, ranked, unranked, static_cast<unsigned>(failing.size()));
  std::printf("lists saved:");
  for (std::size_t k = 0; k < std::size(kAllSaves); ++k) {
    std::printf(" %d %s%s", saved[k], SaveName(kAllSaves[k]), k + 1 < std::size(kAllSaves) ? "," : "\n");
  }
  if (!failing.empty()) {
    std::ostringstream seeds;
    for (std::size_t i = 0; i < failing.size() && i < 20; ++i) seeds << " " << failing[i];
    ADD_FAILURE() << failing.size() << " of " << count
                  << " seeds differ, the first:" << seeds.str();
  }
  if (count >= 100) {
    EXPECT_GT(ranked, static_cast<int>(count / 10));
    EXPECT_GT(unranked, static_cast<int>(count / 10));
  }
}

}  // namespace
}  // namespace kvo::test
