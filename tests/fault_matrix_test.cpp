// Whole runs under faults planned through the run's file system
// (FaultyFileSystem): a list, preset or folder that cannot be read, a listing
// that fails part-way or the second time, a move that fails for each of its
// reasons, a file or folder taken away between listing and use. Each row
// runs the same natively, under the sanitizers and under Wine, and checks the
// log and that every archive is still there exactly once with its bytes
// unchanged.
#include "gtest_support.h"

#include <functional>
#include <iterator>
#include <string>

#include "fault_file_system.h"
#include "ledger.h"
#include "platform/platform.h"
#include "platform/system.h"

namespace kvo::test {
namespace {

using platform::FileStatus;
using platform::MoveStatus;

// What another program does while the run reads its first preset: after the
// folders were listed, before anything is moved or listed again.
void WhileReadingPresets(RunWorkspace& ws, std::function<void()> action) {
  ws.Fs().Add(Before(FsOp::kReadWholeFile, S(ws.Folder(kPreset)), 1, std::move(action)));
}

// The log of a run up to its report, then `line`: the Plugin folder could
// not be listed a second time.
std::u16string StoppedBeforeTheReport(const std::u16string& log, const char16_t* line) {
  return log.substr(0, log.find(u"■kvoの状態")) + line;
}

// The table's workspace: LayLists and b.kvo, which needs shoe.vac. Needed:
// base.vac (always), face.vac, hair.vac, shoe.vac; junk.vac, old.vac and
// spare.vac are not. Without a fault an execute run moves junk.vac and
// old.vac to Work and hair.vac to Plugin, and no preset lacks anything.
//
// Each row plans its faults (and whatever else it lays out) and gives the log
// and the archives that moved. A log ending in an empty line is a completed
// run's, any other an aborted one's. However the run returns, the start
// folder is current again.
TEST(FaultMatrix, PlannedFaults) {
  struct Row {
    const char* what;
    RunMode mode;
    std::function<void(RunWorkspace&, Ledger&)> plan;
    std::u16string log;
    Where moved;  // only the archives that moved: origin -> place now
  };
  auto read = [](const char* name, FileStatus status, bool shortRead = false) {
    return [=](RunWorkspace& ws, Ledger&) {
      const bool preset = std::string(name).find(".kvo") != std::string::npos;
      const fs::path path = (preset ? ws.Folder(kPreset) : ws.Root().path()) / name;
      ws.Fs().Add(shortRead ? ShortRead(S(path)) : FailRead(S(path), status));
    };
  };
  auto listing = [](int slot, int nth, int listed) {
    return [=](RunWorkspace& ws, Ledger&) {
      ws.Fs().Add(FailListing(S(ws.Folder(slot)), nth, listed));
    };
  };
  // A move out of `slot` (`name` in it, or any), or with no slot any move.
  auto move = [](int slot, const char* name, int nth, platform::MoveResult result) {
    return [=](RunWorkspace& ws, Ledger&) {
      fs::path source;
      if (slot >= 0) source = name[0] != 0 ? ws.Folder(slot) / name : ws.Folder(slot);
      ws.Fs().Add(FailMove(S(source), nth, result));
    };
  };
  const auto takenAway = [](RunWorkspace& ws, Ledger& ledger) {
    const fs::path aside = ws.Root().Sub("aside");
    ledger.Watch("aside", aside);
    WhileReadingPresets(ws, [&ws, aside] {
      fs::rename(ws.Folder(kPlugin) / "old.vac", aside / "old.vac");
      fs::rename(ws.Folder(kWork) / "hair.vac", aside / "hair.vac");
    });
  };
  const auto pluginTakenAway = [](RunWorkspace& ws, Ledger& ledger) {
    const fs::path aside = ws.Root().path() / "Plugin-taken";
    ledger.Watch("aside", aside);
    WhileReadingPresets(ws, [&ws, aside] { fs::rename(ws.Folder(kPlugin), aside); });
  };
  // Into a Plugin folder that is not there: the system's own error
  // (ERROR_PATH_NOT_FOUND, ENOENT).
#ifdef _WIN32
  const std::string noFolder = "エラー 3";
#else
  const std::string noFolder = "エラー 2";
#endif
  const std::string lacksHair = "→ 不足無し/不足有り = 1/1\r\na.kvo\r\n  - hair.vac\r\n";
  const std::string complete = "→ 不足無し/不足有り = 2/0\r\n";
  const Where allMoved = {{"Plugin/junk.vac", "Work/junk.vac"},
                          {"Plugin/old.vac", "Work/old.vac"},
                          {"Work/hair.vac", "Plugin/hair.vac"}};
  const Where pluginAside = {{"Plugin/base.vac", "aside/base.vac"},
                             {"Plugin/face.vac", "aside/face.vac"},
                             {"Plugin/junk.vac", "aside/junk.vac"},
                             {"Plugin/old.vac", "aside/old.vac"},
                             {"Plugin/shoe.vac", "aside/shoe.vac"}};
  const Row rows[] = {
      {"no fault", RunMode::kExecute, nullptr, RunLog("5/2/2", "2/0 1/0", complete), allMoved},
      {"no fault, check only", RunMode::kCheckOnly, nullptr, RunLog("5/2/2", "", lacksHair), {}},
      // Inputs that exist but cannot be read: read as empty or left out,
      // any of them would send an archive still needed to Work.
      {"IdList.txt", RunMode::kExecute, read("IdList.txt", FileStatus::kUnreadable),
       AbortedLog("IdList.txt"), {}},
      {"ExList.txt", RunMode::kExecute, read("ExList.txt", FileStatus::kUnreadable),
       AbortedLog("ExList.txt"), {}},
      {"ExList.txt is a folder", RunMode::kExecute, read("ExList.txt", FileStatus::kFolder),
       AbortedLog("ExList.txt"), {}},
      {"ExList.txt reads short", RunMode::kExecute,
       read("ExList.txt", FileStatus::kUnreadable, true), AbortedLog("ExList.txt"), {}},
      {"a preset", RunMode::kExecute, read("b.kvo", FileStatus::kUnreadable), AbortedLog("b.kvo"),
       {}},
      {"a preset reads short", RunMode::kExecute, read("b.kvo", FileStatus::kUnreadable, true),
       AbortedLog("b.kvo"), {}},
      {"two presets: the first in name order, named as listed", RunMode::kExecute,
       [](RunWorkspace& ws, Ledger&) {
         for (const char* name : {"c.kvo", "B2.kvo"}) {
           ws.Preset(name, {3});
           ws.Fs().Add(FailRead(S(ws.Folder(kPreset) / name), FileStatus::kUnreadable));
         }
       },
       AbortedLog("B2.kvo"), {}},
      // Folders that cannot be listed (to their end): what they hold is
      // unknown, and an unlistable Preset folder would send every archive
      // to Work.
      {"Plugin", RunMode::kExecute, listing(kPlugin, 1, 0), AbortedLog("Plugin:"), {}},
      {"Preset, ending after one name", RunMode::kExecute, listing(kPreset, 1, 1),
       AbortedLog("Preset:"), {}},
      {"Work", RunMode::kExecute, listing(kWork, 1, 0), AbortedLog("Work:"), {}},
      {"Preset no folder any more", RunMode::kExecute,
       [](RunWorkspace& ws, Ledger&) { ws.Fs().Add(Fail(FsOp::kIsFolder, S(ws.Folder(kPreset)))); },
       AbortedLog("Preset:"), {}},
      // A report against a failed second listing would say a.kvo lacks
      // everything: the run stops after the lines of the moves it made.
      {"Plugin the second time, after the moves", RunMode::kExecute, listing(kPlugin, 2, 0),
       StoppedBeforeTheReport(RunLog("5/2/2", "2/0 1/0", ""), u"Plugin: 読み込み失敗\r\n"),
       allMoved},
      {"Plugin the second time, check only", RunMode::kCheckOnly, listing(kPlugin, 2, 0),
       StoppedBeforeTheReport(RunLog("5/2/2", "", ""), u"Plugin: 読み込み失敗\r\n"), {}},
      // Taken away while presets are read.
      {"b.kvo removed: shoe.vac is needed no more", RunMode::kExecute,
       [](RunWorkspace& ws, Ledger&) {
         WhileReadingPresets(ws, [&ws] { fs::remove(ws.Folder(kPreset) / "b.kvo"); });
       },
       RunLog("5/2/2", "3/0 1/0", "→ 不足無し/不足有り = 1/0\r\n"),
       {{"Plugin/junk.vac", "Work/junk.vac"},
        {"Plugin/old.vac", "Work/old.vac"},
        {"Plugin/shoe.vac", "Work/shoe.vac"},
        {"Work/hair.vac", "Plugin/hair.vac"}}},
      // Renamed away (Windows refuses while it is current; other systems do
      // not): every preset still to read is unknown, not left out.
      {"the Preset folder gone", RunMode::kExecute, read("b.kvo", FileStatus::kNoFolder),
       AbortedLog("Preset:"), {}},
      {"archives taken away between listing and move", RunMode::kExecute, takenAway,
       RunLog("5/2/2", "1/1 0/1", lacksHair, Failed("old.vac", kGone), Failed("hair.vac", kGone)),
       {{"Plugin/junk.vac", "Work/junk.vac"},
        {"Plugin/old.vac", "aside/old.vac"},
        {"Work/hair.vac", "aside/hair.vac"}}},
      {"the Plugin folder taken away before its second listing", RunMode::kExecute,
       pluginTakenAway,
       StoppedBeforeTheReport(RunLog("5/2/2", "0/2 0/1", "",
                                     Failed("junk.vac", kGone) + Failed("old.vac", kGone),
                                     Failed("hair.vac", noFolder)),
                              u"Plugin: 読み込み失敗\r\n"),
       pluginAside},
      {"the Plugin folder taken away, check only", RunMode::kCheckOnly, pluginTakenAway,
       StoppedBeforeTheReport(RunLog("5/2/2", "", ""), u"Plugin: 読み込み失敗\r\n"), pluginAside},
      // Moves that fail are counted and named, leave both sides as they
      // were, and the run goes on with the rest.
      {"every move", RunMode::kExecute, move(-1, "", 0, {MoveStatus::kSystemError, 1117}),
       RunLog("5/2/2", "0/2 0/1", lacksHair,
              Failed("junk.vac", "エラー 1117") + Failed("old.vac", "エラー 1117"),
              Failed("hair.vac", "エラー 1117")),
       {}},
      {"the second out of Plugin", RunMode::kExecute,
       move(kPlugin, "", 2, {MoveStatus::kInUse, 32}),
       RunLog("5/2/2", "1/1 1/0", complete, Failed("old.vac", kInUse)),
       {{"Plugin/junk.vac", "Work/junk.vac"}, {"Work/hair.vac", "Plugin/hair.vac"}}},
      {"a needed archive in Work", RunMode::kExecute,
       move(kWork, "hair.vac", 0, {MoveStatus::kAccessDenied, 5}),
       RunLog("5/2/2", "2/0 0/1", lacksHair, "", Failed("hair.vac", kDenied)),
       {{"Plugin/junk.vac", "Work/junk.vac"}, {"Plugin/old.vac", "Work/old.vac"}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    RunWorkspace ws;
    LayLists(ws);
    ws.Preset("b.kvo", {3});
    Ledger ledger(ws);
    ledger.PutAll({{kPlugin, "base.vac"}, {kPlugin, "face.vac"}, {kPlugin, "junk.vac"},
                   {kPlugin, "old.vac"}, {kPlugin, "shoe.vac"}, {kWork, "hair.vac"},
                   {kWork, "spare.vac"}});
    if (row.plan) row.plan(ws, ledger);
    const bool completes = row.log.size() >= 4 && row.log.substr(row.log.size() - 4) == u"\r\n\r\n";
    EXPECT_EQ(ws.Run(row.mode), completes ? RunResult::kCompleted : RunResult::kAborted);
    EXPECT_EQ(ws.Log(), row.log);
    EXPECT_EQ(ledger.Now(), ledger.UnmovedBut(row.moved));
    EXPECT_EQ(platform::CurrentFolder(), platform::StartFolder());
  }
}

// Every reason a move can fail for has its line, under the counts of its
// phase, one per archive in the order tried, with the name as the source
// folder spells it (not as a list does).
TEST(FaultMatrix, EachFailedMoveIsNamedWithItsReason) {
  using platform::MoveStatus;
  const struct {
    MoveStatus status;
    std::uint32_t code;
    std::string reason;
  } cases[] = {
      {MoveStatus::kDestinationExists, 183, kExists},
      {MoveStatus::kInUse, 32, kInUse},
      {MoveStatus::kAccessDenied, 5, kDenied},
      {MoveStatus::kSourceGone, 2, kGone},
      {MoveStatus::kDiskFull, 112, kFull},
      {MoveStatus::kLinkAcrossVolumes, 0, kLink},
      {MoveStatus::kReadOnlyAcrossVolumes, 0, kReadOnly},
      {MoveStatus::kFolderAcrossVolumes, 0, kFolder},
      {MoveStatus::kPathTooLong, 0, kTooLong},
      {MoveStatus::kCloudUnavailable, 388, kCloud},
      {MoveStatus::kReplacedDuringMove, 0, kReplaced},
      {MoveStatus::kSystemError, 1117, "エラー 1117"},
      {MoveStatus::kSystemError, 4294967295u, "エラー 4294967295"},
  };
  RunWorkspace ws;
  ws.IdList("1,FACE.VAC\r\n");
  ws.Preset("a.kvo", {1});
  Ledger ledger(ws);
  std::string outFailed;
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const std::string name = "r" + std::to_string(10 + i) + ".vac";
    ledger.Put(kPlugin, name);
    ws.Fs().Add(FailMove(S(ws.Folder(kPlugin) / name), 0, {cases[i].status, cases[i].code}));
    outFailed += Failed(name, cases[i].reason);
  }
  ledger.Put(kWork, "face.vac");
  ws.Fs().Add(FailMove(S(ws.Folder(kWork) / "face.vac"), 0, {MoveStatus::kInUse, 33}));
  EXPECT_EQ(ws.Run(RunMode::kExecute), RunResult::kCompleted);
  EXPECT_EQ(ws.Log(), RunLog("13/1/1", "0/13 0/1",
                             "→ 不足無し/不足有り = 0/1\r\na.kvo\r\n  - FACE.VAC\r\n", outFailed,
                             Failed("face.vac", kInUse)));
  EXPECT_EQ(ledger.Now(), ledger.UnmovedBut());
}

}  // namespace
}  // namespace kvo::test
