#include "platform/file_system.h"

#include "platform/system.h"

namespace kvo {
namespace platform {
namespace {

// The system's own calls, as the one file system of the program.
class SystemFileSystem final : public FileSystem {
 public:
  FileStatus ReadWholeFile(const std::u16string& path, std::vector<char>& out,
                           std::size_t extraZeros) override {
    return platform::ReadWholeFile(path, out, extraZeros);
  }
  ListStatus FindFiles(const std::u16string& searchPath,
                       std::vector<std::u16string>& names) override {
    return platform::FindFiles(searchPath, names);
  }
  bool IsDirectory(const std::u16string& path) override { return platform::IsDirectory(path); }
  MoveResult MoveNoReplace(const std::u16string& from, const std::u16string& to,
                           const StopFlag* stop) override {
    return platform::MoveNoReplace(from, to, stop);
  }
  MoveStatus MoveObstacle(const std::u16string& fromFolder, const std::u16string& toFolder,
                          const std::u16string& name) override {
    return platform::MoveObstacle(fromFolder, toFolder, name);
  }
  bool SetCurrentDir(const std::u16string& path) override { return platform::SetCurrentDir(path); }
  std::u16string StartDir() override { return platform::StartDir(); }
  std::u16string ExeDirectory() override { return platform::ExeDirectory(); }
};

}  // namespace

FileSystem::~FileSystem() = default;

FileSystem& DefaultFileSystem() {
  static SystemFileSystem system;
  return system;
}

}  // namespace platform
}  // namespace kvo
