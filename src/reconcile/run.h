// The tool's work: lists, folder scans, moves and the report, written line
// by line into the result pane.
#pragma once

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

// One run over the three `folders`, asking `fs` for every file, folder and
// move (fields that are not absolute are taken
// relative to the folder the program was started in). Every line is
// formatted into `lineBuffer` (kLineBufferUnits units) and appended to
// `pane`. The Preset folder is current while presets are read, each move
// phase's source folder while it moves; however the run returns, the folder
// the program was started in (`fs.StartDir()`) is made current again. Running
// out of memory is thrown, after everything the run built has been released
// and the start folder made current.
RunResult RunReconciliation(platform::FileSystem& fs, const SettingsRecord& folders,
                            LogPaneTarget* pane, char16_t* lineBuffer, RunMode mode);

}  // namespace kvo
