#include "run_fixture.h"

#include "gtest_support.h"

#include "platform/system.h"
#include "preset_builder.h"

namespace kvo::test {

RunWorkspace::RunWorkspace() {
  savedCwd_ = platform::CurrentFolder();
  fs_.SetExeFolder(root_.str());
  const char* names[kFolderSlotCount] = {"Plugin", "Preset", "Work"};
  for (int slot = 0; slot < kFolderSlotCount; ++slot) {
    folders_[slot] = root_.Sub(names[slot]);
    SetFolder(slot, S(folders_[slot]));
  }
}

RunWorkspace::~RunWorkspace() {
  platform::SetCurrentFolder(savedCwd_);
}

void RunWorkspace::SetFolder(int slot, const std::u16string& path) {
  char16_t* field = folders.paths[slot];
  std::fill(field, field + kMaxPath, u'\0');
  path.copy(field, kMaxPath - 1);
}

void RunWorkspace::IdList(const std::string& text) { WriteText(root_.path() / "IdList.txt", text); }
void RunWorkspace::ExList(const std::string& text) { WriteText(root_.path() / "ExList.txt", text); }

void RunWorkspace::Archive(int slot, const std::string& name) {
  WriteText(folders_[slot] / fs::u8path(name), name);
}

void RunWorkspace::Preset(const std::string& name, std::initializer_list<std::int32_t> ids) {
  PresetBuilder builder;
  builder.ListHeader(static_cast<std::uint32_t>(ids.size()));
  for (std::int32_t id : ids) builder.Entry(id);
  if (ids.size() == 0) builder.Entry(424242);
  WriteBytes(folders_[kPreset] / fs::u8path(name), builder.Build());
}

RunResult RunWorkspace::Run(RunMode mode, RunProgress* progress, const platform::StopFlag* stop) {
  pane_.Clear();
  return RunReconciliation(fs_, pane_, folders, mode, progress, stop);
}

std::map<std::string, std::string> RunWorkspace::Contents(int slot) const {
  std::map<std::string, std::string> out;
  for (const std::string& name : ListNames(folders_[slot])) {
    const fs::path path = folders_[slot] / fs::u8path(name);
    out[name] = fs::is_directory(Verbatim(path)) ? "<dir>" : ReadText(path);
  }
  return out;
}

std::map<std::string, int> RunWorkspace::AllArchives() const {
  std::map<std::string, int> out;
  for (int slot : {kPlugin, kWork}) {
    for (const auto& [name, content] : Contents(slot)) {
      // Content equals the name for every archive made by Archive().
      EXPECT_TRUE(content == name || content == "<dir>") << name << " changed its bytes";
      ++out[name];
    }
  }
  return out;
}

}  // namespace kvo::test
