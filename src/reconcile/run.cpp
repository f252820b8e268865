#include "reconcile/run.h"

#include <cstddef>
#include <new>
#include <string>
#include <vector>

#include "lists/name_set.h"
#include "platform/platform.h"
#include "preset/catalogue.h"
#include "reconcile/folder_scan.h"
#include "reconcile/move_phases.h"
#include "reconcile/status_report.h"

namespace kvo {
namespace {

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
LogPane::~LogPane() = default;

RunResult RunReconciliation(platform::FileSystem& fs, LogPane& pane,
                            const SettingsRecord& folders, RunMode mode,
                            RunProgress* progress, const platform::StopFlag* stop) {
  StartFolderRestore restore(fs);
  const RunWatch watch{progress, stop};
  pane.Line(u"■準備\r\n");
  watch.Report(RunStage::kLists);

  Catalogue catalogue;
  switch (catalogue.LoadLists(fs)) {
    case Catalogue::Load::kLoaded:
      break;
    case Catalogue::Load::kIdListUnreadable:
      pane.Line(u"IdList.txt: 読み込み失敗\r\n");
      return RunResult::kAborted;
    case Catalogue::Load::kExListUnreadable:
      pane.Line(u"ExList.txt: 読み込み失敗\r\n");
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
      pane.Line(u"%s 読み込み失敗\r\n", FolderLabel(slot));
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
      pane.Line(u"%s: 読み込み失敗\r\n", unreadable.c_str());
      return RunResult::kAborted;
    case Catalogue::Build::kFolderUnreadable:
      pane.Line(u"%s 読み込み失敗\r\n", FolderLabel(kPreset));
      return RunResult::kAborted;
  }

  pane.Line(u"→ Plugin/Preset/Work = %d/%d/%d\r\n", static_cast<int>(listings[kPlugin].Size()),
           static_cast<int>(listings[kPreset].Size()), static_cast<int>(listings[kWork].Size()));

  if (mode == RunMode::kExecute &&
      !MoveArchives(fs, pane, watch, plugin, work, listings[kPlugin], listings[kWork], required)) {
    return RunResult::kAborted;
  }

  watch.Report(RunStage::kReport);
  // The moves changed the Plugin folder; list it again rather than track them.
  // A listing that fails now would report every preset as lacking everything:
  // the run stops instead, after the move lines that say what was done.
  if (RescanFolder(fs, plugin, FolderPattern(kPlugin), pluginDelivered, listings[kPlugin]) !=
      platform::ListStatus::kListed) {
    pane.Line(u"%s 読み込み失敗\r\n", FolderLabel(kPlugin));
    return RunResult::kAborted;
  }
  pane.Line(u"■kvoの状態\r\n");
  ReportPresetStatus(pane, catalogue, listings[kPlugin]);

  pane.Line(u"\r\n");
  return RunResult::kCompleted;
}

}  // namespace kvo
