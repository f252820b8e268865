#include <string>

#include "app/log_pane.h"
#include "app/manager_app.h"
#include "lists/name_set.h"
#include "platform/platform.h"
#include "preset/catalogue.h"
#include "reconcile/folder_scan.h"

namespace kvo {

const char16_t* FolderLabel(int slot) {
  static const char16_t* const kLabels[kFolderSlotCount] = {u"Plugin:", u"Preset:", u"Work:"};
  return kLabels[slot];
}

const char16_t* FolderPattern(int slot) {
  static const char16_t* const kPatterns[kFolderSlotCount] = {u"*.vac", u"*.kvo", u"*.vac"};
  return kPatterns[slot];
}

namespace {

// A slot's folder as this run uses it: the field, never read past its 260
// units, taken relative to the folder the program was started in when it is
// not absolute. The current directory would be a guess: runs change it. A
// field that cannot be resolved names no folder (empty).
std::u16string SlotPath(const SettingsRecord& folders, int slot) {
  const char16_t* path = folders.paths[slot];
  std::size_t length = 0;
  while (length < kMaxPath && path[length] != 0) ++length;
  std::u16string resolved;
  platform::ResolveAgainst(platform::StartDir(), std::u16string(path, length), resolved);
  return resolved;
}

// Formats a fixed line into lineBuffer and appends it.
void Write(ManagerApp& app, const char16_t* line) {
  platform::FormatLine(app.lineBuffer, line);
  LogPane::Append(app.dialog, app.lineBuffer);
}

// Moves the names of `listing` for which membership in `required` equals
// `moveRequired` from folder `from` to folder `to`, and logs the counts.
void MovePhase(ManagerApp& app, const char16_t* heading, const std::u16string& from,
               const std::u16string& to, const NameSet& listing, const NameSet& required,
               bool moveRequired) {
  Write(app, heading);
  int succeeded = 0;
  int failed = 0;
  platform::SetCurrentDir(from);
  std::u16string source;
  std::u16string destination;
  for (const std::u16string& name : listing) {
    if (required.Contains(name) != moveRequired) continue;
    // The source is named by its full path, so a current directory that could
    // not be changed never makes us move a file out of the wrong folder.
    if (platform::CombinePath(from, name, source) &&
        platform::CombinePath(to, name, destination) &&
        platform::MoveNoReplace(source, destination)) {
      ++succeeded;
    } else {
      ++failed;
    }
  }
  platform::FormatLine(app.lineBuffer, u"→ 成功/失敗 = %d/%d\r\n", succeeded, failed);
  LogPane::Append(app.dialog, app.lineBuffer);
}

}  // namespace

int ManagerApp::RunReconciliation(int mode) {
  Write(*this, u"■準備\r\n");

  Catalogue catalogue;
  if (catalogue.idTable.Size() == 0) {
    Write(*this, u"IdList.txt: 読み込み失敗\r\n");
    return kAborted;
  }
  // Read as empty, an ExList.txt held by another program would send the
  // archives it names out of the Plugin folder.
  if (!catalogue.exListRead) {
    Write(*this, u"ExList.txt: 読み込み失敗\r\n");
    return kAborted;
  }

  const std::u16string plugin = SlotPath(folders, kPlugin);
  const std::u16string preset = SlotPath(folders, kPreset);
  const std::u16string work = SlotPath(folders, kWork);
  const std::u16string* paths[kFolderSlotCount] = {&plugin, &preset, &work};

  NameSet listings[kFolderSlotCount];
  for (int slot = 0; slot < kFolderSlotCount; ++slot) {
    if (ScanFolder(listings[slot], *paths[slot], FolderPattern(slot)) != 0) {
      platform::FormatLine(lineBuffer, u"%s 読み込み失敗\r\n", FolderLabel(slot));
      LogPane::Append(dialog, lineBuffer);
      return kAborted;
    }
  }

  NameSet required;
  std::u16string unreadable;
  if (catalogue.BuildRequired(preset, listings[kPreset], required, &unreadable) != 0) {
    // Without what that preset needs, its archives would be moved out.
    platform::FormatLine(lineBuffer, u"%s: 読み込み失敗\r\n", unreadable.c_str());
    LogPane::Append(dialog, lineBuffer);
    return kAborted;
  }
  // The presets are opened by their full paths; the Preset folder is made
  // current once they are read, so an aborted run leaves the current
  // directory as it found it.
  platform::SetCurrentDir(preset);

  platform::FormatLine(lineBuffer, u"→ Plugin/Preset/Work = %d/%d/%d\r\n",
                       static_cast<int>(listings[kPlugin].Size()),
                       static_cast<int>(listings[kPreset].Size()),
                       static_cast<int>(listings[kWork].Size()));
  LogPane::Append(dialog, lineBuffer);

  if (mode == kExecute) {
    MovePhase(*this, u"■不要ファイルの移動(Plugin -> Work)\r\n", plugin, work, listings[kPlugin],
              required, false);
    MovePhase(*this, u"■必要ファイルの移動(Work -> Plugin)\r\n", work, plugin, listings[kWork],
              required, true);
  }

  Write(*this, u"■kvoの状態\r\n");
  // The moves changed the Plugin folder; list it again rather than track them.
  listings[kPlugin].Clear();
  ScanFolder(listings[kPlugin], plugin, FolderPattern(kPlugin));
  catalogue.ReportPresetStatus(listings[kPlugin], dialog, lineBuffer);

  Write(*this, u"\r\n");
  return kCompleted;
}

}  // namespace kvo
