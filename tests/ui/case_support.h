// What the UI cases share: the programs under test, a fresh folder per
// case, and the checks of the dialog's fields, the files and the pane.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "resource.h"
#include "ui_driver.h"
#include "workspace.h"

namespace uicases {

using ui::Expect;
using ui::ExpectSameText;
using ui::Fail;
using ui::Program;
using ui::Utf8;
using ws::Join;

// Set by the harness from its options.
extern std::wstring g_exe;        // KvoManager.exe as built
extern std::wstring g_lowMemExe;  // the build whose large allocations fail
extern std::wstring g_fakeTaskbarExe;  // the build whose taskbar object writes down its calls
extern std::wstring g_casesRoot;  // one sub-folder per case

// A fresh folder for a case, with a copy of the program.
ws::Workspace NewWorkspace(const std::string& name, const std::wstring& exe = g_exe);
// The same with the standard layout (ws::LayOutStandard).
ws::Workspace StandardWorkspace(const std::string& name);

void ExpectNames(const std::wstring& folder, const std::vector<std::wstring>& expected,
                 const std::string& what);
// Plugin and Work of the standard layout as they were laid out.
void ExpectStandardFilesUntouched(const ws::Workspace& w, const std::string& when);
// The three path fields show exactly these texts.
void ExpectPaths(const Program& program, const std::wstring& plugin, const std::wstring& preset,
                 const std::wstring& work, const std::string& what);
void ExpectFileBytes(const std::wstring& path, const ws::Bytes& expected, const std::string& what);
void ExpectPaneAfter(const Program& program, const std::wstring& expected, const std::string& what);
// A file's last write time, and setting it far back, to see that a file
// was written again.
ULONGLONG WriteTime(const std::wstring& path);
void SetOldTimestamp(const std::wstring& path);

}  // namespace uicases
