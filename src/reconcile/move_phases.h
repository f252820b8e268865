// The moves of an execute run, between the Plugin and Work folders.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>

#include "lists/name_set.h"
#include "platform/file_system.h"
#include "platform/platform.h"
#include "reconcile/log_pane.h"
#include "reconcile/run.h"

namespace kvo {

// Who watches a run: told how far it is, and able to stop it. Either may be
// absent.
struct RunWatch {
  RunProgress* progress;
  const platform::StopFlag* stop;

  void Report(RunStage stage, std::size_t done = 0, std::size_t total = 0) const {
    if (progress != nullptr) progress->Report(stage, done, total);
  }
  bool Stopped() const { return stop != nullptr && stop->load(std::memory_order_relaxed); }
};

// Moves every archive of `pluginListing` that is not `required` from folder
// `plugin` to folder `work`, then every one of `workListing` that is, back,
// by full paths and never replacing anything. Each phase logs its heading
// and counts into `pane`, then one line for each archive that did not move,
// in the order tried, with its reason. `watch` is told each move and looked
// at before each: false when it asked to stop (the log then ends after the
// counts of the phase stopped in).
bool MoveArchives(platform::FileSystem& fs, LogPane& pane, const RunWatch& watch,
                  const std::u16string& plugin, const std::u16string& work,
                  const NameSet& pluginListing, const NameSet& workListing,
                  const NameSet& required);

}  // namespace kvo
