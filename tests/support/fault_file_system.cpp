#include "fault_file_system.h"

#include <cstddef>
#include <utility>

namespace kvo::test {
namespace {

bool IsSeparator(char16_t c) { return c == u'/' || c == u'\\'; }

// A path as the test knows it: on Windows the run opens and moves listed
// names by paths with the prefix \\?\ (\\?\UNC\ for a share).
std::u16string Unprefixed(const std::u16string& path) {
  if (path.compare(0, 8, u"\\\\?\\UNC\\") == 0) return u"\\\\" + path.substr(8);
  if (path.compare(0, 4, u"\\\\?\\") == 0) return path.substr(4);
  return path;
}

// `path` (prefix aside) is `place` or lies inside it.
bool Within(const std::u16string& prefixed, const std::u16string& place) {
  if (place.empty()) return true;
  const std::u16string path = Unprefixed(prefixed);
  if (path.compare(0, place.size(), place) != 0) return false;
  return path.size() == place.size() || IsSeparator(path[place.size()]) ||
         IsSeparator(place.back());
}

}  // namespace

Fault Fail(FsOp op, const std::u16string& path, int nth) {
  Fault fault;
  fault.op = op;
  fault.path = path;
  fault.nth = nth;
  return fault;
}

Fault FailRead(const std::u16string& path, platform::FileStatus status, int nth) {
  Fault fault = Fail(FsOp::kReadWholeFile, path, nth);
  fault.status = status;
  return fault;
}

Fault ShortRead(const std::u16string& path) {
  Fault fault = FailRead(path, platform::FileStatus::kUnreadable);
  fault.shortRead = true;
  return fault;
}

Fault FailListing(const std::u16string& folder, int nth, int listedBeforeFailure) {
  Fault fault = Fail(FsOp::kFindFiles, folder, nth);
  fault.listedBeforeFailure = listedBeforeFailure;
  return fault;
}

Fault FailMove(const std::u16string& source, int nth, platform::MoveResult result) {
  Fault fault = Fail(FsOp::kMoveNoReplace, source, nth);
  fault.move = result;
  return fault;
}

Fault Before(FsOp op, const std::u16string& path, int nth, std::function<void()> action) {
  Fault fault = Fail(op, path, nth);
  fault.before = std::move(action);
  return fault;
}

FaultyFileSystem::FaultyFileSystem(platform::FileSystem& base) : base_(base) {}

void FaultyFileSystem::Add(Fault fault) { planned_.push_back(Planned{std::move(fault), 0}); }

void FaultyFileSystem::ClearFaults() { planned_.clear(); }

int FaultyFileSystem::Calls(FsOp op) const { return calls_[static_cast<int>(op)]; }

const Fault* FaultyFileSystem::Hit(FsOp op, const std::u16string& path) {
  ++calls_[static_cast<int>(op)];
  for (Planned& planned : planned_) {
    const Fault& fault = planned.fault;
    if (fault.op != op || !Within(path, fault.path)) continue;
    ++planned.seen;
    if (fault.nth != 0 && planned.seen != fault.nth) continue;
    if (fault.before) {
      // Taken out first: the action may well call the file system itself.
      std::function<void()> action = std::move(planned.fault.before);
      planned.fault.nth = -1;  // done
      action();
      continue;
    }
    return &fault;
  }
  return nullptr;
}

platform::FileStatus FaultyFileSystem::ReadWholeFile(const std::u16string& path,
                                                     std::size_t extraZeros,
                                                     std::vector<char>& out) {
  const Fault* fault = Hit(FsOp::kReadWholeFile, path);
  if (fault == nullptr) return base_.ReadWholeFile(path, extraZeros, out);
  if (fault->shortRead) base_.ReadWholeFile(path, extraZeros, out);
  out.clear();
  return fault->status;
}

platform::ListStatus FaultyFileSystem::FindFiles(const std::u16string& searchPath,
                                                 std::vector<std::u16string>& names) {
  const Fault* fault = Hit(FsOp::kFindFiles, searchPath);
  if (fault == nullptr) return base_.FindFiles(searchPath, names);
  const std::size_t before = names.size();
  base_.FindFiles(searchPath, names);
  const std::size_t keep = before + static_cast<std::size_t>(fault->listedBeforeFailure);
  if (names.size() > keep) names.resize(keep);
  return platform::ListStatus::kFailed;
}

bool FaultyFileSystem::IsFolder(const std::u16string& path) {
  return Hit(FsOp::kIsFolder, path) == nullptr && base_.IsFolder(path);
}

platform::MoveResult FaultyFileSystem::MoveNoReplace(const std::u16string& from,
                                                     const std::u16string& to,
                                                     const platform::StopFlag* stop) {
  const Fault* fault = Hit(FsOp::kMoveNoReplace, from);
  return fault == nullptr ? base_.MoveNoReplace(from, to, stop) : fault->move;
}

platform::MoveStatus FaultyFileSystem::MoveObstacle(const std::u16string& fromFolder,
                                                    const std::u16string& toFolder,
                                                    const std::u16string& name) {
  // Planned by the source folder, as a move is by its source.
  const Fault* fault = Hit(FsOp::kMoveObstacle, fromFolder);
  return fault == nullptr ? base_.MoveObstacle(fromFolder, toFolder, name) : fault->move.status;
}

bool FaultyFileSystem::SetCurrentFolder(const std::u16string& path) {
  return Hit(FsOp::kSetCurrentFolder, path) == nullptr && base_.SetCurrentFolder(path);
}

std::u16string FaultyFileSystem::StartFolder() {
  return Hit(FsOp::kStartFolder, std::u16string()) == nullptr ? base_.StartFolder() : std::u16string();
}

std::u16string FaultyFileSystem::ExeFolder() {
  if (Hit(FsOp::kExeFolder, std::u16string()) != nullptr) return std::u16string();
  return exeFolder_.empty() ? base_.ExeFolder() : exeFolder_;
}

}  // namespace kvo::test
