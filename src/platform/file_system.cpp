#include "platform/file_system.h"

#include "platform/system.h"

namespace kvo {
namespace platform {
namespace {

// The system's own calls, as the one file system of the program.
class SystemFileSystem final : public FileSystem {
 public:
  FileStatus ReadWholeFile(const std::u16string& path, std::size_t extraZeros,
                           std::vector<char>& out) override {
    return platform::ReadWholeFile(path, extraZeros, out);
  }
  ListStatus FindFiles(const std::u16string& searchPath,
                       std::vector<std::u16string>& names) override {
    return platform::FindFiles(searchPath, names);
  }
  bool IsFolder(const std::u16string& path) override { return platform::IsFolder(path); }
  MoveResult MoveNoReplace(const std::u16string& from, const std::u16string& to,
                           const StopFlag* stop) override {
    return platform::MoveNoReplace(from, to, stop);
  }
  MoveStatus MoveObstacle(const std::u16string& fromFolder, const std::u16string& toFolder,
                          const std::u16string& name) override {
    return platform::MoveObstacle(fromFolder, toFolder, name);
  }
  bool SetCurrentFolder(const std::u16string& path) override {
    return platform::SetCurrentFolder(path);
  }
  std::u16string StartFolder() override { return platform::StartFolder(); }
  std::u16string ExeFolder() override { return platform::ExeFolder(); }
};

}  // namespace

FileSystem::~FileSystem() = default;

FileSystem& DefaultFileSystem() {
  static SystemFileSystem system;
  return system;
}

}  // namespace platform
}  // namespace kvo
