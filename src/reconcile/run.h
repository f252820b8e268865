// The tool's work: lists, folder scans, moves and the report, written line
// by line into the result pane.
#pragma once

#include <cstddef>

#include "platform/file_system.h"
#include "platform/platform.h"
#include "reconcile/folders.h"
#include "reconcile/log_pane.h"

namespace kvo {

// Execute moves files; CheckOnly (and any other value) only reports.
enum class RunMode : int { kExecute = 0, kCheckOnly = 1 };
// Completed: the run reached its end. Aborted: it stopped at a failed
// precondition (a list, folder or preset that could not be read), before
// moving anything.
enum class RunResult : int { kCompleted = 0, kAborted = 1 };

// What a run is doing, for whoever shows its progress.
enum class RunStage {
  kLists,           // reading IdList.txt and ExList.txt
  kListing,         // listing the folders (no count: the system says nothing until done)
  kReadingPresets,  // counted by preset
  kMoving,          // counted by archive, both directions together
  kReport,          // listing Plugin again and writing the report
};

// Told how far a run is, on the run's own thread, as often as once per
// preset and per move: an implementation keeps the figures and returns at
// once (showing them is for another thread, at its own pace).
class RunProgress {
 public:
  virtual ~RunProgress();
  // `done` of `total` steps of `stage`; a `total` of 0 means no count.
  virtual void Report(RunStage stage, std::size_t done, std::size_t total) = 0;
};

// One run over the three `folders`, asking `fs` for every file, folder and
// move (fields that are not absolute are taken relative to the folder the
// program was started in), writing every line into `pane`. The Preset folder is current while presets are read, each move
// phase's source folder while it moves; however the run returns, the folder
// the program was started in (`fs.StartFolder()`) is made current again. Running
// out of memory is thrown, after everything the run built has been released
// and the start folder made current. `progress`, when given, is told how far
// the run is. `stop`, when given and set (from another thread: the session is
// ending), ends the run at the next point where nothing is left half done:
// before the next preset is read or the next archive moved, or inside a copy
// to another volume, whose temporary is then removed. A run so stopped is
// Aborted, and its log ends after the last line written.
RunResult RunReconciliation(platform::FileSystem& fs, LogPane& pane,
                            const SettingsRecord& folders, RunMode mode,
                            RunProgress* progress = nullptr,
                            const platform::StopFlag* stop = nullptr);

}  // namespace kvo
