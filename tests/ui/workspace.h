// Laying out folders for the program to work on: the exe, the two lists, the
// settings file and the Plugin, Preset and Work folders with their files.
// Used by the UI tests (a fresh folder per case) and by the demo.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace ws {

using Bytes = std::vector<unsigned char>;

std::wstring Join(const std::wstring& folder, const std::wstring& name);
void MakeFolder(const std::wstring& path);
void RemoveTree(const std::wstring& path);
bool Exists(const std::wstring& path);
void WriteBytes(const std::wstring& path, const Bytes& bytes);
void WriteBytes(const std::wstring& path, const std::string& bytes);
Bytes ReadBytes(const std::wstring& path);
void Remove(const std::wstring& path);
// Bare names of the entries in `folder`, sorted by the tool's name order.
std::vector<std::wstring> Names(const std::wstring& folder);

// Text in the system's ANSI code page (Shift-JIS under a Japanese locale).
std::string Ansi(const std::wstring& text);
// IdList.txt: "id,name\r\n" lines; ExList.txt: "name\r\n" lines.
std::string IdList(const std::vector<std::pair<std::int32_t, std::wstring>>& entries);
std::string ExList(const std::vector<std::wstring>& names);
// A readable preset whose entry list holds `ids`.
Bytes Preset(const std::vector<std::int32_t>& ids);
// The 1560-byte settings record: three 260-unit UTF-16LE paths.
Bytes Settings(const std::wstring& plugin, const std::wstring& preset, const std::wstring& work);
// The three paths of a settings record (each up to its terminator or 260 units).
std::vector<std::wstring> SettingsPaths(const Bytes& record);

struct Workspace {
  std::wstring root;
  std::wstring exe;       // root\KvoManager.exe
  std::wstring settings;  // root\KvoManager.dat
  std::wstring plugin;    // root\Plugin
  std::wstring preset;    // root\Preset
  std::wstring work;      // root\Work

  // A fresh `root` with a copy of `exeSource` and the three empty folders.
  void Create(const std::wstring& rootFolder, const std::wstring& exeSource);
  void WriteSettings() const;  // pointing at Plugin, Preset and Work
};

// The standard case: lists (one name in Japanese), five presets (one
// complete, one empty, two incomplete, one unreadable), archives in Plugin
// and Work, and the settings file.
void LayOutStandard(const Workspace& workspace);
// The logs a check-only and an execute run write on the standard layout,
// and a second execute run right after the first.
extern const wchar_t kStandardCheckLog[];
extern const wchar_t kStandardExecuteLog[];
extern const wchar_t kStandardRepeatLog[];

// A large workspace whose report is short: `presets` presets, each needing
// one of `archives` archives (named A0001.vac and so on), all of them in
// Plugin, and the settings file. A check-only run reads every preset and
// finds none incomplete. The presets are written only when the Preset
// folder does not hold them yet from an earlier call (no run changes them),
// so it may lie outside the workspace's root and be kept.
void LayOutManyPresets(const Workspace& workspace, int presets, int archives);

// The demo: the standard layout and a few more presets.
void LayOutDemo(const Workspace& workspace);

}  // namespace ws
