// What whole runs under faults check: the log, and where every archive went.
// Shared by the seam-fault table, the odd inputs and the real-system cases.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <map>
#include <string>

#include "run_fixture.h"
#include "test_support.h"

namespace kvo::test {

// Original place ("Plugin/a.vac") -> where it is now, "(lost)" or "(N copies)".
using Where = std::map<std::string, std::string>;

// The log of a completed run. `moves` is empty for a check-only run, else the
// two succeeded/failed pairs, e.g. "1/0 0/2"; `outFailed` and `inFailed` the
// failure lines under each (Failed).
std::u16string RunLog(const std::string& counts, const std::string& moves,
                      const std::string& report, const std::string& outFailed = "",
                      const std::string& inFailed = "");
// The log of a run stopped by `line` ("IdList.txt", "Preset:" ...) right
// after "■準備".
std::u16string AbortedLog(const std::string& line);
// One failure line.
std::string Failed(const std::string& name, const std::string& reason);

// The reasons of the failure lines, as the log gives them.
extern const std::string kExists, kInUse, kDenied, kGone, kFull, kLink, kReadOnly, kFolder,
    kTooLong, kCloud, kReplaced;

// Every archive of a case gets bytes of its own, so that after a run each one
// can be found again, wherever it went, and a copy or a half copy shows.
class Ledger {
 public:
  explicit Ledger(RunWorkspace& ws);

  // An archive file of at least `size` bytes, or a sub-folder when `folder`.
  void Put(int slot, const std::string& name, std::size_t size = 0, bool folder = false);
  // Several small archives, each in its slot.
  void PutAll(std::initializer_list<std::pair<int, const char*>> archives);
  // An empty archive (several would share their bytes; one per case).
  void PutEmpty(int slot, const std::string& name);
#ifndef _WIN32
  // A symbolic link to a file outside the watched folders (a shared library
  // file, say), with bytes of its own: found where the link is.
  void PutLink(int slot, const std::string& name, const fs::path& targetFolder);
#endif
  // Another place archives may end up in (taken away by "another program").
  void Watch(const std::string& label, const fs::path& folder);
  // The slot's folder now lies elsewhere (another file system, a deep folder).
  void Move(int slot, const fs::path& folder);

  // Where each archive is now. Any other entry in the watched folders is a
  // failure.
  Where Now() const;
  // Nothing moved but the archives of `moved` (origin -> place now).
  Where UnmovedBut(const Where& moved = {}) const;

 private:
  std::string Label(int slot) const;
  fs::path FolderOf(int slot) const;

  std::map<std::string, fs::path> folders_;
  std::map<std::string, std::string> archives_;
};

// An ordinary workspace: face.vac (id 1) and hair.vac (id 2) are needed by
// a.kvo, base.vac always; shoe.vac (id 3) by no preset yet.
void LayLists(RunWorkspace& ws);

// Makes `root`/d.../leaf so that the whole path is exactly `units` UTF-16 units.
fs::path FolderOfLength(const fs::path& root, std::size_t units);

}  // namespace kvo::test
