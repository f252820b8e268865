#include "reconcile/run.h"

#include <atomic>
#include <cstddef>
#include <new>
#include <string>
#include <vector>

#include "lists/name_set.h"
#include "platform/platform.h"
#include "preset/catalogue.h"
#include "reconcile/folder_scan.h"
#include "reconcile/move_reasons.h"
#include "reconcile/status_report.h"

namespace kvo {
namespace {

// Where a run writes: the pane and the buffer every line is formatted into.
struct Log {
  LogPaneTarget* pane;
  char16_t* lineBuffer;

  // A fixed line serves as its own format (none holds a '%').
  void Write(const char16_t* line) { Line(line); }
  template <typename... Args>
  void Line(const char16_t* format, Args... args) {
    platform::FormatLine(lineBuffer, format, args...);
    LogPane::Append(pane, lineBuffer);
  }
};

// A slot's folder as this run uses it: the field, never read past its 260
// units, taken relative to the folder the program was started in when it is
// not absolute. The current folder would be a guess: runs change it. A
// field that cannot be resolved names no folder (empty).
std::u16string SlotPath(platform::FileSystem& fs, const SettingsRecord& folders,
                        FolderSlot slot) {
  const char16_t* path = folders.paths[slot];
  std::size_t length = 0;
  while (length < kMaxPath && path[length] != 0) ++length;
  std::u16string resolved;
  platform::ResolveAgainst(fs.StartFolder(), std::u16string(path, length), resolved);
  return resolved;
}

// Who watches the run: told how far it is, and able to stop it.
struct Watch {
  RunProgress* progress;
  const platform::StopFlag* stop;

  void Report(RunStage stage, std::size_t done = 0, std::size_t total = 0) const {
    if (progress != nullptr) progress->Report(stage, done, total);
  }
  bool Stopped() const { return stop != nullptr && stop->load(std::memory_order_relaxed); }
};

// Calls `visit(name)` for each name of `listing` whose membership in
// `required` equals `moveRequired`, in the name order, until it returns
// false. Both sets are in the name order: one walk through `required`
// alongside the listing answers for every name, instead of a search each.
template <typename Visit>
void ForEachToMove(const NameSet& listing, const NameSet& required, bool moveRequired,
                   Visit visit) {
  NameSet::const_iterator need = required.begin();
  for (auto it = listing.begin(); it != listing.end(); ++it) {
    while (need != required.end() && need.Shared().Compare(it.Shared()) < 0) ++need;
    const bool isRequired = need != required.end() && need.Shared().Compare(it.Shared()) == 0;
    if (isRequired == moveRequired && !visit(*it)) return;
  }
}

std::size_t CountToMove(const NameSet& listing, const NameSet& required, bool moveRequired) {
  std::size_t count = 0;
  ForEachToMove(listing, required, moveRequired, [&count](const std::u16string&) {
    ++count;
    return true;
  });
  return count;
}

// A move that failed: the name as the source folder's listing spells it
// (the listing outlives the phase) and why.
struct FailedMove {
  const std::u16string* name;
  platform::MoveResult result;
};

// Moves `name` from folder `from` to folder `to`. A path that does not fit
// cannot be tried: the file system still says what comes before that.
platform::MoveResult MoveOne(platform::FileSystem& fs, const Watch& watch,
                             const std::u16string& from, const std::u16string& to,
                             const std::u16string& name, std::u16string& source,
                             std::u16string& destination) {
  // The source is named by its full path, so a current folder that could
  // not be changed never makes us move a file out of the wrong folder.
  if (platform::ListedNamePath(from, name, source) &&
      platform::ListedNamePath(to, name, destination)) {
    return fs.MoveNoReplace(source, destination, watch.stop);
  }
  const platform::MoveStatus obstacle = fs.MoveObstacle(from, to, name);
  return platform::MoveResult{
      obstacle == platform::MoveStatus::kMoved ? platform::MoveStatus::kPathTooLong : obstacle, 0};
}

// Moves the names of `listing` for which membership in `required` equals
// `moveRequired` from folder `from` to folder `to`, and logs the counts,
// then one line for each name that did not move, in the order tried.
// `moved` counts the moves tried in the whole run, of `total`. false when
// the run was asked to stop.
bool MovePhase(platform::FileSystem& fs, Log& log, const Watch& watch, const char16_t* heading,
               const std::u16string& from, const std::u16string& to, const NameSet& listing,
               const NameSet& required, bool moveRequired, std::size_t total,
               std::size_t& moved) {
  log.Write(heading);
  int succeeded = 0;
  int failed = 0;
  bool stopped = false;
  std::vector<FailedMove> failures;  // allocated at the first failure only
  fs.SetCurrentFolder(from);
  std::u16string source;
  std::u16string destination;
  ForEachToMove(listing, required, moveRequired, [&](const std::u16string& name) {
    if (watch.Stopped()) {
      stopped = true;
      return false;
    }
    const platform::MoveResult result = MoveOne(fs, watch, from, to, name, source, destination);
    if (result.status == platform::MoveStatus::kStopped) {
      stopped = true;
      return false;
    }
    if (result.Moved()) {
      ++succeeded;
    } else {
      ++failed;
      failures.push_back(FailedMove{&name, result});
    }
    watch.Report(RunStage::kMoving, ++moved, total);
    return true;
  });
  log.Line(u"→ 成功/失敗 = %d/%d\r\n", succeeded, failed);
  char16_t reason[platform::kLineBufferUnits];
  for (const FailedMove& failure : failures) {
    platform::FormatLine(reason, MoveReasonText(failure.result.status),
                         static_cast<unsigned>(failure.result.systemCode));
    log.Line(u"  - %s (%s)\r\n", failure.name->c_str(), reason);
  }
  return !stopped;
}

// Makes the start folder current again however the run returns: completed,
// aborted, or unwound by running out of memory. Left current, the Preset or
// Work folder could not be renamed or removed, nor its drive ejected, while
// the program is open. Declared first in the run, so it acts last, once
// everything the run built has been released; the folder is taken before
// anything changes, so that the restoring itself needs no memory.
class StartFolderRestore {
 public:
  explicit StartFolderRestore(platform::FileSystem& fs) : fs_(fs), start_(fs.StartFolder()) {}
  ~StartFolderRestore() {
    try {
      fs_.SetCurrentFolder(start_);
    } catch (const std::bad_alloc&) {
      // A file system that needs memory to change folders found none: the
      // folder stays as it was, and a destructor must not throw.
    }
  }
  StartFolderRestore(const StartFolderRestore&) = delete;
  StartFolderRestore& operator=(const StartFolderRestore&) = delete;

 private:
  platform::FileSystem& fs_;
  const std::u16string start_;
};

}  // namespace

RunProgress::~RunProgress() = default;

RunResult RunReconciliation(platform::FileSystem& fs, const SettingsRecord& folders,
                            LogPaneTarget* pane, char16_t* lineBuffer, RunMode mode,
                            RunProgress* progress, const platform::StopFlag* stop) {
  StartFolderRestore restore(fs);
  Log log{pane, lineBuffer};
  const Watch watch{progress, stop};
  log.Write(u"■準備\r\n");
  watch.Report(RunStage::kLists);

  Catalogue catalogue;
  switch (catalogue.LoadLists(fs)) {
    case Catalogue::Load::kLoaded:
      break;
    case Catalogue::Load::kIdListUnreadable:
      log.Write(u"IdList.txt: 読み込み失敗\r\n");
      return RunResult::kAborted;
    case Catalogue::Load::kExListUnreadable:
      log.Write(u"ExList.txt: 読み込み失敗\r\n");
      return RunResult::kAborted;
  }

  const std::u16string paths[kFolderSlotCount] = {
      SlotPath(fs, folders, kPlugin), SlotPath(fs, folders, kPreset), SlotPath(fs, folders, kWork)};
  const std::u16string& plugin = paths[kPlugin];
  const std::u16string& preset = paths[kPreset];
  const std::u16string& work = paths[kWork];

  watch.Report(RunStage::kListing);
  NameSet listings[kFolderSlotCount];
  std::vector<SharedName> pluginDelivered;  // for listing Plugin again at the end
  for (FolderSlot slot : {kPlugin, kPreset, kWork}) {
    if (ScanFolder(fs, paths[slot], FolderPattern(slot), listings[slot],
                   slot == kPlugin ? &pluginDelivered : nullptr) != platform::ListStatus::kListed) {
      log.Line(u"%s 読み込み失敗\r\n", FolderLabel(slot));
      return RunResult::kAborted;
    }
  }

  // The Preset folder is current while its presets are read: Windows then
  // refuses to rename or remove it, so a sync tool or Explorer cannot take it
  // away half-way through. The presets are still opened by their full paths.
  fs.SetCurrentFolder(preset);
  NameSet required;
  std::u16string unreadable;
  const Catalogue::Progress reading = [&watch](std::size_t done, std::size_t total) {
    watch.Report(RunStage::kReadingPresets, done, total);
    return !watch.Stopped();
  };
  switch (catalogue.BuildRequired(fs, preset, listings[kPreset], reading, required, unreadable)) {
    case Catalogue::Build::kBuilt:
      break;
    case Catalogue::Build::kStopped:
      return RunResult::kAborted;
    case Catalogue::Build::kPresetUnreadable:
      // Without what that preset needs, its archives would be moved out.
      log.Line(u"%s: 読み込み失敗\r\n", unreadable.c_str());
      return RunResult::kAborted;
    case Catalogue::Build::kFolderUnreadable:
      log.Line(u"%s 読み込み失敗\r\n", FolderLabel(kPreset));
      return RunResult::kAborted;
  }

  log.Line(u"→ Plugin/Preset/Work = %d/%d/%d\r\n", static_cast<int>(listings[kPlugin].Size()),
           static_cast<int>(listings[kPreset].Size()), static_cast<int>(listings[kWork].Size()));

  if (mode == RunMode::kExecute) {
    const std::size_t total = CountToMove(listings[kPlugin], required, false) +
                              CountToMove(listings[kWork], required, true);
    std::size_t moved = 0;
    watch.Report(RunStage::kMoving, moved, total);
    if (!MovePhase(fs, log, watch, u"■不要ファイルの移動(Plugin -> Work)\r\n", plugin, work,
                   listings[kPlugin], required, false, total, moved) ||
        !MovePhase(fs, log, watch, u"■必要ファイルの移動(Work -> Plugin)\r\n", work, plugin,
                   listings[kWork], required, true, total, moved)) {
      return RunResult::kAborted;
    }
  }

  watch.Report(RunStage::kReport);
  // The moves changed the Plugin folder; list it again rather than track them.
  // A listing that fails now would report every preset as lacking everything:
  // the run stops instead, after the move lines that say what was done.
  if (RescanFolder(fs, plugin, FolderPattern(kPlugin), pluginDelivered, listings[kPlugin]) !=
      platform::ListStatus::kListed) {
    log.Line(u"%s 読み込み失敗\r\n", FolderLabel(kPlugin));
    return RunResult::kAborted;
  }
  log.Write(u"■kvoの状態\r\n");
  ReportPresetStatus(catalogue, listings[kPlugin], pane, lineBuffer);

  log.Write(u"\r\n");
  return RunResult::kCompleted;
}

}  // namespace kvo
