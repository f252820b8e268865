#include "reconcile/move_phases.h"

#include <vector>

#include "reconcile/move_reasons.h"

namespace kvo {
namespace {

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
platform::MoveResult MoveOne(platform::FileSystem& fs, const RunWatch& watch,
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
bool MovePhase(platform::FileSystem& fs, LogPane& pane, const RunWatch& watch,
               const char16_t* heading, const std::u16string& from, const std::u16string& to,
               const NameSet& listing, const NameSet& required, bool moveRequired,
               std::size_t total, std::size_t& moved) {
  pane.Line(heading);
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
  pane.Line(u"→ 成功/失敗 = %d/%d\r\n", succeeded, failed);
  char16_t reason[platform::kLineBufferUnits];
  for (const FailedMove& failure : failures) {
    platform::FormatLine(reason, MoveReasonText(failure.result.status),
                         static_cast<unsigned>(failure.result.systemCode));
    pane.Line(u"  - %s (%s)\r\n", failure.name->c_str(), reason);
  }
  return !stopped;
}

}  // namespace

bool MoveArchives(platform::FileSystem& fs, LogPane& pane, const RunWatch& watch,
                  const std::u16string& plugin, const std::u16string& work,
                  const NameSet& pluginListing, const NameSet& workListing,
                  const NameSet& required) {
  const std::size_t total =
      CountToMove(pluginListing, required, false) + CountToMove(workListing, required, true);
  std::size_t moved = 0;
  watch.Report(RunStage::kMoving, moved, total);
  return MovePhase(fs, pane, watch, u"■不要ファイルの移動(Plugin -> Work)\r\n", plugin, work,
                   pluginListing, required, false, total, moved) &&
         MovePhase(fs, pane, watch, u"■必要ファイルの移動(Work -> Plugin)\r\n", work, plugin,
                   workListing, required, true, total, moved);
}

}  // namespace kvo
