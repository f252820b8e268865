// A plain model of one whole run, kept deliberately naive (std::set,
// std::multimap, loops, no shortcuts), so that the optimised core can be
// compared against it on any workspace. It reads the workspace itself and
// changes nothing on disk: it predicts the log and both archive folders.
#pragma once

#include <cstddef>
#include <map>
#include <string>

#include "reconcile/run.h"
#include "test_support.h"

namespace kvo::test {

// name (UTF-8) -> file content, or "<dir>" for a sub-folder: the form of
// RunWorkspace::Contents.
using FolderContents = std::map<std::string, std::string>;

struct ModelOutcome {
  RunResult result = RunResult::kCompleted;
  std::u16string log;  // exactly the lines the run writes
  FolderContents plugin;
  FolderContents work;
  // What the run was made of, for tests that want to know which paths it took.
  std::size_t idEntries = 0;
  std::size_t presetsListed = 0;
  std::size_t presetsRead = 0;
};

// `exeFolder` holds IdList.txt and ExList.txt; the three folders are the paths
// the run is given.
ModelOutcome ModelRun(const fs::path& exeFolder, const fs::path& plugin, const fs::path& preset,
                      const fs::path& work, RunMode mode);

}  // namespace kvo::test
