// Whole runs on odd inputs, on the real file system of each platform: the
// same name on both sides, empty files and a folder named like a preset,
// lists holding a NUL, names Windows could take for a device or the parent
// folder, a preset over 100 MB, names and folder paths at the 260-unit limit,
// Japanese names in the lists' encodings.
#include "gtest_support.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "fault_file_system.h"
#include "ledger.h"
#include "platform/platform.h"
#include "preset/preset_reader_test_helper.h"
#include "preset_builder.h"

namespace kvo::test {
namespace {

// The ANSI code page of this process, as far as the lists are concerned.
std::string ListEncoding() {
  std::u16string out;
  if (platform::AnsiToUtf16("\x94\xaf", 2, out) && out == u"\u9AEA") return "Shift-JIS";
  if (platform::AnsiToUtf16("\xE9\xAB\xAA", 3, out) && out == u"\u9AEA") return "UTF-8";
  return "other";
}

// 髪型 (hair style), ボディ (body), 顔 (face), 基本 (base), 古い (old), 予備 (spare).
struct JapaneseText {
  std::string hair, body, face, base, old, spare;
};
const JapaneseText kUtf8 = {"\xE9\xAB\xAA\xE5\x9E\x8B", "\xE3\x83\x9C\xE3\x83\x87\xE3\x82\xA3",
                            "\xE9\xA1\x94", "\xE5\x9F\xBA\xE6\x9C\xAC",
                            "\xE5\x8F\xA4\xE3\x81\x84", "\xE4\xBA\x88\xE5\x82\x99"};
const JapaneseText kShiftJis = {"\x94\xaf\x8c\x5e", "\x83\x7b\x83\x66\x83\x42", "\x8a\xe7",
                                "\x8a\xee\x96\x7b", "\x8c\xc3\x82\xa2", "\x97\x5c\x94\xf5"};

void RunJapanese(const JapaneseText& list) {
  const JapaneseText& file = kUtf8;  // file names on disk and in the log
  RunWorkspace ws;
  ws.IdList("1," + list.hair + ".vac\r\n2," + list.body + ".vac\r\n3," + list.face + ".vac\r\n");
  ws.ExList(list.base + ".vac\r\n");
  ws.Preset(file.hair + ".kvo", {1, 2});
  ws.Preset(file.face + ".kvo", {3});
  Ledger ledger(ws);
  ledger.Put(kPlugin, file.base + ".vac");
  ledger.Put(kPlugin, file.old + ".vac");
  ledger.Put(kPlugin, file.hair + ".vac");
  ledger.Put(kWork, file.body + ".vac");
  ledger.Put(kWork, file.spare + ".vac");
  EXPECT_EQ(ws.Run(RunMode::kExecute), RunResult::kCompleted);
  EXPECT_EQ(ws.Log(), RunLog("3/2/2", "1/0 1/0",
                             "→ 不足無し/不足有り = 1/1\r\n" + file.face + ".kvo\r\n  - " +
                                 file.face + ".vac\r\n"));
  const std::string old = file.old + ".vac";
  const std::string body = file.body + ".vac";
  EXPECT_EQ(ledger.Now(),
            ledger.UnmovedBut({{"Plugin/" + old, "Work/" + old}, {"Work/" + body, "Plugin/" + body}}));
}

TEST(OddInputs, DestinationAlreadyExistsInEachPhase) {
  // a.kvo needs face.vac, b.kvo hair.vac.
  struct Case {
    const char* what;
    std::function<void(Ledger&)> lay;
    std::string counts, moves, report;
    Where after;  // only the archives that moved
    std::string outFailed = "", inFailed = "";  // the failure lines of each phase
  };
  const std::string bothMissing = "→ 不足無し/不足有り = 0/2\r\na.kvo\r\n  - face.vac\r\n"
                                  "b.kvo\r\n  - hair.vac\r\n";
  const Case cases[] = {
      {"Plugin -> Work: an unneeded archive is in Work too",
       [](Ledger& l) {
         l.PutAll({{kPlugin, "old.vac"}, {kWork, "old.vac"}, {kPlugin, "junk.vac"}});
       },
       "2/2/1", "1/1 0/0", bothMissing, {{"Plugin/junk.vac", "Work/junk.vac"}},
       Failed("old.vac", kExists)},
      {"Work -> Plugin: a needed archive is in Plugin too",
       [](Ledger& l) {
         l.PutAll({{kPlugin, "face.vac"}, {kWork, "face.vac"}});
       },
       "1/2/1", "0/0 0/1", "→ 不足無し/不足有り = 1/1\r\nb.kvo\r\n  - hair.vac\r\n", {}, "",
       Failed("face.vac", kExists)},
      {"Work -> Plugin: a folder of the needed name is in Plugin",
       [](Ledger& l) {
         l.Put(kWork, "face.vac");
         l.Put(kPlugin, "face.vac", 0, true);
         l.Put(kWork, "hair.vac");
       },
       "1/2/2", "0/0 1/1", "→ 不足無し/不足有り = 2/0\r\n", {{"Work/hair.vac", "Plugin/hair.vac"}},
       "", Failed("face.vac", kExists)},
      {"Plugin -> Work: an unneeded folder archive, a file of its name in Work",
       [](Ledger& l) {
         l.Put(kPlugin, "dir.vac", 0, true);
         l.Put(kWork, "dir.vac");
       },
       "1/2/1", "0/1 0/0", bothMissing, {}, Failed("dir.vac", kExists)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RunWorkspace ws;
    ws.IdList("1,face.vac\r\n2,hair.vac\r\n");
    ws.Preset("a.kvo", {1});
    ws.Preset("b.kvo", {2});
    Ledger ledger(ws);
    c.lay(ledger);
    Where expected = ledger.UnmovedBut();
    for (const auto& [from, to] : c.after) expected[from] = to;
    EXPECT_EQ(ws.Run(RunMode::kExecute), RunResult::kCompleted);
    EXPECT_EQ(ws.Log(), RunLog(c.counts, c.moves, c.report, c.outFailed, c.inFailed));
    EXPECT_EQ(ledger.Now(), expected);
  }
}

TEST(OddInputs, EmptyFilesAndAFolderNamedLikeAPreset) {
  {
    SCOPED_TRACE("empty IdList.txt");
    RunWorkspace ws;
    LayLists(ws);
    ws.IdList("");
    Ledger ledger(ws);
    ledger.Put(kPlugin, "old.vac");
    EXPECT_EQ(ws.Run(RunMode::kExecute), RunResult::kAborted);
    EXPECT_EQ(ws.Log(), u"■準備\r\nIdList.txt: 読み込み失敗\r\n");
    EXPECT_EQ(ledger.Now(), ledger.UnmovedBut());
  }
  RunWorkspace ws;
  LayLists(ws);
  ws.ExList("");
  WriteText(ws.Folder(kPreset) / "empty.kvo", "");
  fs::create_directory(ws.Folder(kPreset) / "x.kvo");
  Ledger ledger(ws);
  ledger.PutEmpty(kPlugin, "base.vac");  // no longer always needed: ExList.txt is empty
  ledger.PutAll({{kPlugin, "face.vac"}, {kWork, "hair.vac"}});
  EXPECT_EQ(ws.Run(RunMode::kExecute), RunResult::kCompleted);
  // Both odd presets are counted and neither is read.
  EXPECT_EQ(ws.Log(), RunLog("2/3/1", "1/0 1/0", "→ 不足無し/不足有り = 1/0\r\n"));
  EXPECT_EQ(ledger.Now(), (Where{{"Plugin/base.vac", "Work/base.vac"},
                                 {"Plugin/face.vac", "Plugin/face.vac"},
                                 {"Work/hair.vac", "Plugin/hair.vac"}}));
  EXPECT_EQ(fs::file_size(ws.Folder(kWork) / "base.vac"), 0u);
}

// A list whose text holds a NUL is no list: zeroed by a crash, saved as
// UTF-16 without its mark (or as UTF-32), every name would end at its first
// byte and the list read as empty. The run stops in both modes before any
// folder is listed; IdList.txt is judged first.
TEST(OddInputs, ListsHoldingANulStopTheRun) {
  const std::string idList = "1,face.vac\r\n2,hair.vac\r\n3,shoe.vac\r\n";
  auto utf16NoMark = [](const std::string& ascii) {
    std::string out;
    for (char c : ascii) out += std::string(1, c) + '\0';
    return out;
  };
  struct Case {
    const char* what;
    std::string idList, exList;
    const char* line;  // the run's last line; nullptr: it completes
  };
  const Case cases[] = {
      {"ExList.txt zeroed by a crash", idList, std::string(64, '\0'), "ExList.txt"},
      {"ExList.txt in UTF-16 without its mark", idList, utf16NoMark("base.vac\r\n"), "ExList.txt"},
      {"ExList.txt in UTF-32", idList, std::string("\xFF\xFE\0\0b\0\0\0", 8), "ExList.txt"},
      {"ExList.txt in UTF-16 with its mark and a zero unit", idList,
       std::string("\xFF\xFE" "b\0\0\0", 6), "ExList.txt"},
      {"a NUL in the last line of IdList.txt", idList + std::string("4,x\0.vac", 9), "base.vac\r\n",
       "IdList.txt"},
      {"IdList.txt in UTF-16 without its mark", utf16NoMark(idList), "base.vac\r\n", "IdList.txt"},
      {"both: IdList.txt first", idList + std::string(1, '\0'), std::string(8, '\0'), "IdList.txt"},
      {"ExList.txt of blank lines", idList, "\r\n\r\n", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (RunMode mode : {RunMode::kCheckOnly, RunMode::kExecute}) {
      RunWorkspace ws;
      LayLists(ws);
      ws.IdList(c.idList);
      ws.ExList(c.exList);
      Ledger ledger(ws);
      ledger.PutAll({{kPlugin, "base.vac"}, {kPlugin, "face.vac"}, {kWork, "hair.vac"}});
      const RunResult result = ws.Run(mode);
      if (c.line == nullptr) {
        EXPECT_EQ(result, RunResult::kCompleted);
        continue;
      }
      EXPECT_EQ(result, RunResult::kAborted);
      EXPECT_EQ(ws.Log(), U16(std::string("■準備\r\n") + c.line + ": 読み込み失敗\r\n"));
      EXPECT_EQ(ws.Fs().Calls(FsOp::kFindFiles), 0);
      EXPECT_EQ(ledger.Now(), ledger.UnmovedBut());
    }
  }
}

// Names that Windows, asked without care, takes for something else: a
// device (CON, NUL, COM1, LPT1, AUX in any case, with any extension) or the
// parent folder (a folder named "..plug"). Each is the file or folder it
// names, under Wine as natively, where they are ordinary names.
TEST(OddInputs, NamesWindowsCouldTakeForDevicesOrTheParentFolder) {
  struct Case {
    const char* what;
    const char* plugin;  // the three folders' names
    const char* preset;
    const char* work;
    std::vector<std::string> presets;  // needing face.vac, hair.vac in turn
    std::vector<std::string> archives;  // in Plugin; the first two are face.vac and hair.vac
  };
  const Case cases[] = {
      {"presets and archives named for devices", "Plugin", "Preset", "Work",
       {"CON.kvo", "nul.kvo"}, {"face.vac", "hair.vac", "COM1.vac", "lpt1.VAC", "aux.vac", "Nul.txt.vac"}},
      {"folders whose names begin with two dots", "..plug", "..preset", "..work",
       {"a.kvo", "..b.kvo"}, {"face.vac", "hair.vac", "old.vac", "..x.vac", "prn.vac", "com9.vac"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RunWorkspace ws;
    ws.IdList("1,face.vac\r\n2,hair.vac\r\n");
    const fs::path plugin = ws.Root().Sub(c.plugin);
    const fs::path preset = ws.Root().Sub(c.preset);
    const fs::path work = ws.Root().Sub(c.work);
    ws.SetFolder(kPlugin, S(plugin));
    ws.SetFolder(kPreset, S(preset));
    ws.SetFolder(kWork, S(work));
    for (std::size_t i = 0; i < c.presets.size(); ++i) {
      WriteBytes(preset / c.presets[i],
                 PresetBuilder().ListHeader(1).Entry(static_cast<std::int32_t>(i + 1)).Build());
    }
    Ledger ledger(ws);
    ledger.Move(kPlugin, plugin);
    ledger.Move(kWork, work);
    for (const std::string& name : c.archives) ledger.Put(kPlugin, name);
    const Where unmoved = ledger.UnmovedBut();
    EXPECT_EQ(ws.Run(RunMode::kCheckOnly), RunResult::kCompleted);
    EXPECT_EQ(ws.Log(), RunLog("6/2/0", "", "→ 不足無し/不足有り = 2/0\r\n"));
    EXPECT_EQ(ws.Run(RunMode::kExecute), RunResult::kCompleted);
    EXPECT_EQ(ws.Log(), RunLog("6/2/0", "4/0 0/0", "→ 不足無し/不足有り = 2/0\r\n"));
    Where moved;
    for (const std::string& name : c.archives) {
      const bool needed = name == "face.vac" || name == "hair.vac";
      moved["Plugin/" + name] = (needed ? "Plugin/" : "Work/") + name;
    }
    EXPECT_EQ(ledger.Now(), moved);
    // And back: all four are needed now.
    ws.IdList("1,face.vac\r\n2,hair.vac\r\n3," + c.archives[2] + "\r\n4," + c.archives[3] +
              "\r\n5," + c.archives[4] + "\r\n6," + c.archives[5] + "\r\n");
    WriteBytes(preset / c.presets[0],
               PresetBuilder().ListHeader(5).Entry(1).Entry(3).Entry(4).Entry(5).Entry(6).Build());
    EXPECT_EQ(ws.Run(RunMode::kExecute), RunResult::kCompleted);
    EXPECT_EQ(ws.Log(), RunLog("2/2/4", "0/0 4/0", "→ 不足無し/不足有り = 2/0\r\n"));
    EXPECT_EQ(ledger.Now(), unmoved);
  }
}

TEST(OddInputs, APresetOverOneHundredMegabytes) {
  RunWorkspace ws;
  LayLists(ws);
  // Mostly a hole: only the start and the entry list at the very end hold bytes.
  const std::uint64_t size = 100ull * 1024 * 1024 + 4096;
  const PresetBuilder::Bytes head = PresetBuilder().Build();
  PresetBuilder::Bytes tail = PresetBuilder().ListHeader(2).Entry(1).Entry(3).Build();
  tail.erase(tail.begin(), tail.begin() + 304);
  const fs::path big = ws.Folder(kPreset) / "big.kvo";
  WriteBytes(big, head);
  fs::resize_file(big, size - tail.size());
  {
    std::ofstream out(big, std::ios::binary | std::ios::app);
    out.write(reinterpret_cast<const char*>(tail.data()), static_cast<std::streamsize>(tail.size()));
  }
  ASSERT_EQ(fs::file_size(big), size);
  Ledger ledger(ws);
  ledger.Put(kPlugin, "face.vac");
  ResetPresetReadBuffer();
  // A run of small presets keeps its buffer for the next run.
  const fs::path aside = ws.Root().path() / "big.kvo";
  fs::rename(big, aside);
  EXPECT_EQ(ws.Run(RunMode::kCheckOnly), RunResult::kCompleted);
  EXPECT_GT(PresetReadBufferCapacity(), 0u);
  fs::rename(aside, big);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(ws.Run(RunMode::kCheckOnly), RunResult::kCompleted);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  // Read whole: the list at its end was found. The buffer it took is not
  // kept once the run is over.
  EXPECT_EQ(ws.Log(), RunLog("1/2/0", "",
                             "→ 不足無し/不足有り = 0/2\r\na.kvo\r\n  - hair.vac\r\n"
                             "big.kvo\r\n  - shoe.vac\r\n"));
  EXPECT_EQ(PresetReadBufferCapacity(), 0u);
  EXPECT_EQ(ledger.Now(), ledger.UnmovedBut());
  std::printf("a %llu-byte preset read in %.2f s\n", static_cast<unsigned long long>(size),
              seconds);
  ResetPresetReadBuffer();
}

TEST(OddInputs, NamesOf259And260Units) {
  // A list name that fits a path (259 units) is kept; one unit more and the
  // line is skipped. Every name is needed by the preset and none can exist as
  // a file, so the report shows exactly the names that were kept.
  const std::string latin259 = std::string(255, 'n') + ".vac";
  const std::string latin260 = std::string(256, 'm') + ".vac";
  std::string list = "1," + latin259 + "\r\n2," + latin260 + "\r\n3,face.vac\r\n";
  std::string missing = "  - " + latin259 + "\r\n";
  // The same in Japanese, in the lists' encoding: 255 or 256 times 髪.
  const std::string encoding = ListEncoding();
  if (encoding != "other") {
    const std::string hair = encoding == "UTF-8" ? "\xE9\xAB\xAA" : "\x94\xaf";
    std::string japanese259, japanese260, utf8;
    for (int i = 0; i < 255; ++i) japanese259 += hair, utf8 += "\xE9\xAB\xAA";
    japanese260 = japanese259 + hair;
    list += "4," + japanese259 + ".vac\r\n5," + japanese260 + ".vac\r\n";
    missing += "  - " + utf8 + ".vac\r\n";
  } else {
    std::printf("note: the lists' encoding is neither UTF-8 nor Shift-JIS; Latin names only\n");
  }
  RunWorkspace ws;
  ws.IdList(list);
  ws.Preset("a.kvo", {1, 2, 3, 4, 5});
  Ledger ledger(ws);
  ledger.Put(kPlugin, "face.vac");
  EXPECT_EQ(ws.Run(RunMode::kExecute), RunResult::kCompleted);
  // Each reported name fits its 1024-unit line whole.
  EXPECT_EQ(ws.Log(), RunLog("1/1/0", "0/0 0/0",
                             "→ 不足無し/不足有り = 0/1\r\na.kvo\r\n" + missing));
  EXPECT_EQ(ledger.Now(), ledger.UnmovedBut());
}

TEST(OddInputs, FolderPathsNearTheLimit) {
  // A path holds 259 units at most: folder, separator, name. a.kvo needs
  // face.vac, bb.kvo hair.vac.
  struct Case {
    const char* what;
    int slot;            // the deep folder
    std::size_t length;  // of its path
    std::string counts, moves, report;
    Where after;
    std::string aborted = "";  // the line that ends an aborted run
    std::string outFailed = "";
  };
  const Case cases[] = {
      {"Work at 253: a.vac fits (259), ab.vac does not (260)", kWork, 253, "3/2/0", "1/1 0/0",
       "→ 不足無し/不足有り = 1/1\r\na.kvo\r\n  - face.vac\r\n", {{"Plugin/a.vac", "Work/a.vac"}}, "",
       Failed("ab.vac", kTooLong)},
      // From 254 units on, folder + "\*.vac" does not fit: the folder cannot
      // be listed, which is not an empty folder. Taken as empty, a deep Preset
      // folder would send every archive to Work, a deep Plugin folder would
      // make every preset lack everything.
      {"Plugin at 254", kPlugin, 254, "", "", "", {}, "Plugin: 読み込み失敗\r\n"},
      {"Preset at 254", kPreset, 254, "", "", "", {}, "Preset: 読み込み失敗\r\n"},
      {"Preset at 255", kPreset, 255, "", "", "", {}, "Preset: 読み込み失敗\r\n"},
      {"Preset at 259", kPreset, 259, "", "", "", {}, "Preset: 読み込み失敗\r\n"},
      {"Work at 257", kWork, 257, "", "", "", {}, "Work: 読み込み失敗\r\n"},
      // Left out, bb.kvo would send hair.vac, which it needs, to Work.
      {"Preset at 253: a.kvo fits, bb.kvo is there but cannot be named, so nothing moves",
       kPreset, 253, "", "", "", {}, "bb.kvo: 読み込み失敗\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RunWorkspace ws;
    ws.IdList("1,face.vac\r\n2,hair.vac\r\n");
    const fs::path deep = FolderOfLength(ws.Root().path() / "deep", c.length);
    ws.SetFolder(c.slot, S(deep));
    const fs::path presets = c.slot == kPreset ? deep : ws.Folder(kPreset);
    WriteBytes(presets / "a.kvo", PresetBuilder().ListHeader(1).Entry(1).Build());
    WriteBytes(presets / "bb.kvo", PresetBuilder().ListHeader(1).Entry(2).Build());
    Ledger ledger(ws);
    if (c.slot != kPreset) ledger.Move(c.slot, deep);
    if (c.slot == kPlugin) {
      ledger.PutAll({{kPlugin, "hair.vac"}, {kWork, "face.vac"}});
    } else {
      ledger.PutAll({{kPlugin, "a.vac"}, {kPlugin, "ab.vac"}, {kPlugin, "hair.vac"}});
    }
    if (c.aborted.empty()) {
      EXPECT_EQ(ws.Run(RunMode::kExecute), RunResult::kCompleted);
      EXPECT_EQ(ws.Log(), RunLog(c.counts, c.moves, c.report, c.outFailed));
    } else {
      EXPECT_EQ(ws.Run(RunMode::kExecute), RunResult::kAborted);
      EXPECT_EQ(ws.Log(), U16("■準備\r\n" + c.aborted));
    }
    EXPECT_EQ(ledger.Now(), ledger.UnmovedBut(c.after));
  }
}

TEST(OddInputs, JapaneseNamesInUtf8Lists) { RunJapanese(kUtf8); }

TEST(OddInputs, JapaneseNamesInShiftJisListsUnderCodePage932) {
  const std::string encoding = ListEncoding();
  if (encoding == "Shift-JIS") {
    RunJapanese(kShiftJis);
    return;
  }
#ifdef _WIN32
  GTEST_SKIP() << "the ANSI code page is not 932 (run under scripts/wine-run)";
#else
  // The code page is taken once per process: run this case in a child
  // process whose locale names Shift-JIS.
  if (std::getenv("KVO_SHIFT_JIS_CHILD") != nullptr) {
    FAIL() << "the child's lists are in " << encoding;
  }
  char self[4096];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(n, 0);
  self[n] = 0;
  const std::string command =
      std::string("env -u LC_ALL -u LC_CTYPE LANG=ja_JP.SJIS KVO_SHIFT_JIS_CHILD=1 '") + self +
      "' --gtest_filter=OddInputs.JapaneseNamesInShiftJisListsUnderCodePage932 2>&1";
  FILE* child = ::popen(command.c_str(), "r");
  ASSERT_NE(child, nullptr);
  std::string output;
  char chunk[4096];
  while (std::size_t got = std::fread(chunk, 1, sizeof chunk, child)) output.append(chunk, got);
  const int status = ::pclose(child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
  EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
#endif
}

}  // namespace
}  // namespace kvo::test
