// A workspace for whole runs: the side lists, the three folders, and the
// application object writing into an in-memory result pane.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>

#include "fault_file_system.h"
#include "memory_pane.h"
#include "platform/platform.h"
#include "reconcile/folders.h"
#include "reconcile/run.h"
#include "test_support.h"

namespace kvo::test {

class RunWorkspace {
 public:
  RunWorkspace();
  ~RunWorkspace();

  fs::path Folder(int slot) const { return folders_[slot]; }
  void SetFolder(int slot, const std::u16string& path);
  void IdList(const std::string& text);
  void ExList(const std::string& text);
  // An archive whose content is its own name (so every move can be checked).
  void Archive(int slot, const std::string& name);
  void Preset(const std::string& name, std::initializer_list<std::int32_t> ids);

  // Clears the pane as the dialog does before a run, then runs.
  RunResult Run(RunMode mode, RunProgress* progress = nullptr,
                const platform::StopFlag* stop = nullptr);
  std::u16string Log() const { return pane_.text; }
  const MemoryPane& Pane() const { return pane_; }

  // name -> content of every entry in a folder ("<dir>" for a sub-folder).
  std::map<std::string, std::string> Contents(int slot) const;
  // Every archive of Plugin and Work, wherever it is now: name -> count.
  std::map<std::string, int> AllArchives() const;

  TempDir& Root() { return root_; }
  // What the run asks for files, folders and moves: the system, with the
  // side lists in Root(), and whatever faults a case plans.
  FaultyFileSystem& Fs() { return fs_; }

  // The three folder fields, as the settings file would hold them.
  SettingsRecord folders{};

 private:
  TempDir root_;
  FaultyFileSystem fs_;
  fs::path folders_[kFolderSlotCount];
  MemoryPane pane_;
  std::u16string savedCwd_;
};

}  // namespace kvo::test
