// Whole runs under faults. Every fault the core must react to (a list,
// preset or folder that cannot be read, a listing that fails part-way, a
// move that fails, a file or folder taken away between listing and use) is
// planned through the run's file system (FaultyFileSystem), so each case
// runs the same natively, under the sanitizers and under Wine. Then odd
// files and long names, and last the few cases that need the real system:
// another file system, a run ended mid-copy, files held open, permissions.
// Every case checks the log, the counters and that each archive still
// exists exactly once with its bytes unchanged.
#include "gtest_support.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#ifndef _WIN32
#include <errno.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#ifdef _WIN32
#include <windows.h>
#endif

#include "fault_file_system.h"
#include "platform/platform.h"
#include "platform/system.h"
#include "preset/preset_reader.h"
#include "preset_builder.h"
#include "run_fixture.h"
#include "test_hooks.h"

namespace kvo::test {
namespace {

using Where = std::map<std::string, std::string>;

// The log of a completed run. `moves` is empty for a check-only run, else the
// two succeeded/failed pairs, e.g. "1/0 0/2"; `outFailed` and `inFailed` the
// failure lines under each (Failed).
std::u16string RunLog(const std::string& counts, const std::string& moves,
                      const std::string& report, const std::string& outFailed = "",
                      const std::string& inFailed = "") {
  std::string log = "■準備\r\n→ Plugin/Preset/Work = " + counts + "\r\n";
  if (!moves.empty()) {
    const std::size_t space = moves.find(' ');
    log += "■不要ファイルの移動(Plugin -> Work)\r\n→ 成功/失敗 = " + moves.substr(0, space) +
           "\r\n" + outFailed + "■必要ファイルの移動(Work -> Plugin)\r\n→ 成功/失敗 = " +
           moves.substr(space + 1) + "\r\n" + inFailed;
  }
  return U16(log + "■kvoの状態\r\n" + report + "\r\n");
}

// The reasons of the failure lines, as the log gives them.
const std::string kExists = "移動先に同じ名前のファイルがあります";
const std::string kInUse = "ほかのプログラムが使用中です";
const std::string kDenied = "アクセスが拒否されました";
const std::string kGone = "ファイルが見つかりません";
const std::string kFull = "移動先の空き容量が足りません";
const std::string kLink = "リンクのためドライブをまたいで移動しません";
const std::string kReadOnly = "読み取り専用のためドライブをまたいで移動しません";
const std::string kFolder = "フォルダのためドライブをまたいで移動しません";
const std::string kTooLong = "パスが長すぎます";
const std::string kCloud = "クラウドのファイルを取得できません";
const std::string kReplaced = "移動中にファイルが置き換えられました";

// One failure line.
std::string Failed(const std::string& name, const std::string& reason) {
  return "  - " + name + " (" + reason + ")\r\n";
}

// Every archive of a case gets bytes of its own, so that after a run each one
// can be found again, wherever it went, and a copy or a half copy shows.
class Ledger {
 public:
  explicit Ledger(RunWorkspace& ws) {
    folders_ = {{"Plugin", ws.Folder(kPlugin)}, {"Work", ws.Folder(kWork)}};
  }

  // An archive file of at least `size` bytes, or a sub-folder when `folder`.
  void Put(int slot, const std::string& name, std::size_t size = 0, bool folder = false) {
    std::string bytes = "archive " + std::to_string(archives_.size()) + ": " + name;
    if (bytes.size() < size) bytes.resize(size, static_cast<char>('a' + archives_.size() % 26));
    const fs::path path = FolderOf(slot) / fs::u8path(name);
    if (folder) {
      fs::create_directory(path);
      WriteText(path / "inside", bytes);
    } else {
      WriteText(path, bytes);
    }
    archives_[Label(slot) + "/" + name] = bytes;
  }
  // An empty archive (several would share their bytes; one per case).
  void PutEmpty(int slot, const std::string& name) {
    WriteText(FolderOf(slot) / fs::u8path(name), "");
    archives_[Label(slot) + "/" + name] = "";
  }
#ifndef _WIN32
  // A symbolic link to a file outside the watched folders (a shared library
  // file, say), with bytes of its own: found where the link is.
  void PutLink(int slot, const std::string& name, const fs::path& targetFolder) {
    const std::string bytes = "linked " + std::to_string(archives_.size()) + ": " + name;
    const fs::path target = targetFolder / fs::u8path(name + ".target");
    WriteText(target, bytes);
    fs::create_symlink(target, FolderOf(slot) / fs::u8path(name));
    archives_[Label(slot) + "/" + name] = bytes;
  }
#endif
  // Another place archives may end up in (taken away by "another program").
  void Watch(const std::string& label, const fs::path& folder) { folders_[label] = folder; }
  // The slot's folder now lies elsewhere (another file system).
  void Move(int slot, const fs::path& folder) { folders_[Label(slot)] = folder; }

  // Where each archive is now: original place -> current place, "(lost)" or
  // "(N copies)". Any other entry in the watched folders is a failure.
  Where Now() const {
    std::map<std::string, std::vector<std::string>> byBytes;
    for (const auto& [label, folder] : folders_) {
      if (!fs::exists(folder)) continue;
      for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string place = label + "/" + entry.path().filename().u8string();
        const bool dir = fs::is_directory(Verbatim(entry.path()));
        byBytes[ReadText(dir ? entry.path() / "inside" : entry.path())].push_back(place);
      }
    }
    Where out;
    for (const auto& [origin, bytes] : archives_) {
      auto it = byBytes.find(bytes);
      if (it == byBytes.end()) {
        out[origin] = "(lost)";
        continue;
      }
      out[origin] = it->second.size() == 1 ? it->second[0]
                                          : "(" + std::to_string(it->second.size()) + " copies)";
      byBytes.erase(it);
    }
    for (const auto& [bytes, places] : byBytes) {
      for (const auto& place : places) {
        ADD_FAILURE() << "unexpected entry " << place << " (" << bytes.size() << " bytes)";
      }
    }
    return out;
  }
  // Nothing moved.
  Where Unmoved() const {
    Where out;
    for (const auto& [origin, bytes] : archives_) out[origin] = origin;
    return out;
  }

 private:
  std::string Label(int slot) const { return slot == kPlugin ? "Plugin" : "Work"; }
  fs::path FolderOf(int slot) const { return folders_.at(Label(slot)); }

  std::map<std::string, fs::path> folders_;
  std::map<std::string, std::string> archives_;
};

// An ordinary workspace: face.vac (id 1) and hair.vac (id 2) are needed by
// a.kvo, base.vac always.
void LayLists(RunWorkspace& ws) {
  ws.IdList("1,face.vac\r\n2,hair.vac\r\n3,shoe.vac\r\n");
  ws.ExList("base.vac\r\n");
  ws.Preset("a.kvo", {1, 2});
}

#ifndef _WIN32
bool IsRoot() { return ::geteuid() == 0; }
#endif

// ---- destination already exists --------------------------------------------

TEST(FaultMatrix, DestinationAlreadyExistsInEachPhase) {
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
         l.Put(kPlugin, "old.vac");
         l.Put(kWork, "old.vac");
         l.Put(kPlugin, "junk.vac");
       },
       "2/2/1", "1/1 0/0", bothMissing, {{"Plugin/junk.vac", "Work/junk.vac"}},
       Failed("old.vac", kExists)},
      {"Work -> Plugin: a needed archive is in Plugin too",
       [](Ledger& l) {
         l.Put(kPlugin, "face.vac");
         l.Put(kWork, "face.vac");
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
    Where expected = ledger.Unmoved();
    for (const auto& [from, to] : c.after) expected[from] = to;
    EXPECT_EQ(ws.Run(RunMode::kExecute), RunResult::kCompleted);
    EXPECT_EQ(ws.Log(), RunLog(c.counts, c.moves, c.report, c.outFailed, c.inFailed));
    EXPECT_EQ(ledger.Now(), expected);
  }
}

// ---- files and folders taken away while a run works --------------------------

// What another program does while the run reads its first preset: after the
// folders were listed, before anything is moved or listed again.
void WhileReadingPresets(RunWorkspace& ws, std::function<void()> action) {
  ws.Fs().Add(Before(FsOp::kReadWholeFile, S(ws.Folder(kPreset)), 1, std::move(action)));
}

TEST(FaultMatrix, ArchivesTakenAwayBetweenListingAndMove) {
  RunWorkspace ws;
  LayLists(ws);
  Ledger ledger(ws);
  ledger.Put(kPlugin, "gone.vac");  // unneeded, taken away mid-run
  ledger.Put(kPlugin, "old.vac");   // unneeded
  ledger.Put(kWork, "face.vac");    // needed, taken away mid-run
  ledger.Put(kWork, "hair.vac");    // needed
  const fs::path aside = ws.Root().Sub("aside");
  ledger.Watch("aside", aside);
  WhileReadingPresets(ws, [&] {
    fs::rename(ws.Folder(kPlugin) / "gone.vac", aside / "gone.vac");
    fs::rename(ws.Folder(kWork) / "face.vac", aside / "face.vac");
  });
  EXPECT_EQ(ws.Run(RunMode::kExecute), RunResult::kCompleted);
  EXPECT_EQ(ws.Log(), RunLog("2/1/2", "1/1 1/1",
                             "→ 不足無し/不足有り = 0/1\r\na.kvo\r\n  - face.vac\r\n",
                             Failed("gone.vac", kGone), Failed("face.vac", kGone)));
  EXPECT_EQ(ledger.Now(), (Where{{"Plugin/gone.vac", "aside/gone.vac"},
                                 {"Plugin/old.vac", "Work/old.vac"},
                                 {"Work/face.vac", "aside/face.vac"},
                                 {"Work/hair.vac", "Plugin/hair.vac"}}));
}

TEST(FaultMatrix, PluginFolderTakenAwayBeforeTheSecondListing) {
  for (RunMode mode : {RunMode::kCheckOnly, RunMode::kExecute}) {
    SCOPED_TRACE(static_cast<int>(mode));
    RunWorkspace ws;
    LayLists(ws);
    Ledger ledger(ws);
    ledger.Put(kPlugin, "face.vac");
    ledger.Put(kPlugin, "old.vac");
    ledger.Put(kWork, "hair.vac");
    const fs::path aside = ws.Root().path() / "Plugin-taken";
    ledger.Watch("aside", aside);
    WhileReadingPresets(ws, [&] { fs::rename(ws.Folder(kPlugin), aside); });
    EXPECT_EQ(ws.Run(mode), RunResult::kAborted);
    // The second listing fails: a report against it would say a.kvo lacks
    // everything, so the run stops after the lines of the moves it tried.
    // Out of Plugin the source is gone; into it, the system's own error for
    // a destination folder that is not there (ERROR_PATH_NOT_FOUND, ENOENT).
#ifdef _WIN32
    const std::string noFolder = "エラー 3";
#else
    const std::string noFolder = "エラー 2";
#endif
    std::u16string log = RunLog("2/1/1", mode == RunMode::kExecute ? "0/1 0/1" : "", "",
                                Failed("old.vac", kGone), Failed("hair.vac", noFolder));
    log.resize(log.find(u"■kvoの状態"));
    EXPECT_EQ(ws.Log(), log + u"Plugin: 読み込み失敗\r\n");
    EXPECT_EQ(ledger.Now(), (Where{{"Plugin/face.vac", "aside/face.vac"},
                                   {"Plugin/old.vac", "aside/old.vac"},
                                   {"Work/hair.vac", "Work/hair.vac"}}));
  }
}

TEST(FaultMatrix, APresetOrItsFolderGoneWhilePresetsAreRead) {
  struct Case {
    const char* what;
    bool wholeFolder;
    RunResult result;
    std::u16string log;
    Where after;
  };
  const Case cases[] = {
      // Gone, b.kvo needs nothing any more: shoe.vac goes.
      {"b.kvo removed", false, RunResult::kCompleted,
       RunLog("2/2/0", "1/0 0/0", "→ 不足無し/不足有り = 0/1\r\na.kvo\r\n  - hair.vac\r\n"),
       {{"Plugin/face.vac", "Plugin/face.vac"}, {"Plugin/shoe.vac", "Work/shoe.vac"}}},
      // Renamed away (Windows refuses while it is current; other systems do
      // not): the system says the path is gone, and every preset still to
      // read is unknown, not left out.
      {"the Preset folder gone", true, RunResult::kAborted, u"■準備\r\nPreset: 読み込み失敗\r\n",
       {{"Plugin/face.vac", "Plugin/face.vac"}, {"Plugin/shoe.vac", "Plugin/shoe.vac"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RunWorkspace ws;
    LayLists(ws);
    ws.Preset("b.kvo", {3});
    Ledger ledger(ws);
    ledger.Put(kPlugin, "face.vac");
    ledger.Put(kPlugin, "shoe.vac");
    const fs::path b = ws.Folder(kPreset) / "b.kvo";
    if (c.wholeFolder) {
      ws.Fs().Add(FailRead(S(b), platform::FileStatus::kNoFolder));
    } else {
      WhileReadingPresets(ws, [&] { fs::remove(b); });
    }
    EXPECT_EQ(ws.Run(RunMode::kExecute), c.result);
    EXPECT_EQ(ws.Log(), c.log);
    EXPECT_EQ(ledger.Now(), c.after);
  }
}

// ---- folders that cannot be listed, moves that fail ----------------------------

TEST(FaultMatrix, FoldersThatCannotBeListedToTheirEnd) {
  // Any listing taken as complete when it is not would decide on a guess:
  // an unlistable Preset folder would send every archive to Work.
  struct Case {
    const char* what;
    std::function<Fault(RunWorkspace&)> fault;
    RunMode mode;
    std::u16string log;  // the run's log after "■準備\r\n"
    Where after;         // only the archives that moved
  };
  auto listing = [](int slot, int nth, int listed) {
    return [=](RunWorkspace& ws) { return FailListing(S(ws.Folder(slot)), nth, listed); };
  };
  const std::u16string moved = u"→ Plugin/Preset/Work = 2/1/1\r\n"
                               u"■不要ファイルの移動(Plugin -> Work)\r\n→ 成功/失敗 = 1/0\r\n"
                               u"■必要ファイルの移動(Work -> Plugin)\r\n→ 成功/失敗 = 1/0\r\n";
  const Case cases[] = {
      {"Plugin", listing(kPlugin, 1, 0), RunMode::kExecute, u"Plugin: 読み込み失敗\r\n", {}},
      {"Preset, ending after one name", listing(kPreset, 1, 1), RunMode::kExecute,
       u"Preset: 読み込み失敗\r\n", {}},
      {"Work", listing(kWork, 1, 0), RunMode::kExecute, u"Work: 読み込み失敗\r\n", {}},
      {"Preset no folder any more",
       [](RunWorkspace& ws) {
         Fault fault;
         fault.op = FsOp::kIsFolder;
         fault.path = S(ws.Folder(kPreset));
         return fault;
       },
       RunMode::kExecute, u"Preset: 読み込み失敗\r\n", {}},
      {"Plugin the second time, after the moves", listing(kPlugin, 2, 0), RunMode::kExecute,
       moved + u"Plugin: 読み込み失敗\r\n",
       {{"Plugin/old.vac", "Work/old.vac"}, {"Work/hair.vac", "Plugin/hair.vac"}}},
      {"Plugin the second time, check only", listing(kPlugin, 2, 0), RunMode::kCheckOnly,
       u"→ Plugin/Preset/Work = 2/1/1\r\nPlugin: 読み込み失敗\r\n", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RunWorkspace ws;
    LayLists(ws);
    Ledger ledger(ws);
    ledger.Put(kPlugin, "base.vac");
    ledger.Put(kPlugin, "old.vac");
    ledger.Put(kWork, "hair.vac");
    ws.Fs().Add(c.fault(ws));
    EXPECT_EQ(ws.Run(c.mode), RunResult::kAborted);
    EXPECT_EQ(ws.Log(), u"■準備\r\n" + c.log);
    Where expected = ledger.Unmoved();
    for (const auto& [from, to] : c.after) expected[from] = to;
    EXPECT_EQ(ledger.Now(), expected);
  }
}

TEST(FaultMatrix, MovesThatFail) {
  // A move that fails is counted and named and leaves both sides as they
  // were (a folder that cannot be written, a source held by another
  // program); the run goes on with the rest.
  using platform::MoveStatus;
  struct Case {
    const char* what;
    std::function<Fault(RunWorkspace&)> fault;
    std::string moves, report;
    Where after;  // only the archives that moved
    std::string outFailed = "", inFailed = "";
  };
  const Case cases[] = {
      {"every move",
       [](RunWorkspace&) { return FailMove(u"", 0, {MoveStatus::kSystemError, 1117}); },
       "0/2 0/2", "→ 不足無し/不足有り = 0/1\r\na.kvo\r\n  - face.vac\r\n  - hair.vac\r\n", {},
       Failed("junk.vac", "エラー 1117") + Failed("old.vac", "エラー 1117"),
       Failed("face.vac", "エラー 1117") + Failed("hair.vac", "エラー 1117")},
      {"the second out of Plugin",
       [](RunWorkspace& ws) {
         return FailMove(S(ws.Folder(kPlugin)), 2, {MoveStatus::kInUse, 32});
       },
       "1/1 2/0", "→ 不足無し/不足有り = 1/0\r\n",
       {{"Plugin/junk.vac", "Work/junk.vac"},
        {"Work/face.vac", "Plugin/face.vac"},
        {"Work/hair.vac", "Plugin/hair.vac"}},
       Failed("old.vac", kInUse)},
      {"a needed archive in Work",
       [](RunWorkspace& ws) {
         return FailMove(S(ws.Folder(kWork) / "face.vac"), 0, {MoveStatus::kAccessDenied, 5});
       },
       "2/0 1/1", "→ 不足無し/不足有り = 0/1\r\na.kvo\r\n  - face.vac\r\n",
       {{"Plugin/junk.vac", "Work/junk.vac"},
        {"Plugin/old.vac", "Work/old.vac"},
        {"Work/hair.vac", "Plugin/hair.vac"}},
       "", Failed("face.vac", kDenied)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RunWorkspace ws;
    LayLists(ws);
    Ledger ledger(ws);
    ledger.Put(kPlugin, "base.vac");   // needed, stays
    ledger.Put(kPlugin, "junk.vac");   // unneeded
    ledger.Put(kPlugin, "old.vac");    // unneeded
    ledger.Put(kWork, "face.vac");     // needed
    ledger.Put(kWork, "hair.vac");     // needed
    ledger.Put(kWork, "spare.vac");    // unneeded, stays
    ws.Fs().Add(c.fault(ws));
    EXPECT_EQ(ws.Run(RunMode::kExecute), RunResult::kCompleted);
    EXPECT_EQ(ws.Log(), RunLog("3/1/3", c.moves, c.report, c.outFailed, c.inFailed));
    Where expected = ledger.Unmoved();
    for (const auto& [from, to] : c.after) expected[from] = to;
    EXPECT_EQ(ledger.Now(), expected);
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
  EXPECT_EQ(ledger.Now(), ledger.Unmoved());
}

// ---- inputs that exist but cannot be read --------------------------------------

TEST(FaultMatrix, InputsThatExistButCannotBeReadStopTheRun) {
  // a.kvo needs face.vac and hair.vac, b.kvo shoe.vac; base.vac is always
  // needed. Any of these read as empty or left out would send an archive
  // still needed to Work.
  using platform::FileStatus;
  struct Case {
    const char* what;
    std::vector<std::string> targets;  // "IdList.txt", "ExList.txt" or presets in Preset
    FileStatus status;
    bool shortRead;
    std::string line;  // the run's last line
  };
  const Case cases[] = {
      {"IdList.txt", {"IdList.txt"}, FileStatus::kUnreadable, false, "IdList.txt"},
      {"ExList.txt", {"ExList.txt"}, FileStatus::kUnreadable, false, "ExList.txt"},
      {"ExList.txt is a folder", {"ExList.txt"}, FileStatus::kFolder, false, "ExList.txt"},
      {"ExList.txt reads short", {"ExList.txt"}, FileStatus::kUnreadable, true, "ExList.txt"},
      {"a preset", {"b.kvo"}, FileStatus::kUnreadable, false, "b.kvo"},
      {"a preset reads short", {"b.kvo"}, FileStatus::kUnreadable, true, "b.kvo"},
      // The first in name order, named as listed.
      {"two presets", {"c.kvo", "B2.kvo"}, FileStatus::kUnreadable, false, "B2.kvo"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RunWorkspace ws;
    LayLists(ws);
    ws.Preset("b.kvo", {3});
    Ledger ledger(ws);
    ledger.Put(kPlugin, "base.vac");
    ledger.Put(kPlugin, "face.vac");
    ledger.Put(kPlugin, "shoe.vac");
    ledger.Put(kPlugin, "old.vac");
    ledger.Put(kWork, "hair.vac");
    const bool preset = c.line.size() > 4 && c.line.substr(c.line.size() - 4) == ".kvo";
    for (const std::string& target : c.targets) {
      if (preset && target != "b.kvo") ws.Preset(target, {3});
      const fs::path path = (preset ? ws.Folder(kPreset) : ws.Root().path()) / target;
      ws.Fs().Add(c.shortRead ? ShortRead(S(path)) : FailRead(S(path), c.status));
    }
    EXPECT_EQ(ws.Run(RunMode::kExecute), RunResult::kAborted);
    EXPECT_EQ(ws.Log(), U16("■準備\r\n" + c.line + ": 読み込み失敗\r\n"));
    EXPECT_EQ(ledger.Now(), ledger.Unmoved());
    // Presets are read with their folder current; the start folder is
    // current again once the run has stopped.
    EXPECT_EQ(platform::CurrentFolder(), platform::StartFolder());
  }

  // Still no reason to stop: no ExList.txt at all (nothing is always
  // needed), and a folder named like a preset.
  RunWorkspace ws;
  LayLists(ws);
  fs::remove(ws.Root().path() / "ExList.txt");
  fs::create_directory(ws.Folder(kPreset) / "b.kvo");
  Ledger ledger(ws);
  ledger.Put(kPlugin, "base.vac");
  ledger.Put(kPlugin, "face.vac");
  EXPECT_EQ(ws.Run(RunMode::kExecute), RunResult::kCompleted);
  EXPECT_EQ(ws.Log(), RunLog("2/2/0", "1/0 0/0",
                             "→ 不足無し/不足有り = 0/1\r\na.kvo\r\n  - hair.vac\r\n"));
  EXPECT_EQ(ledger.Now(), (Where{{"Plugin/base.vac", "Work/base.vac"},
                                 {"Plugin/face.vac", "Plugin/face.vac"}}));
}

// ---- odd files ----------------------------------------------------------------------

TEST(FaultMatrix, EmptyFilesAndAFolderNamedLikeAPreset) {
  {
    SCOPED_TRACE("empty IdList.txt");
    RunWorkspace ws;
    LayLists(ws);
    ws.IdList("");
    Ledger ledger(ws);
    ledger.Put(kPlugin, "old.vac");
    EXPECT_EQ(ws.Run(RunMode::kExecute), RunResult::kAborted);
    EXPECT_EQ(ws.Log(), u"■準備\r\nIdList.txt: 読み込み失敗\r\n");
    EXPECT_EQ(ledger.Now(), ledger.Unmoved());
  }
  RunWorkspace ws;
  LayLists(ws);
  ws.ExList("");
  WriteText(ws.Folder(kPreset) / "empty.kvo", "");
  fs::create_directory(ws.Folder(kPreset) / "x.kvo");
  Ledger ledger(ws);
  ledger.PutEmpty(kPlugin, "base.vac");  // no longer always needed: ExList.txt is empty
  ledger.Put(kPlugin, "face.vac");
  ledger.Put(kWork, "hair.vac");
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
TEST(FaultMatrix, ListsHoldingANulStopTheRun) {
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
      ledger.Put(kPlugin, "base.vac");
      ledger.Put(kPlugin, "face.vac");
      ledger.Put(kWork, "hair.vac");
      const RunResult result = ws.Run(mode);
      if (c.line == nullptr) {
        EXPECT_EQ(result, RunResult::kCompleted);
        continue;
      }
      EXPECT_EQ(result, RunResult::kAborted);
      EXPECT_EQ(ws.Log(), U16(std::string("■準備\r\n") + c.line + ": 読み込み失敗\r\n"));
      EXPECT_EQ(ws.Fs().Calls(FsOp::kFindFiles), 0);
      EXPECT_EQ(ledger.Now(), ledger.Unmoved());
    }
  }
}

// Names that Windows, asked without care, takes for something else: a
// device (CON, NUL, COM1, LPT1, AUX in any case, with any extension) or the
// parent folder (a folder named "..plug"). Each is the file or folder it
// names, under Wine as natively, where they are ordinary names.
TEST(FaultMatrix, NamesWindowsCouldTakeForDevicesOrTheParentFolder) {
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
    const Where unmoved = ledger.Unmoved();
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

TEST(FaultMatrix, APresetOverOneHundredMegabytes) {
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
  EXPECT_EQ(ledger.Now(), ledger.Unmoved());
  std::printf("a %llu-byte preset read in %.2f s\n", static_cast<unsigned long long>(size),
              seconds);
  ResetPresetReadBuffer();
}

// The ANSI code page of this process, as far as the lists are concerned.
std::string ListEncoding() {
  std::u16string out;
  if (platform::AnsiToUtf16("\x94\xaf", 2, out) && out == u"\u9AEA") return "Shift-JIS";
  if (platform::AnsiToUtf16("\xE9\xAB\xAA", 3, out) && out == u"\u9AEA") return "UTF-8";
  return "other";
}

// ---- long names and deep folders ----------------------------------------------------

TEST(FaultMatrix, NamesOf259And260Units) {
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
  EXPECT_EQ(ledger.Now(), ledger.Unmoved());
}

// Makes `root`/d.../leaf so that the whole path is exactly `units` UTF-16 units.
fs::path FolderOfLength(const fs::path& root, std::size_t units) {
  fs::path path = root;
  std::size_t length = S(root).size();
  while (length + 1 < units) {
    const std::size_t left = units - length - 1;  // units after the next separator
    // Each component at most 100 units, and never leave a remainder of 0.
    std::size_t component = left > 100 ? (left - 100 >= 2 ? 100 : 50) : left;
    path /= std::string(component, 'd');
    length += 1 + component;
  }
  fs::create_directories(path);
  EXPECT_EQ(S(path).size(), units);
  return path;
}

TEST(FaultMatrix, FolderPathsNearTheLimit) {
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
      ledger.Put(kPlugin, "hair.vac");
      ledger.Put(kWork, "face.vac");
    } else {
      ledger.Put(kPlugin, "a.vac");
      ledger.Put(kPlugin, "ab.vac");
      ledger.Put(kPlugin, "hair.vac");
    }
    if (c.aborted.empty()) {
      EXPECT_EQ(ws.Run(RunMode::kExecute), RunResult::kCompleted);
      EXPECT_EQ(ws.Log(), RunLog(c.counts, c.moves, c.report, c.outFailed));
    } else {
      EXPECT_EQ(ws.Run(RunMode::kExecute), RunResult::kAborted);
      EXPECT_EQ(ws.Log(), U16("■準備\r\n" + c.aborted));
    }
    Where expected = ledger.Unmoved();
    for (const auto& [from, to] : c.after) expected[from] = to;
    EXPECT_EQ(ledger.Now(), expected);
  }
}

// ---- Japanese names ---------------------------------------------------------------

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
  Where expected = ledger.Unmoved();
  expected["Plugin/" + file.old + ".vac"] = "Work/" + file.old + ".vac";
  expected["Work/" + file.body + ".vac"] = "Plugin/" + file.body + ".vac";
  EXPECT_EQ(ledger.Now(), expected);
}

TEST(FaultMatrix, JapaneseNamesInUtf8Lists) { RunJapanese(kUtf8); }

TEST(FaultMatrix, JapaneseNamesInShiftJisListsUnderCodePage932) {
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
      "' --gtest_filter=FaultMatrix.JapaneseNamesInShiftJisListsUnderCodePage932 2>&1";
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

// ---- the real system: moves across file systems, files held open, permissions ----
//
// These cases are about what the platform files do on a real system, which
// no planned fault can stand in for.

#ifndef _WIN32
// A tmpfs mounted over a folder for the life of the object.
class Tmpfs {
 public:
  Tmpfs(const fs::path& folder, const std::string& options) : folder_(folder) {
    mounted_ = ::mount("kvo-test", folder.c_str(), "tmpfs", 0, options.c_str()) == 0;
    if (!mounted_) why_ = std::string("cannot mount a tmpfs: ") + std::strerror(errno);
  }
  ~Tmpfs() {
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
  }
  bool Mounted() const { return mounted_; }
  const std::string& Why() const { return why_; }

 private:
  fs::path folder_;
  bool mounted_ = false;
  std::string why_;
};

dev_t DeviceOf(const fs::path& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_dev : 0;
}
#endif

// A folder outside the workspace, removed with everything in it at the end.
struct RemovedOnExit {
  fs::path path;
  ~RemovedOnExit() {
    std::error_code ignored;
    if (!path.empty()) fs::remove_all(Verbatim(path), ignored);
  }
};

// The Work folder of a workspace on another file system for the life of the
// object: natively a tmpfs mounted over it, else a folder in /dev/shm when
// that is another file system; under Wine a folder in /dev/shm through the
// Z: drive, where a rename from the workspace fails with
// ERROR_NOT_SAME_DEVICE as it does between two volumes on Windows.
class WorkElsewhere {
 public:
  WorkElsewhere(RunWorkspace& ws, const std::string& size) {
    const std::string name = "kvo-work-" + ws.Root().path().filename().u8string();
#ifdef _WIN32
    (void)size;
    const fs::path shm = "Z:\\dev\\shm";
    if (!fs::is_directory(shm)) {
      why_ = "no /dev/shm to put the Work folder on";
      return;
    }
    folder_ = shm / name;
    fs::create_directory(folder_);
    cleanup_.path = folder_;
    // What the move relies on: the system refuses to rename across, and says why.
    const fs::path probe = ws.Folder(kPlugin) / "probe";
    WriteText(probe, "probe");
    const BOOL moved = MoveFileExW(probe.c_str(), (folder_ / "probe").c_str(), 0);
    const DWORD error = GetLastError();
    fs::remove(probe);
    fs::remove(folder_ / "probe");
    if (moved) {
      why_ = "/dev/shm is on the same file system here";
      return;
    }
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_NOT_SAME_DEVICE));
#else
    tmpfs_ = std::make_unique<Tmpfs>(ws.Folder(kWork), "size=" + size + ",mode=0755");
    folder_ = ws.Folder(kWork);
    if (!tmpfs_->Mounted()) {
      // No mounting here: /dev/shm will do when it is another file system.
      if (!fs::is_directory("/dev/shm") || DeviceOf("/dev/shm") == DeviceOf(ws.Root().path())) {
        why_ = tmpfs_->Why() + ", and /dev/shm is no other file system";
        return;
      }
      folder_ = fs::path("/dev/shm") / name;
      fs::create_directory(folder_);
      cleanup_.path = folder_;
      std::printf("note: %s; the Work folder is in /dev/shm\n", tmpfs_->Why().c_str());
    }
    EXPECT_NE(DeviceOf(folder_), DeviceOf(ws.Folder(kPlugin)));
#endif
    ws.SetFolder(kWork, S(folder_));
    ready_ = true;
  }
  bool Ready() const { return ready_; }
  const std::string& Why() const { return why_; }
  const fs::path& Folder() const { return folder_; }

 private:
#ifndef _WIN32
  std::unique_ptr<Tmpfs> tmpfs_;
#endif
  RemovedOnExit cleanup_;
  fs::path folder_;
  std::string why_;
  bool ready_ = false;
};

TEST(FaultMatrix, WorkFolderOnAnotherFileSystem) {
  RunWorkspace ws;
  LayLists(ws);
  ws.Preset("b.kvo", {3});
  WorkElsewhere elsewhere(ws, "4m");
  if (!elsewhere.Ready()) GTEST_SKIP() << elsewhere.Why();
  const fs::path other = elsewhere.Folder();
  Ledger ledger(ws);
  ledger.Move(kWork, other);
  ledger.Put(kPlugin, "base.vac");              // needed, stays
  ledger.Put(kPlugin, "old.vac", 100000);       // unneeded: copied across, then removed
  ledger.PutEmpty(kPlugin, "empty.vac");        // unneeded, no bytes at all
  ledger.Put(kPlugin, "COM1.vac", 30000);       // unneeded, named for a device
  ledger.Put(kPlugin, "dir.vac", 0, true);      // a folder: not moved across
  ledger.Put(kPlugin, "twice.vac");             // unneeded, Work has one too
  ledger.Put(kWork, "twice.vac");
  ledger.Put(kWork, "face.vac", 70000);         // needed: copied across
  ledger.Put(kWork, "spare.vac");               // unneeded, stays
  // Read-only: it could not be removed after the copy, so it is not copied.
  ledger.Put(kPlugin, "locked.vac", 50000);
  const auto readOnly = [](const fs::path& file, bool on) {
    fs::permissions(file, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    on ? fs::perm_options::remove : fs::perm_options::add);
  };
  const fs::path locked = ws.Folder(kPlugin) / "locked.vac";
  readOnly(locked, true);
  // Read-only too, but the name taken in Work is what the line says.
  readOnly(ws.Folder(kPlugin) / "twice.vac", true);
  // What the copy keeps of the archive beside its bytes.
#ifdef _WIN32
  ASSERT_TRUE(SetFileAttributesW((ws.Folder(kPlugin) / "old.vac").c_str(), FILE_ATTRIBUTE_HIDDEN));
#else
  fs::permissions(ws.Folder(kPlugin) / "old.vac", fs::perms::owner_read | fs::perms::owner_write |
                                                      fs::perms::others_read);
#endif
  // Names too long for a path in either folder: a folder is still refused
  // as a folder across file systems, a file for its path.
  const std::string longFolder = std::string(240, 'd') + ".vac";
  const std::string longFile = std::string(240, 'f') + ".vac";
  ledger.Put(kPlugin, longFolder, 0, true);
  ledger.Put(kPlugin, longFile);
  // A folder is never moved across file systems; Wine refuses it too.
  std::string moves = "3/5 1/0";
  std::string failed = Failed(longFolder, kFolder) + Failed("dir.vac", kFolder) +
                       Failed(longFile, kTooLong) + Failed("locked.vac", kReadOnly) +
                       Failed("twice.vac", kExists);
#ifndef _WIN32
  // A link is neither followed nor moved: its target lies outside.
  const fs::path outside = ws.Root().Sub("shared");
  ledger.PutLink(kPlugin, "link.vac", outside);
  moves = "3/6 1/0";
  failed = Failed(longFolder, kFolder) + Failed("dir.vac", kFolder) + Failed(longFile, kTooLong) +
           Failed("link.vac", kLink) + Failed("locked.vac", kReadOnly) +
           Failed("twice.vac", kExists);
#endif
  EXPECT_EQ(ws.Run(RunMode::kExecute), RunResult::kCompleted);
  readOnly(locked, false);
  readOnly(ws.Folder(kPlugin) / "twice.vac", false);
#ifndef _WIN32
  EXPECT_TRUE(fs::is_symlink(ws.Folder(kPlugin) / "link.vac"));
  EXPECT_EQ(ReadText(outside / "link.vac.target"), "linked 12: link.vac");
#endif
  EXPECT_EQ(ws.Log(), RunLog(
#ifndef _WIN32
                         "10/2/3",
#else
                         "9/2/3",
#endif
                         moves,
                             "→ 不足無し/不足有り = 0/2\r\na.kvo\r\n  - hair.vac\r\n"
                             "b.kvo\r\n  - shoe.vac\r\n",
                         failed));
  Where expected = ledger.Unmoved();
  expected["Plugin/old.vac"] = "Work/old.vac";
  expected["Plugin/empty.vac"] = "Work/empty.vac";
  expected["Plugin/COM1.vac"] = "Work/COM1.vac";
  expected["Work/face.vac"] = "Plugin/face.vac";
  // No temporary file is left in either folder (the ledger fails on strays).
  EXPECT_EQ(ledger.Now(), expected);
  EXPECT_EQ(fs::file_size(ws.Folder(kPlugin) / "face.vac"), 70000u);
#ifdef _WIN32
  EXPECT_EQ(GetFileAttributesW((other / "old.vac").c_str()) & FILE_ATTRIBUTE_HIDDEN,
            static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
#else
  EXPECT_EQ(fs::status(other / "old.vac").permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
#endif
}

// A copy to another file system into a folder so deep that its temporary's
// path ("kvoXXXX.tmp" is longer than the archive's name) passes 260 units:
// Windows then needs the temporary named in the "\\?\" form (Wine does not,
// but the form must still name the right file), and GetTempFileNameW, which
// refuses such a folder on Windows, is not used. The archive still moves.
TEST(FaultMatrix, ACopyAcrossFileSystemsIntoADeepFolder) {
  RunWorkspace ws;
  LayLists(ws);
  WorkElsewhere elsewhere(ws, "4m");
  if (!elsewhere.Ready()) GTEST_SKIP() << elsewhere.Why();
  const fs::path deep = FolderOfLength(elsewhere.Folder(), 252);
  ws.SetFolder(kWork, S(deep));
  Ledger ledger(ws);
  ledger.Move(kWork, deep);
  ledger.Put(kPlugin, "a.vac", 100000);  // 252 + "\a.vac": 258 units
  EXPECT_EQ(ws.Run(RunMode::kExecute), RunResult::kCompleted);
  EXPECT_EQ(ws.Log(), RunLog("1/1/0", "1/0 0/0",
                             "→ 不足無し/不足有り = 0/1\r\na.kvo\r\n  - face.vac\r\n"
                             "  - hair.vac\r\n"));
  EXPECT_EQ(ledger.Now(), (Where{{"Plugin/a.vac", "Work/a.vac"}}));
}

// The session ends while an archive is copied to another file system: the
// copy is given up at its next block, its temporary removed, the source
// left whole, and the run ends there, aborted, after the phase's counts.
TEST(FaultMatrix, AStopDuringACopyAcrossFileSystemsRemovesTheTemporary) {
  RunWorkspace ws;
  LayLists(ws);
  WorkElsewhere elsewhere(ws, "4m");
  if (!elsewhere.Ready()) GTEST_SKIP() << elsewhere.Why();
  Ledger ledger(ws);
  ledger.Move(kWork, elsewhere.Folder());
  ledger.Put(kPlugin, "old.vac", 200000);
  platform::StopFlag stop{false};
  ws.Fs().Add(Before(FsOp::kMoveNoReplace, S(ws.Folder(kPlugin)), 1, [&] { stop = true; }));
  EXPECT_EQ(ws.Run(RunMode::kExecute, nullptr, &stop), RunResult::kAborted);
  EXPECT_EQ(ws.Log(), u"■準備\r\n→ Plugin/Preset/Work = 1/1/0\r\n"
                      u"■不要ファイルの移動(Plugin -> Work)\r\n→ 成功/失敗 = 0/0\r\n");
  EXPECT_EQ(ledger.Now(), ledger.Unmoved());  // and no temporary in Work
}

// Runs an execute run on folders laid out by another process: the side
// lists in `root`, Plugin and Preset under it, Work at `work`.
int RunOn(const fs::path& root, const fs::path& work) {
  FaultyFileSystem system;
  system.SetExeFolder(S(root));
  MemoryPane pane;
  SettingsRecord record{};
  const fs::path folders[kFolderSlotCount] = {root / "Plugin", root / "Preset", work};
  for (int slot = 0; slot < kFolderSlotCount; ++slot) {
    const std::u16string path = S(folders[slot]);
    path.copy(record.paths[slot], kMaxPath - 1);
  }
  return static_cast<int>(RunReconciliation(system, pane, record, RunMode::kExecute));
}

#ifdef _WIN32
std::wstring Environment(const wchar_t* name) {
  wchar_t value[kMaxPath] = {};
  const DWORD n = GetEnvironmentVariableW(name, value, kMaxPath);
  return n > 0 && n < kMaxPath ? std::wstring(value) : std::wstring();
}
#endif

// The run ended (the user ends a program that shows no response) while it
// copies an archive to another file system: no archive may be left cut short
// under its final name, where the host application would load it and later
// runs would count it as present. The run goes on in a second process, which
// is ended as soon as anything shows up in its Work folder.
TEST(FaultMatrix, ARunEndedDuringACopyAcrossFileSystemsLeavesNoPartialArchive) {
#ifdef _WIN32
  // The second process: this test again, told where to run.
  const std::wstring childRoot = Environment(L"KVO_CHILD_ROOT");
  if (!childRoot.empty()) {
    RunOn(childRoot, Environment(L"KVO_CHILD_WORK"));
    return;
  }
#endif
  constexpr std::size_t kSize = 128u << 20;
  RunWorkspace ws;
  ws.IdList("1,face.vac\r\n");
  WorkElsewhere elsewhere(ws, "256m");
  if (!elsewhere.Ready()) GTEST_SKIP() << elsewhere.Why();
  const fs::path work = elsewhere.Folder();
  const fs::path source = ws.Folder(kPlugin) / "big.vac";  // unneeded: goes to Work
  WriteText(source, std::string(kSize, 'b'));

#ifdef _WIN32
  wchar_t self[kMaxPath] = {};
  GetModuleFileNameW(nullptr, self, kMaxPath);
  std::wstring command =
      L"\"" + std::wstring(self) +
      L"\" --gtest_filter=FaultMatrix.ARunEndedDuringACopyAcrossFileSystemsLeavesNoPartialArchive";
  SetEnvironmentVariableW(L"KVO_CHILD_ROOT", ws.Root().path().c_str());
  SetEnvironmentVariableW(L"KVO_CHILD_WORK", work.c_str());
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child = {};
  const BOOL started = CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                                      nullptr, &startup, &child);
  SetEnvironmentVariableW(L"KVO_CHILD_ROOT", nullptr);
  SetEnvironmentVariableW(L"KVO_CHILD_WORK", nullptr);
  ASSERT_TRUE(started);
  auto ended = [&] { return WaitForSingleObject(child.hProcess, 0) == WAIT_OBJECT_0; };
  auto end = [&] {
    TerminateProcess(child.hProcess, 1);
    WaitForSingleObject(child.hProcess, INFINITE);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
  };
#else
  std::fflush(nullptr);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) ::_exit(RunOn(ws.Root().path(), work));
  int status = 0;
  auto ended = [&] { return ::waitpid(child, &status, WNOHANG) == child; };
  bool reaped = false;
  auto end = [&] {
    ::kill(child, SIGKILL);
    if (!reaped) ::waitpid(child, &status, 0);
  };
#endif
  std::string seen;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (seen.empty() && std::chrono::steady_clock::now() < deadline) {
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(work, ignored)) {
      seen = entry.path().filename().u8string();
      break;
    }
    if (seen.empty() && ended()) {
#ifndef _WIN32
      reaped = true;
#endif
      break;
    }
  }
  end();
  std::printf("first entry seen in Work: %s\n", seen.empty() ? "(none)" : seen.c_str());

  // Under its final name an archive is whole; the source goes only after.
  bool whole = false;
  for (const auto& entry : fs::directory_iterator(work)) {
    const std::u16string name = S(entry.path().filename());
    if (!platform::MatchesPattern(u"*.vac", name)) continue;
    EXPECT_EQ(fs::file_size(entry.path()), kSize) << U8(name) << " is cut short";
    whole = whole || fs::file_size(entry.path()) == kSize;
  }
  if (!whole) {
    ASSERT_TRUE(fs::exists(source));
    EXPECT_EQ(fs::file_size(source), kSize);
  }
}

#ifndef _WIN32
// Makes a folder immutable (root only) for the life of the object: nothing in
// it can be removed, as a folder another user owns.
class Immutable {
 public:
  explicit Immutable(const fs::path& folder) : folder_(folder) { done_ = Set(true); }
  ~Immutable() {
    if (done_) Set(false);
  }
  bool Done() const { return done_; }

 private:
  bool Set(bool on) {
    const int fd = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int flags = 0;
    bool ok = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    ok = ok && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    if (fd >= 0) ::close(fd);
    return ok;
  }
  fs::path folder_;
  bool done_ = false;
};

TEST(FaultMatrix, CopyAcrossFileSystemsThatFailsLeavesNoTrace) {
  struct Case {
    const char* what;
    std::size_t size;      // of the unneeded archive
    bool lockPlugin;       // its source cannot be removed after the copy
    std::string moves, reason;
  };
  const Case cases[] = {
      {"destination file system full", 300000, false, "0/1 0/0", kFull},
      {"source folder not writable: the finished copy is taken back", 1000, true, "0/1 0/0",
       kDenied},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RunWorkspace ws;
    LayLists(ws);
    Tmpfs tmpfs(ws.Folder(kWork), "size=64k,mode=0755");
    if (!tmpfs.Mounted()) {
      GTEST_SKIP() << "a full file system needs a tmpfs of our own: " << tmpfs.Why();
    }
    Ledger ledger(ws);
    ledger.Put(kPlugin, "big.vac", c.size);
    ledger.Put(kPlugin, "base.vac");
    std::unique_ptr<Immutable> lock;
    if (c.lockPlugin) {
      lock = std::make_unique<Immutable>(ws.Folder(kPlugin));
      if (!lock->Done()) GTEST_SKIP() << "cannot set the immutable flag: " << std::strerror(errno);
    }
    EXPECT_EQ(ws.Run(RunMode::kExecute), RunResult::kCompleted);
    EXPECT_EQ(ws.Log(), RunLog("2/1/0", c.moves,
                               "→ 不足無し/不足有り = 0/1\r\na.kvo\r\n  - face.vac\r\n"
                               "  - hair.vac\r\n",
                               Failed("big.vac", c.reason)));
    lock.reset();
    EXPECT_EQ(ledger.Now(), ledger.Unmoved());
    EXPECT_TRUE(fs::is_empty(ws.Folder(kWork)));
  }
}
#endif

#ifdef _WIN32
// Windows sharing: a file another program holds with no sharing can be
// neither read nor moved.
TEST(FaultMatrix, FilesHeldOpenWithoutSharing) {
  struct Case {
    const char* what;
    std::function<fs::path(RunWorkspace&)> held;
    RunResult result;
    std::u16string log;
    Where after;  // only the archives that moved
  };
  const Case cases[] = {
      // Left out it would send face.vac, which only a.kvo needs, to Work.
      {"a preset", [](RunWorkspace& ws) { return ws.Folder(kPreset) / "a.kvo"; },
       RunResult::kAborted, u"■準備\r\na.kvo: 読み込み失敗\r\n", {}},
      {"a needed source in Work", [](RunWorkspace& ws) { return ws.Folder(kWork) / "face.vac"; },
       RunResult::kCompleted,
       RunLog("1/1/2", "0/0 1/1", "→ 不足無し/不足有り = 0/1\r\na.kvo\r\n  - face.vac\r\n", "",
              Failed("face.vac", kInUse)),
       {{"Work/hair.vac", "Plugin/hair.vac"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RunWorkspace ws;
    LayLists(ws);
    Ledger ledger(ws);
    ledger.Put(kPlugin, "base.vac");
    ledger.Put(kWork, "face.vac");
    ledger.Put(kWork, "hair.vac");
    const platform::FileHandle handle = platform::OpenForReadNoShare(S(c.held(ws)));
    ASSERT_NE(handle, nullptr);
    const RunResult result = ws.Run(RunMode::kExecute);
    platform::CloseFile(handle);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(ws.Log(), c.log);
    Where expected = ledger.Unmoved();
    for (const auto& [from, to] : c.after) expected[from] = to;
    EXPECT_EQ(ledger.Now(), expected);
  }
}
#endif

#ifndef _WIN32
// Permission bits, as an ordinary user meets them: a folder that cannot be
// written takes no archive and gives none away; a list that may not be read
// stops the run.
TEST(FaultMatrix, PermissionsOfAnOrdinaryUser) {
  if (IsRoot()) GTEST_SKIP() << "permission bits do not bind root; run as another user";
  for (int lockedSlot : {kWork, kPlugin}) {
    SCOPED_TRACE(lockedSlot == kWork ? "Work" : "Plugin");
    RunWorkspace ws;
    LayLists(ws);
    Ledger ledger(ws);
    ledger.Put(kPlugin, "base.vac");   // needed, stays
    ledger.Put(kPlugin, "old.vac");    // unneeded: cannot leave / arrive
    ledger.Put(kWork, "hair.vac");     // needed: cannot leave / arrive
    ledger.Put(kWork, "spare.vac");    // unneeded, stays
    ASSERT_EQ(::chmod(ws.Folder(lockedSlot).c_str(), 0555), 0);
    // A move needs both folders writable: both phases fail either way.
    EXPECT_EQ(ws.Run(RunMode::kExecute), RunResult::kCompleted);
    ::chmod(ws.Folder(lockedSlot).c_str(), 0755);
    EXPECT_EQ(ws.Log(), RunLog("2/1/2", "0/1 0/1",
                               "→ 不足無し/不足有り = 0/1\r\na.kvo\r\n  - face.vac\r\n"
                               "  - hair.vac\r\n",
                               Failed("old.vac", kDenied), Failed("hair.vac", kDenied)));
    EXPECT_EQ(ledger.Now(), ledger.Unmoved());
  }
  RunWorkspace ws;
  LayLists(ws);
  fs::permissions(ws.Root().path() / "ExList.txt", fs::perms::none);
  EXPECT_EQ(ws.Run(RunMode::kExecute), RunResult::kAborted);
  EXPECT_EQ(ws.Log(), u"■準備\r\nExList.txt: 読み込み失敗\r\n");
}
#endif

}  // namespace
}  // namespace kvo::test
