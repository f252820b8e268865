#include "gtest_support.h"

#include <functional>
#include <new>
#include <string>

#include "alloc_failure.h"
#include "list_reference.h"
#include "platform/platform.h"
#include "platform/system.h"
#include "preset/preset_reader.h"
#include "preset_builder.h"
#include "reconcile/progress.h"
#include "preset/preset_reader_test_helper.h"
#include "run_fixture.h"

namespace kvo::test {
namespace {

using Contents = std::map<std::string, std::string>;

// A workspace where every kind of decision occurs once.
void LaySample(RunWorkspace& ws) {
  ws.IdList("1,face.vac\r\n2,body.vac\r\n3,hair.vac\r\n5,shoe.vac\r\n");
  ws.ExList("base.vac\r\n");
  ws.Preset("a.kvo", {1, 2});
  ws.Preset("b.kvo", {3, 67108870});
  ws.Preset("c.kvo", {5});
  WriteBytes(ws.Folder(kPreset) / "bad.kvo", PresetBuilder().BuildTruncated(47));
  for (const char* name : {"base.vac", "face.vac", "old.vac", "junk.vac"}) ws.Archive(kPlugin, name);
  for (const char* name : {"body.vac", "hair.vac", "spare.vac"}) ws.Archive(kWork, name);
}

TEST(Run, CheckOnlyReportsAndMovesNothing) {
  RunWorkspace ws;
  LaySample(ws);
  const Contents plugin = ws.Contents(kPlugin);
  const Contents work = ws.Contents(kWork);
  EXPECT_EQ(ws.Run(RunMode::kCheckOnly), RunResult::kCompleted);
  EXPECT_EQ(ws.Log(),
            u"■準備\r\n"
            u"→ Plugin/Preset/Work = 4/4/3\r\n"
            u"■kvoの状態\r\n"
            u"→ 不足無し/不足有り = 0/3\r\n"
            u"a.kvo\r\n"
            u"  - body.vac\r\n"
            u"b.kvo\r\n"
            u"  - \?\?\?(67108870)\r\n"
            u"  - hair.vac\r\n"
            u"c.kvo\r\n"
            u"  - shoe.vac\r\n"
            u"\r\n");
  EXPECT_EQ(ws.Contents(kPlugin), plugin);
  EXPECT_EQ(ws.Contents(kWork), work);
}

// An execute run on the sample workspace.
const char16_t kSampleExecuteLog[] =
    u"■準備\r\n"
    u"→ Plugin/Preset/Work = 4/4/3\r\n"
    u"■不要ファイルの移動(Plugin -> Work)\r\n"
    u"→ 成功/失敗 = 2/0\r\n"
    u"■必要ファイルの移動(Work -> Plugin)\r\n"
    u"→ 成功/失敗 = 2/0\r\n"
    u"■kvoの状態\r\n"
    u"→ 不足無し/不足有り = 1/2\r\n"
    u"b.kvo\r\n"
    u"  - \?\?\?(67108870)\r\n"
    u"c.kvo\r\n"
    u"  - shoe.vac\r\n"
    u"\r\n";
const Contents kSamplePluginAfter = {{"base.vac", "base.vac"}, {"body.vac", "body.vac"},
                                     {"face.vac", "face.vac"}, {"hair.vac", "hair.vac"}};
const Contents kSampleWorkAfter = {{"junk.vac", "junk.vac"}, {"old.vac", "old.vac"},
                                   {"spare.vac", "spare.vac"}};

TEST(Run, ExecuteMovesBothWaysThenReports) {
  RunWorkspace ws;
  LaySample(ws);
  EXPECT_EQ(ws.Run(RunMode::kExecute), RunResult::kCompleted);
  EXPECT_EQ(ws.Log(), kSampleExecuteLog);
  EXPECT_EQ(ws.Contents(kPlugin), kSamplePluginAfter);
  EXPECT_EQ(ws.Contents(kWork), kSampleWorkAfter);

  // Nothing changed since: the next run moves nothing at all.
  EXPECT_EQ(ws.Run(RunMode::kExecute), RunResult::kCompleted);
  const std::u16string second = ws.Log();
  EXPECT_NE(second.find(u"(Plugin -> Work)\r\n→ 成功/失敗 = 0/0\r\n"), std::u16string::npos);
  EXPECT_NE(second.find(u"(Work -> Plugin)\r\n→ 成功/失敗 = 0/0\r\n"), std::u16string::npos);
  EXPECT_EQ(second.rfind(u"■準備\r\n", 0), 0u);  // the pane holds the second run only
  EXPECT_EQ(second.find(u"■準備", 1), std::u16string::npos);
}

// What a run tells its watcher, and a stop asked for at a given step (as the
// dialog does when Windows ends the session): the run ends before the next
// preset or archive, Aborted, with nothing half done and the log as far as
// it got.
TEST(Run, ReportsHowFarItIsAndStopsWhereAsked) {
  struct Recorder final : RunProgress {
    std::u16string steps;  // "stage:done/total " for each report
    RunStage stopAt{};
    std::size_t stopAfter = 0;
    platform::StopFlag stop{false};
    void Report(RunStage stage, std::size_t done, std::size_t total) override {
      steps += U16(std::to_string(static_cast<int>(stage)) + ":" +
                                   std::to_string(done) + "/" + std::to_string(total) + " ");
      if (stage == stopAt && done == stopAfter) stop = true;
    }
  };
  const std::size_t kNever = 99;
  const struct {
    const char* what;
    RunStage stopAt;
    std::size_t stopAfter;
    RunResult result;
    std::u16string log;  // empty: the whole sample log
    std::size_t movedAway;  // archives moved, of the four the run moves
  } cases[] = {
      {"no stop", RunStage::kMoving, kNever, RunResult::kCompleted, u"", 4},
      {"after the second preset", RunStage::kReadingPresets, 2, RunResult::kAborted,
       u"■準備\r\n", 0},
      {"after the first move", RunStage::kMoving, 1, RunResult::kAborted,
       u"■準備\r\n→ Plugin/Preset/Work = 4/4/3\r\n■不要ファイルの移動(Plugin -> Work)\r\n"
       u"→ 成功/失敗 = 1/0\r\n",
       1},
      {"after the third move", RunStage::kMoving, 3, RunResult::kAborted,
       u"■準備\r\n→ Plugin/Preset/Work = 4/4/3\r\n■不要ファイルの移動(Plugin -> Work)\r\n"
       u"→ 成功/失敗 = 2/0\r\n■必要ファイルの移動(Work -> Plugin)\r\n→ 成功/失敗 = 1/0\r\n",
       3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RunWorkspace ws;
    LaySample(ws);
    Recorder recorder;
    recorder.stopAt = c.stopAt;
    recorder.stopAfter = c.stopAfter;
    EXPECT_EQ(ws.Run(RunMode::kExecute, &recorder, &recorder.stop), c.result);
    EXPECT_EQ(ws.Log(), c.log.empty() ? std::u16string(kSampleExecuteLog) : c.log);
    const Contents plugin = ws.Contents(kPlugin);
    const Contents work = ws.Contents(kWork);
    EXPECT_EQ(work.count("junk.vac") + work.count("old.vac") + plugin.count("body.vac") +
                  plugin.count("hair.vac"),
              c.movedAway);
    EXPECT_EQ(ws.AllArchives().size(), 7u);  // every archive still there, once
    if (c.result == RunResult::kCompleted) {
      EXPECT_EQ(recorder.steps,
                u"0:0/0 1:0/0 2:0/4 2:1/4 2:2/4 2:3/4 2:4/4 3:0/4 3:1/4 3:2/4 3:3/4 3:4/4 4:0/0 ");
    }
  }
}

// The window reads the last report from another thread: a stage never comes
// with another stage's counts, and counts beyond what is kept show as the
// largest kept.
TEST(Run, SharedProgressKeepsTheLastReportWhole) {
  const std::size_t kLargest = SharedProgress::kLargestCount;
  const struct {
    RunStage stage;
    std::size_t done, total;
    std::size_t shownDone, shownTotal;
  } cases[] = {
      {RunStage::kReadingPresets, 1234, 10000, 1234, 10000},
      {RunStage::kListing, 0, 0, 0, 0},
      {RunStage::kMoving, kLargest, kLargest, kLargest, kLargest},
      {RunStage::kReport, kLargest + 1, std::size_t{1} << 40, kLargest, kLargest},
  };
  SharedProgress progress;
  EXPECT_TRUE(progress.Read() == RunPosition{});  // nothing reported: reading the lists
  for (const auto& c : cases) {
    progress.Report(c.stage, c.done, c.total);
    const RunPosition shown = progress.Read();
    EXPECT_EQ(shown.stage, c.stage);
    EXPECT_EQ(shown.done, c.shownDone);
    EXPECT_EQ(shown.total, c.shownTotal);
  }
}

// Folder fields that are not absolute (the registry fallback gives "Plugin"
// and "Preset") name folders under the one the program was started in, on
// every run, whatever an earlier run made current.
TEST(Run, RelativeFoldersAreTakenFromTheStartFolderOnEveryRun) {
  const std::u16string outside = platform::CurrentFolder();
  RunWorkspace ws;
  LaySample(ws);
  ASSERT_TRUE(platform::SetCurrentFolder(ws.Root().str()));
  platform::RecordStartFolder();
  ASSERT_TRUE(platform::SetCurrentFolder(S(ws.Folder(kPreset))));  // anything but the start
  ws.SetFolder(kPlugin, u"Plugin");
  ws.SetFolder(kPreset, u"Preset");
  ws.SetFolder(kWork, u"Work");
  EXPECT_EQ(ws.Run(RunMode::kExecute), RunResult::kCompleted);
  EXPECT_EQ(ws.Log(), kSampleExecuteLog);
  EXPECT_EQ(ws.Contents(kPlugin), kSamplePluginAfter);
  EXPECT_EQ(ws.Contents(kWork), kSampleWorkAfter);
  // The second run still reads the presets and finds nothing to move.
  EXPECT_EQ(ws.Run(RunMode::kExecute), RunResult::kCompleted);
  EXPECT_NE(ws.Log().find(u"→ Plugin/Preset/Work = 4/4/3\r\n■不要ファイルの移動(Plugin -> Work)\r\n"
                          u"→ 成功/失敗 = 0/0\r\n"),
            std::u16string::npos)
      << U8(ws.Log());
  EXPECT_EQ(ws.Contents(kPlugin), kSamplePluginAfter);
  // The fields keep the text they were given.
  EXPECT_EQ(std::u16string(ws.folders.paths[kPlugin]), u"Plugin");
  ASSERT_TRUE(platform::SetCurrentFolder(outside));
  platform::RecordStartFolder();
}

// Whichever way a run returns, the folder the program was started in is
// current again: a run never leaves Preset or Work current, which Windows
// would then refuse to rename or remove while the program is open.
TEST(Run, TheStartFolderIsCurrentAgainWhenARunReturns) {
  const std::u16string outside = platform::CurrentFolder();
  struct Case {
    const char* what;
    RunMode mode;
    RunResult result;
    std::function<void(RunWorkspace&)> fault;
  };
  const Case cases[] = {
      {"check-only, completed", RunMode::kCheckOnly, RunResult::kCompleted, nullptr},
      {"execute, completed", RunMode::kExecute, RunResult::kCompleted, nullptr},
      {"aborted reading a preset", RunMode::kExecute, RunResult::kAborted,
       [](RunWorkspace& ws) {
         ws.Fs().Add(FailRead(S(ws.Folder(kPreset) / "b.kvo"), platform::FileStatus::kUnreadable));
       }},
      {"aborted after the moves", RunMode::kExecute, RunResult::kAborted,
       [](RunWorkspace& ws) { ws.Fs().Add(FailListing(S(ws.Folder(kPlugin)), 2)); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RunWorkspace ws;
    LaySample(ws);
    if (c.fault) c.fault(ws);
    const fs::path start = ws.Root().Sub("start");
    ASSERT_TRUE(platform::SetCurrentFolder(S(start)));
    platform::RecordStartFolder();
    ASSERT_TRUE(platform::SetCurrentFolder(S(ws.Root().path())));  // anything but the start
    EXPECT_EQ(ws.Run(c.mode), c.result);
    EXPECT_TRUE(fs::equivalent(P(platform::CurrentFolder()), start)) << U8(platform::CurrentFolder());
    ASSERT_TRUE(platform::SetCurrentFolder(outside));
    platform::RecordStartFolder();
  }
}

// The same lists saved every way an editor saves them give the same run.
// ExList.txt holds one half-width kana name: in Shift-JIS its bytes are also
// well-formed UTF-8, and still read as Shift-JIS. The Shift-JIS row needs
// the ANSI code page 932 (under Wine, or natively a Shift-JIS locale).
TEST(Run, TheSameListsInEveryEncodingGiveTheSameRun) {
  const std::string idList = "1,髪型.vac\r\n2,ボディ.vac\r\n3,顔.vac\r\n4,基本.vac\r\n";
  const std::string exList = "ﾍｱ01.vac\r\n";
  struct Case {
    const char* what;
    ListSave how;
    std::string idList, exList;  // UTF-8, or the bytes themselves for kAsIs
    std::uint32_t onlyUnder = 0;
  };
  const Case cases[] = {
      {"Shift-JIS", ListSave::kAsIs,
       "1,\x94\xaf\x8c\x5e.vac\r\n2,\x83\x7b\x83\x66\x83\x42.vac\r\n3,\x8a\xe7.vac\r\n"
       "4,\x8a\xee\x96\x7b.vac\r\n",
       "\xCD\xB1" "01.vac\r\n", 932},
      {"UTF-8", ListSave::kUtf8, idList, exList},
      {"UTF-8 with BOM", ListSave::kUtf8Bom, idList, exList},
      {"UTF-16 LE", ListSave::kUtf16Le, idList, exList},
      {"UTF-16 BE", ListSave::kUtf16Be, idList, exList},
  };
  const std::uint32_t codePage = ListCodePage();
  for (const Case& c : cases) {
    if (c.onlyUnder != 0 && c.onlyUnder != codePage) continue;
    SCOPED_TRACE(c.what);
    RunWorkspace ws;
    ws.IdList(SaveList(c.idList, c.how));
    ws.ExList(SaveList(c.exList, c.how));
    ws.Preset("p.kvo", {1, 2});
    ws.Preset("q.kvo", {3, 4});
    for (const char* name : {"基本.vac", "古い.vac", "髪型.vac"}) ws.Archive(kPlugin, name);
    for (const char* name : {"ボディ.vac", "予備.vac", "ﾍｱ01.vac"}) ws.Archive(kWork, name);
    EXPECT_EQ(ws.Run(RunMode::kExecute), RunResult::kCompleted);
    EXPECT_EQ(ws.Log(),
              u"■準備\r\n"
              u"→ Plugin/Preset/Work = 3/2/3\r\n"
              u"■不要ファイルの移動(Plugin -> Work)\r\n"
              u"→ 成功/失敗 = 1/0\r\n"
              u"■必要ファイルの移動(Work -> Plugin)\r\n"
              u"→ 成功/失敗 = 2/0\r\n"
              u"■kvoの状態\r\n"
              u"→ 不足無し/不足有り = 1/1\r\n"
              u"q.kvo\r\n"
              u"  - 顔.vac\r\n"
              u"\r\n");
    EXPECT_EQ(ws.Contents(kPlugin), (Contents{{"ボディ.vac", "ボディ.vac"},
                                              {"基本.vac", "基本.vac"},
                                              {"髪型.vac", "髪型.vac"},
                                              {"ﾍｱ01.vac", "ﾍｱ01.vac"}}));
    EXPECT_EQ(ws.Contents(kWork),
              (Contents{{"予備.vac", "予備.vac"}, {"古い.vac", "古い.vac"}}));
  }
}

TEST(Run, AbortsBeforeTouchingAnything) {
  struct Case {
    const char* what;
    bool idList;
    int badSlot;          // -1: none
    const char* badKind;  // "missing", "file" or "empty"
    std::u16string log;
  };
  const Case cases[] = {
      {"no IdList.txt, all folders invalid", false, 3, "missing",
       u"■準備\r\nIdList.txt: 読み込み失敗\r\n"},
      {"missing Plugin", true, kPlugin, "missing", u"■準備\r\nPlugin: 読み込み失敗\r\n"},
      {"Preset is a file", true, kPreset, "file", u"■準備\r\nPreset: 読み込み失敗\r\n"},
      {"Work is empty", true, kWork, "empty", u"■準備\r\nWork: 読み込み失敗\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RunWorkspace ws;
    LaySample(ws);
    if (!c.idList) fs::remove(ws.Root().path() / "IdList.txt");
    for (int slot = 0; slot < kFolderSlotCount; ++slot) {
      if (c.badSlot != slot && c.badSlot != 3) continue;
      const std::string kind = c.badKind;
      if (kind == "empty") {
        ws.SetFolder(slot, u"");
      } else if (kind == "file") {
        ws.SetFolder(slot, S(ws.Root().path() / "IdList.txt"));
      } else {
        ws.SetFolder(slot, S(ws.Root().path() / "nowhere"));
      }
    }
    const std::u16string cwd = platform::CurrentFolder();
    const auto before = ws.AllArchives();
    EXPECT_EQ(ws.Run(RunMode::kExecute), RunResult::kAborted);
    EXPECT_EQ(ws.Log(), c.log);
    EXPECT_EQ(ws.AllArchives(), before);
    EXPECT_EQ(platform::CurrentFolder(), cwd);
  }
}

TEST(Run, AnIdListWithoutAnyCommaAborts) {
  RunWorkspace ws;
  LaySample(ws);
  ws.IdList("face.vac\r\nbody.vac\r\n");
  EXPECT_EQ(ws.Run(RunMode::kCheckOnly), RunResult::kAborted);
  EXPECT_EQ(ws.Log(), u"■準備\r\nIdList.txt: 読み込み失敗\r\n");
}

TEST(Run, WithoutReadablePresetsOnlyTheExListIsKept) {
  // With no preset at all, only the ExList is needed. With files that are
  // all no presets, what they need is unknown: the run must not guess.
  struct Case {
    const char* what;
    std::vector<std::string> presetFiles;
    RunResult result;
    std::u16string log;
    Contents plugin;
  };
  const Case cases[] = {
      {"no preset file", {}, RunResult::kCompleted,
       u"■準備\r\n"
       u"→ Plugin/Preset/Work = 3/0/0\r\n"
       u"■不要ファイルの移動(Plugin -> Work)\r\n"
       u"→ 成功/失敗 = 2/0\r\n"
       u"■必要ファイルの移動(Work -> Plugin)\r\n"
       u"→ 成功/失敗 = 0/0\r\n"
       u"■kvoの状態\r\n"
       u"→ 不足無し/不足有り = 0/0\r\n"
       u"\r\n",
       {{"BASE.VAC", "BASE.VAC"}}},
      {"damaged files only", {"broken.kvo", "empty.kvo"}, RunResult::kAborted,
       u"■準備\r\nPreset: 読み込み失敗\r\n",
       {{"BASE.VAC", "BASE.VAC"}, {"face.vac", "face.vac"}, {"other.vac", "other.vac"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RunWorkspace ws;
    ws.IdList("1,face.vac\r\n");
    ws.ExList("Base.vac\r\n");
    for (const std::string& name : c.presetFiles) {
      WriteText(ws.Folder(kPreset) / name, name == "empty.kvo" ? "" : "not a preset");
    }
    for (const char* name : {"BASE.VAC", "face.vac", "other.vac"}) ws.Archive(kPlugin, name);
    EXPECT_EQ(ws.Run(RunMode::kExecute), c.result);
    EXPECT_EQ(ws.Log(), c.log);
    EXPECT_EQ(ws.Contents(kPlugin), c.plugin);
    EXPECT_EQ(ws.Run(RunMode::kCheckOnly), c.result);
  }
}

TEST(Run, AnArchiveInBothFoldersIsLeftAloneAndCountedAsFailed) {
  RunWorkspace ws;
  ws.IdList("1,need.vac\r\n");
  ws.Preset("p.kvo", {1});
  // need.vac: needed, in both; spare.vac: unneeded, in both.
  WriteText(ws.Folder(kPlugin) / "spare.vac", "plugin copy");
  WriteText(ws.Folder(kWork) / "spare.vac", "work copy");
  WriteText(ws.Folder(kPlugin) / "need.vac", "plugin need");
  WriteText(ws.Folder(kWork) / "need.vac", "work need");
  EXPECT_EQ(ws.Run(RunMode::kExecute), RunResult::kCompleted);
  EXPECT_NE(ws.Log().find(u"(Plugin -> Work)\r\n→ 成功/失敗 = 0/1\r\n"
                          u"  - spare.vac (移動先に同じ名前のファイルがあります)\r\n■"),
            std::u16string::npos);
  EXPECT_NE(ws.Log().find(u"(Work -> Plugin)\r\n→ 成功/失敗 = 0/1\r\n"
                          u"  - need.vac (移動先に同じ名前のファイルがあります)\r\n■"),
            std::u16string::npos);
  EXPECT_EQ(ws.Contents(kPlugin),
            (Contents{{"need.vac", "plugin need"}, {"spare.vac", "plugin copy"}}));
  EXPECT_EQ(ws.Contents(kWork), (Contents{{"need.vac", "work need"}, {"spare.vac", "work copy"}}));
}

TEST(Run, LetterCaseNeverDecidesAndMovedFilesKeepTheirNames) {
  RunWorkspace ws;
  ws.IdList("1,hair.vac\r\n2,face.vac\r\n");
  ws.Preset("p.kvo", {1, 2});
  ws.Archive(kWork, "HAIR.VAC");
  ws.Archive(kPlugin, "Face.VAC");
  EXPECT_EQ(ws.Run(RunMode::kExecute), RunResult::kCompleted);
  EXPECT_EQ(ws.Contents(kPlugin), (Contents{{"Face.VAC", "Face.VAC"}, {"HAIR.VAC", "HAIR.VAC"}}));
  EXPECT_NE(ws.Log().find(u"→ 不足無し/不足有り = 1/0\r\n\r\n"), std::u16string::npos);
}

TEST(Run, ASubFolderNamedLikeAnArchiveMovesLikeOne) {
  RunWorkspace ws;
  ws.IdList("1,x.vac\r\n");
  ws.Root().Sub("Plugin/folder.vac");
  WriteText(ws.Folder(kPlugin) / "folder.vac" / "inside.txt", "inside");
  EXPECT_EQ(ws.Run(RunMode::kExecute), RunResult::kCompleted);
  EXPECT_NE(ws.Log().find(u"(Plugin -> Work)\r\n→ 成功/失敗 = 1/0\r\n"), std::u16string::npos);
  EXPECT_EQ(ReadText(ws.Folder(kWork) / "folder.vac" / "inside.txt"), "inside");
}

TEST(Run, ReportCountsAndListsInPresetOrder) {
  RunWorkspace ws;
  ws.IdList("1,common.vac\r\n2,rare.vac\r\n3,other.vac\r\n");
  for (int i = 0; i < 8; ++i) ws.Preset("p" + std::to_string(i) + ".kvo", {1});
  ws.Preset("z1.kvo", {2, 3, 1});
  ws.Preset("Z0.kvo", {2});
  ws.Preset("empty.kvo", {});
  ws.Archive(kPlugin, "Common.VAC");
  EXPECT_EQ(ws.Run(RunMode::kCheckOnly), RunResult::kCompleted);
  EXPECT_EQ(ws.Log(),
            u"■準備\r\n"
            u"→ Plugin/Preset/Work = 1/11/0\r\n"
            u"■kvoの状態\r\n"
            u"→ 不足無し/不足有り = 9/2\r\n"
            u"Z0.kvo\r\n"
            u"  - rare.vac\r\n"
            u"z1.kvo\r\n"
            u"  - other.vac\r\n"
            u"  - rare.vac\r\n"
            u"\r\n");
  // The count line is written before redrawing stops; the listing while off.
  EXPECT_EQ(ws.Pane().redrawOffCount, 1);
  EXPECT_EQ(ws.Pane().appendsWhileOff, 5u);
  EXPECT_TRUE(ws.Pane().redraw);
}

// More distinct needed names than the report's first table of answers
// holds: every missing one is still listed, under each preset that lacks it.
TEST(Run, AReportOverManyDistinctNamesListsEveryMissingOne) {
  RunWorkspace ws;
  std::string idList;
  for (int id = 1; id <= 600; ++id) idList += std::to_string(id) + ",n" + std::to_string(id) + ".vac\r\n";
  ws.IdList(idList);
  for (int p = 0; p < 3; ++p) {
    PresetBuilder builder;
    builder.ListHeader(200);
    for (int id = 1 + 200 * p; id <= 200 * (p + 1); ++id) builder.Entry(id);
    WriteBytes(ws.Folder(kPreset) / ("p" + std::to_string(p) + ".kvo"), builder.Build());
  }
  for (int id = 2; id <= 600; id += 2) ws.Archive(kPlugin, "n" + std::to_string(id) + ".vac");
  EXPECT_EQ(ws.Run(RunMode::kCheckOnly), RunResult::kCompleted);
  const std::u16string log = ws.Log();
  EXPECT_NE(log.find(u"→ 不足無し/不足有り = 0/3\r\n"), std::u16string::npos);
  std::size_t listed = 0;
  for (std::size_t at = log.find(u"  - "); at != std::u16string::npos; at = log.find(u"  - ", at + 1)) {
    ++listed;
  }
  EXPECT_EQ(listed, 300u);
  EXPECT_NE(log.find(u"  - n599.vac\r\n"), std::u16string::npos);
  EXPECT_EQ(log.find(u"  - n600.vac\r\n"), std::u16string::npos);
}

TEST(Run, AMoveWhoseDestinationPathDoesNotFitFails) {
  RunWorkspace ws;
  ws.IdList("1,keep.vac\r\n");
  // A Work folder so deep that joining a long archive name passes MAX_PATH.
  fs::path work = ws.Root().path() / "Work";
  while (work.u16string().size() < kMaxPath - 60) work /= "w";
  fs::create_directories(work);
  ws.SetFolder(kWork, S(work));
  const std::string gone = std::string(70, 'g') + ".vac";
  const std::string longName = std::string(70, 'n') + ".vac";
  const std::string taken = std::string(70, 't') + ".vac";
  for (const std::string& name : {gone, longName, taken}) ws.Archive(kPlugin, name);
  ws.Archive(kPlugin, "short.vac");
  // What holds before the path's length is still what the line says: a
  // source taken away meanwhile, a name taken in the destination.
  WriteText(work / taken, "in Work already");
  ws.Fs().Add(Before(FsOp::kMoveObstacle, S(ws.Folder(kPlugin)), 1,
                     [&] { fs::remove(ws.Folder(kPlugin) / gone); }));
  EXPECT_EQ(ws.Run(RunMode::kExecute), RunResult::kCompleted);
  EXPECT_NE(ws.Log().find(U16("(Plugin -> Work)\r\n→ 成功/失敗 = 1/3\r\n  - " + gone +
                              " (ファイルが見つかりません)\r\n  - " + longName +
                              " (パスが長すぎます)\r\n  - " + taken +
                              " (移動先に同じ名前のファイルがあります)\r\n■")),
            std::u16string::npos);
  EXPECT_TRUE(fs::exists(ws.Folder(kPlugin) / longName));
  EXPECT_TRUE(fs::exists(ws.Folder(kPlugin) / taken));
  EXPECT_TRUE(fs::exists(work / "short.vac"));
}

// Running out of memory at any allocation unwinds the run: nothing leaks
// (the sanitizer build checks), no archive is lost or duplicated, and a run
// afterwards still completes.
TEST(Run, MemoryExhaustionAtAnyPointUnwindsCleanly) {
  long total = 0;
  // The start folder is recorded by its first use in a process, not by
  // every run: have that done before counting a run's allocations.
  platform::StartFolder();
  {
    RunWorkspace probe;
    LaySample(probe);
    probe.Archive(kWork, "junk.vac");  // a move that fails is named too
    // The preset buffer outlives runs; start each from an empty one so that
    // every run allocates the same way (and its growth can fail too).
    ResetPresetReadBuffer();
    FailAllocationAfter(1000000000L);  // armed, but never reached
    EXPECT_EQ(probe.Run(RunMode::kExecute), RunResult::kCompleted);
    total = AllocationsSeen();
    FailAllocationAfter(0);
  }
  ASSERT_GT(total, 20);
  for (long n = 1; n <= total; ++n) {
    SCOPED_TRACE(n);
    RunWorkspace ws;
    LaySample(ws);
    ws.Archive(kWork, "junk.vac");
    const auto before = ws.AllArchives();
    ResetPresetReadBuffer();
    FailAllocationAfter(n);
    bool threw = false;
    try {
      ws.Run(RunMode::kExecute);
    } catch (const std::bad_alloc&) {
      threw = true;
    }
    FailAllocationAfter(0);
    EXPECT_TRUE(threw);
    EXPECT_EQ(platform::CurrentFolder(), platform::StartFolder());
    EXPECT_EQ(ws.AllArchives(), before);
    EXPECT_EQ(ws.Run(RunMode::kCheckOnly), RunResult::kCompleted);
  }
}

}  // namespace
}  // namespace kvo::test
