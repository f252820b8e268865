#include "case_support.h"

namespace uicases {

std::wstring g_exe;
std::wstring g_lowMemExe;
std::wstring g_fakeTaskbarExe;
std::wstring g_casesRoot;

ws::Workspace NewWorkspace(const std::string& name, const std::wstring& exe) {
  ws::Workspace workspace;
  workspace.Create(Join(g_casesRoot, ui::Wide(name)), exe);
  return workspace;
}

ws::Workspace StandardWorkspace(const std::string& name) {
  ws::Workspace workspace = NewWorkspace(name);
  ws::LayOutStandard(workspace);
  return workspace;
}

namespace {

std::string Listing(const std::vector<std::wstring>& names) {
  std::wstring joined;
  for (const std::wstring& name : names) joined += (joined.empty() ? L"" : L", ") + name;
  return Utf8(L"[" + joined + L"]");
}

}  // namespace

void ExpectNames(const std::wstring& folder, const std::vector<std::wstring>& expected,
                 const std::string& what) {
  const std::vector<std::wstring> names = ws::Names(folder);
  Expect(names == expected, what + " holds " + Listing(names) + ", expected " + Listing(expected));
}

void ExpectStandardFilesUntouched(const ws::Workspace& w, const std::string& when) {
  ExpectNames(w.plugin, {L"Alpha.vac", L"Base.vac", L"Beta.vac", L"Old.vac"}, "Plugin " + when);
  ExpectNames(w.work, {L"Gamma.vac", L"Unused.vac", L"音源.vac"}, "Work " + when);
}

void ExpectPaths(const Program& program, const std::wstring& plugin, const std::wstring& preset,
                 const std::wstring& work, const std::string& what) {
  const std::wstring shown[3] = {program.ControlText(IDC_PLUGIN_PATH), program.ControlText(IDC_PRESET_PATH),
                                 program.ControlText(IDC_WORK_PATH)};
  const std::wstring expected[3] = {plugin, preset, work};
  const char* names[3] = {"Plugin", "Preset", "Work"};
  for (int slot = 0; slot < 3; ++slot) {
    Expect(shown[slot] == expected[slot], what + ": " + names[slot] + " edit shows " +
                                              ui::Visible(shown[slot]) + ", expected " +
                                              ui::Visible(expected[slot]));
  }
}

void ExpectFileBytes(const std::wstring& path, const ws::Bytes& expected, const std::string& what) {
  Expect(ws::Exists(path), what + ": the file does not exist");
  const ws::Bytes actual = ws::ReadBytes(path);
  if (actual == expected) return;
  std::size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
  Fail(what + ": " + std::to_string(actual.size()) + " bytes, expected " +
       std::to_string(expected.size()) + ", first difference at byte " + std::to_string(at));
}

void ExpectPaneAfter(const Program& program, const std::wstring& expected, const std::string& what) {
  ExpectSameText(program.Pane(), expected, what);
}

ULONGLONG WriteTime(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return static_cast<ULONGLONG>(data.ftLastWriteTime.dwHighDateTime) << 32 |
         data.ftLastWriteTime.dwLowDateTime;
}

void SetOldTimestamp(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  Expect(file != INVALID_HANDLE_VALUE, "cannot open the settings file to date it back");
  SYSTEMTIME old = {2001, 1, 1, 1, 0, 0, 0, 0};
  FILETIME time;
  SystemTimeToFileTime(&old, &time);
  SetFileTime(file, nullptr, nullptr, &time);
  CloseHandle(file);
}

}  // namespace uicases
