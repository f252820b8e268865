// A file system for tests: passes every call on to another one (the
// system's by default) unless a planned fault says otherwise, and answers
// the executable's folder with one of the test's choosing, so that each case
// has its own side lists.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace kvo::test {

// The operations of a platform::FileSystem, to name one in a fault.
enum class FsOp {
  kReadWholeFile,
  kFindFiles,
  kIsFolder,
  kMoveNoReplace,
  kMoveObstacle,
  kSetCurrentFolder,
  kStartFolder,
  kExeFolder,
  kCount,  // how many there are
};

// One planned fault: which calls it hits, and what happens to them.
struct Fault {
  FsOp op = FsOp::kReadWholeFile;
  // Only calls whose path is `path` or lies inside it (a listing by its
  // search path, a move by its source); any call when empty.
  std::u16string path;
  // Only the nth of the calls above, counting from 1; every one when 0.
  int nth = 0;

  // What a hit ReadWholeFile reports (nothing read).
  platform::FileStatus status = platform::FileStatus::kUnreadable;
  // ReadWholeFile: the file is really opened and read, then reported
  // unreadable as a read that came back short is.
  bool shortRead = false;
  // What a hit MoveNoReplace reports (nothing moved); a hit MoveObstacle
  // reports its status.
  platform::MoveResult move{platform::MoveStatus::kSystemError, 0};
  // FindFiles: the listing is really made but ends early, failed, after
  // this many names (0: it fails before the first).
  int listedBeforeFailure = 0;
  // When set, the call is not failed: this runs once, before the first call
  // hit (what another program does at that moment, say taking a file away),
  // and the call goes on.
  std::function<void()> before;
  // Every other operation hit fails: false, or an empty path.
};

// The nth call of `op` on `path` (every one when 0) fails as the field
// comments above say; the functions below plan the other faults.
Fault Fail(FsOp op, const std::u16string& path, int nth = 0);
Fault FailRead(const std::u16string& path, platform::FileStatus status, int nth = 0);
Fault ShortRead(const std::u16string& path);
Fault FailListing(const std::u16string& folder, int nth = 0, int listedBeforeFailure = 0);
Fault FailMove(const std::u16string& source, int nth = 0,
               platform::MoveResult result = {platform::MoveStatus::kSystemError, 0});
Fault Before(FsOp op, const std::u16string& path, int nth, std::function<void()> action);

class FaultyFileSystem : public platform::FileSystem {
 public:
  explicit FaultyFileSystem(platform::FileSystem& base = platform::DefaultFileSystem());

  void Add(Fault fault);
  void ClearFaults();
  // The executable's folder as the core will see it; empty: the base's.
  void SetExeFolder(const std::u16string& folder) { exeFolder_ = folder; }
  // How many calls of `op` were made (hit or not).
  int Calls(FsOp op) const;

  platform::FileStatus ReadWholeFile(const std::u16string& path, std::size_t extraZeros,
                                     std::vector<char>& out) override;
  platform::ListStatus FindFiles(const std::u16string& searchPath,
                                 std::vector<std::u16string>& names) override;
  bool IsFolder(const std::u16string& path) override;
  platform::MoveResult MoveNoReplace(const std::u16string& from, const std::u16string& to,
                                     const platform::StopFlag* stop) override;
  platform::MoveStatus MoveObstacle(const std::u16string& fromFolder,
                                    const std::u16string& toFolder,
                                    const std::u16string& name) override;
  bool SetCurrentFolder(const std::u16string& path) override;
  std::u16string StartFolder() override;
  std::u16string ExeFolder() override;

 private:
  struct Planned {
    Fault fault;
    int seen = 0;  // calls that matched its operation and path
  };
  // The fault that hits this call, if any; runs and forgets a `before` action.
  const Fault* Hit(FsOp op, const std::u16string& path);

  platform::FileSystem& base_;
  std::vector<Planned> planned_;
  std::u16string exeFolder_;
  int calls_[static_cast<int>(FsOp::kCount)] = {};
};

}  // namespace kvo::test
