// The folder settings: the settings file in every shape, the registry's
// folders on a first start, and the folder browser.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "case_support.h"
#include "cases.h"

namespace uicases {

namespace {

// ---- the folder browser ----------------------------------------------------

constexpr int kBrowseTitleId = 0x3742;
constexpr int kBrowseTreeId = 0x3741;

// The browser's folder tree, read and driven from outside. Item structures
// and text buffers have to live in the browser's process.
class BrowserTree {
 public:
  BrowserTree(const Program& program, HWND browser)
      : process_(program.process()), tree_(GetDlgItem(browser, kBrowseTreeId)) {
    remote_ = static_cast<Remote*>(VirtualAllocEx(process_, nullptr, sizeof(Remote),
                                                  MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    Expect(remote_ != nullptr && tree_ != nullptr, "cannot reach the browser's tree");
  }
  ~BrowserTree() { VirtualFreeEx(process_, remote_, 0, MEM_RELEASE); }

  HTREEITEM Next(HTREEITEM item, WPARAM relation) const {
    DWORD_PTR next = 0;
    SendMessageTimeoutW(tree_, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item),
                        SMTO_NORMAL, ui::kAnswerTimeoutMs, &next);
    return reinterpret_cast<HTREEITEM>(next);
  }
  std::wstring Text(HTREEITEM item) const {
    if (item == nullptr) return L"";
    Remote local = {};
    local.item.mask = TVIF_TEXT | TVIF_HANDLE;
    local.item.hItem = item;
    local.item.pszText = remote_->text;
    local.item.cchTextMax = MAX_PATH;
    WriteProcessMemory(process_, remote_, &local, sizeof local, nullptr);
    DWORD_PTR ok = 0;
    SendMessageTimeoutW(tree_, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(remote_), SMTO_NORMAL,
                        ui::kAnswerTimeoutMs, &ok);
    ReadProcessMemory(process_, remote_, &local, sizeof local, nullptr);
    local.text[MAX_PATH - 1] = 0;
    return ok ? std::wstring(local.text) : L"";
  }
  // What a click on the item does: make it the selection.
  void Select(HTREEITEM item) const {
    DWORD_PTR ok = 0;
    SendMessageTimeoutW(tree_, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item),
                        SMTO_NORMAL, ui::kAnswerTimeoutMs, &ok);
    Expect(ok != 0, "the tree did not select the item");
  }
  HTREEITEM Selected() const { return Next(nullptr, TVGN_CARET); }
  // What a click on the item's plus sign does.
  void Expand(HTREEITEM item) const {
    DWORD_PTR ok = 0;
    SendMessageTimeoutW(tree_, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item), SMTO_NORMAL,
                        ui::kAnswerTimeoutMs, &ok);
  }

 private:
  struct Remote {
    TVITEMW item;
    wchar_t text[MAX_PATH];
  };
  HANDLE process_;
  HWND tree_;
  Remote* remote_ = nullptr;
};

// Clicks the folder `path` in the browser's tree as a user would: down from
// the drive, opening one folder after the other by its name. (Not
// BFFM_SETSELECTIONW: Wine matches a path against tree items that can carry
// older access times than the folders have by now, and then stops short.)
void ChooseFolder(const Program& program, HWND browser, const std::wstring& path) {
  BrowserTree tree(program, browser);
  const std::wstring drive = L"(" + path.substr(0, 2) + L")";  // "(Z:)"
  auto endsWith = [](const std::wstring& text, const std::wstring& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
  };
  // The drive is under "My Computer", which the browser shows opened; look
  // through what is shown first, and open the desktop's places one by one
  // only if need be (some, like the network, are slow to open).
  auto findDrive = [&](HTREEITEM place) -> HTREEITEM {
    for (HTREEITEM child = tree.Next(place, TVGN_CHILD); child != nullptr;
         child = tree.Next(child, TVGN_NEXT)) {
      if (endsWith(tree.Text(child), drive)) return child;
    }
    return nullptr;
  };
  const HTREEITEM root = tree.Next(nullptr, TVGN_ROOT);
  HTREEITEM item = nullptr;
  for (int pass = 0; pass < 2 && item == nullptr; ++pass) {
    for (HTREEITEM place = tree.Next(root, TVGN_CHILD); place != nullptr && item == nullptr;
         place = tree.Next(place, TVGN_NEXT)) {
      if (pass == 1) tree.Expand(place);
      item = findDrive(place);
    }
  }
  Expect(item != nullptr, "the browser shows no drive " + Utf8(drive));
  std::size_t from = 3;
  while (from < path.size()) {
    std::size_t to = path.find(L'\\', from);
    if (to == std::wstring::npos) to = path.size();
    const std::wstring name = path.substr(from, to - from);
    from = to + 1;
    tree.Expand(item);
    HTREEITEM found = nullptr;
    for (HTREEITEM child = tree.Next(item, TVGN_CHILD); child != nullptr;
         child = tree.Next(child, TVGN_NEXT)) {
      if (lstrcmpiW(tree.Text(child).c_str(), name.c_str()) == 0) {
        found = child;
        break;
      }
    }
    Expect(found != nullptr, "the browser shows no folder " + Utf8(name) + " on the way to " + Utf8(path));
    item = found;
  }
  tree.Select(item);
}

// Selects `path` in the browser: the string has to live in the browser's process.
void SelectInBrowser(const Program& program, HWND browser, const std::wstring& path) {
  const SIZE_T bytes = (path.size() + 1) * sizeof(wchar_t);
  void* remote = VirtualAllocEx(program.process(), nullptr, bytes, MEM_COMMIT | MEM_RESERVE,
                                PAGE_READWRITE);
  Expect(remote != nullptr, "VirtualAllocEx failed");
  WriteProcessMemory(program.process(), remote, path.c_str(), bytes, nullptr);
  DWORD_PTR result = 0;
  const BOOL answered = SendMessageTimeoutW(browser, BFFM_SETSELECTIONW, TRUE,
                                            reinterpret_cast<LPARAM>(remote), SMTO_NORMAL,
                                            ui::kAnswerTimeoutMs, &result);
  VirtualFreeEx(program.process(), remote, 0, MEM_RELEASE);
  Expect(answered != FALSE, "the browser did not answer BFFM_SETSELECTIONW");
}


void CloseBrowser(HWND browser, int answer) {
  PostMessageW(browser, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
  Expect(ui::WaitGone(browser, ui::kBoxTimeoutMs), "the folder browser did not close");
}

// Clicks a browse button and waits for the folder browser; checks its title.
HWND OpenBrowser(const Program& program, int button, const std::wstring& title) {
  ui::Click(program.dialog(), button);
  HWND browser = ui::WaitOwnedDialog(program.dialog(), ui::kBoxTimeoutMs);
  Expect(browser != nullptr, "no folder browser after clicking " + std::to_string(button));
  Expect(GetDlgItem(browser, kBrowseTreeId) != nullptr, "the owned window is no folder browser");
  HWND titleStatic = GetDlgItem(browser, kBrowseTitleId);
  Expect(titleStatic != nullptr, "the folder browser has no title");
  const std::wstring shown = ui::TextOf(titleStatic);
  Expect(shown == title, "browse title is " + ui::Visible(shown) + ", expected " + ui::Visible(title));
  // Its tree is filled while it starts up.
  BrowserTree tree(program, browser);
  const ULONGLONG end = GetTickCount64() + ui::kBoxTimeoutMs;
  while (tree.Selected() == nullptr && GetTickCount64() < end) ui::Sleep(20);
  ui::Sleep(200);
  return browser;
}

// Opens the browser and checks that it opened on `folder` (its name in the
// tree, and its parent's). Wine's shell now and then fails to walk its tree
// down to a folder (see ChooseFolder), so the browser is opened up to three
// times; a program that never preselects fails every time.
HWND OpenBrowserOn(const Program& program, int button, const std::wstring& title,
                   const std::wstring& folder) {
  const std::size_t cut = folder.rfind(L'\\');
  const std::wstring name = folder.substr(cut + 1);
  const std::size_t parentCut = folder.rfind(L'\\', cut - 1);
  const std::wstring parent = folder.substr(parentCut + 1, cut - parentCut - 1);
  std::string seen;
  for (int attempt = 0; attempt < 3; ++attempt) {
    HWND browser = OpenBrowser(program, button, title);
    BrowserTree tree(program, browser);
    const ULONGLONG end = GetTickCount64() + 2000;
    for (;;) {
      const HTREEITEM selected = tree.Selected();
      const std::wstring itemText = tree.Text(selected);
      const std::wstring parentText = tree.Text(tree.Next(selected, TVGN_PARENT));
      if (itemText == name && parentText == parent) return browser;
      if (GetTickCount64() >= end) {
        seen += (seen.empty() ? "" : ", ") + ui::Visible(itemText) + " in " + ui::Visible(parentText);
        break;
      }
      ui::Sleep(20);
    }
    CloseBrowser(browser, IDCANCEL);
  }
  Fail("the browser did not open on " + Utf8(folder) + " (it showed " + seen + ")");
}

// ---- the registry ----------------------------------------------------------

const wchar_t kVendorKey[] = L"Software\\ORVA";
const wchar_t kHostKey[] = L"Software\\ORVA\\Velmora";

bool KeyExists(const wchar_t* path) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// The host application's key as a case needs it; what was there before is
// put back when the case ends (the registry belongs to the Wine prefix).
class RegistryGuard {
 public:
  RegistryGuard() {
    vendorExisted_ = KeyExists(kVendorKey);
    hostExisted_ = KeyExists(kHostKey);
    if (hostExisted_) {
      HKEY key;
      RegOpenKeyExW(HKEY_CURRENT_USER, kHostKey, 0, KEY_READ, &key);
      DWORD size = 0;
      if (RegQueryValueExW(key, L"InstallPath", nullptr, &type_, nullptr, &size) == ERROR_SUCCESS) {
        value_.resize(size);
        RegQueryValueExW(key, L"InstallPath", nullptr, &type_, value_.data(), &size);
        hadValue_ = true;
      }
      RegCloseKey(key);
    }
  }
  ~RegistryGuard() {
    RegDeleteTreeW(HKEY_CURRENT_USER, kHostKey);
    RegDeleteKeyW(HKEY_CURRENT_USER, kHostKey);
    if (hostExisted_) {
      HKEY key;
      RegCreateKeyExW(HKEY_CURRENT_USER, kHostKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
      if (hadValue_) {
        RegSetValueExW(key, L"InstallPath", 0, type_, value_.data(), static_cast<DWORD>(value_.size()));
      }
      RegCloseKey(key);
    } else if (!vendorExisted_) {
      RegDeleteKeyW(HKEY_CURRENT_USER, kVendorKey);
    }
  }
  void RemoveKey() {
    RegDeleteTreeW(HKEY_CURRENT_USER, kHostKey);
    RegDeleteKeyW(HKEY_CURRENT_USER, kHostKey);
    Expect(!KeyExists(kHostKey), "cannot remove the registry key");
  }
  void KeyWithoutValue() {
    RemoveKey();
    HKEY key;
    Expect(RegCreateKeyExW(HKEY_CURRENT_USER, kHostKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                           nullptr) == ERROR_SUCCESS,
           "cannot create the registry key");
    RegCloseKey(key);
  }
  void SetInstallPath(const std::wstring& path) {
    KeyWithoutValue();
    HKEY key;
    RegOpenKeyExW(HKEY_CURRENT_USER, kHostKey, 0, KEY_WRITE, &key);
    const LONG status = RegSetValueExW(key, L"InstallPath", 0, REG_SZ,
                                       reinterpret_cast<const BYTE*>(path.c_str()),
                                       static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    Expect(status == ERROR_SUCCESS, "cannot set InstallPath");
  }

 private:
  bool vendorExisted_ = false;
  bool hostExisted_ = false;
  bool hadValue_ = false;
  DWORD type_ = REG_SZ;
  std::vector<BYTE> value_;
};

}  // namespace

// The settings file's bytes become the record, and what the close writes
// of it, in the core (SettingsRecord.*); here what only the program shows:
// the folders a first start takes from the host application's registry
// entry (PathAppendW after a value read whole, a value too long for a field
// cut and no folder derived), and a file that was read, even an empty one,
// keeping the registry out.
void CaseRegistryFirstStart(const std::string& name) {
  RegistryGuard registry;
  struct Row {
    const char* label;
    int kind;            // 0 InstallPath set, 1 key without the value, 2 no key
    std::size_t length;  // of the value, when longer than the workspace's App folder
    bool trailingBackslash;
  };
  // 252 units is the longest value that still takes "\Plugin"; 258 fits the
  // field but not with it; 300 does not fit the field at all.
  const Row rows[] = {{"install_path", 0, 0, false}, {"install_path_backslash", 0, 0, true},
                      {"value_missing", 1, 0, false}, {"key_missing", 2, 0, false},
                      {"install_path_300", 0, 300, false}, {"install_path_258", 0, 258, false},
                      {"install_path_252", 0, 252, false}};
  for (const Row& row : rows) {
    const std::string label = row.label;
    ws::Workspace w = NewWorkspace(name + "\\" + label);
    std::wstring app = Join(w.root, L"App");
    if (row.length != 0) {
      app = Join(w.root, L"Z") + std::wstring(row.length - w.root.size() - 2, L'x');
    }
    std::vector<std::wstring> expected = {L"", L"", L""};
    if (row.kind == 0) {
      registry.SetInstallPath(row.trailingBackslash ? app + L"\\" : app);
      if (row.length <= 252) expected = {app + L"\\Plugin", app + L"\\Preset", L""};
    } else if (row.kind == 1) {
      registry.KeyWithoutValue();
      expected = {L"Plugin", L"Preset", L""};
    } else {
      registry.RemoveKey();
    }
    {
      Program program;
      program.Start(w.exe, w.root);
      ExpectPaths(program, expected[0], expected[1], expected[2], label);
      program.Close();
    }
    ExpectFileBytes(w.settings, ws::Settings(expected[0], expected[1], expected[2]),
                    label + ": settings file after close");
    if (row.kind == 2) {
      // Once the file exists the registry is no longer read, even for an
      // empty file: that is a file read, with three empty paths.
      registry.SetInstallPath(app);
      ws::WriteBytes(w.settings, ws::Bytes());
      Program again;
      again.Start(w.exe, w.root);
      ExpectPaths(again, L"", L"", L"", "second start with an empty settings file");
      again.Close();
      ExpectFileBytes(w.settings, ws::Settings(L"", L"", L""), "the empty file after close");
    }
  }
}

// Browsing: titles, the current folder preselected, cancel, choose; the new
// folder is used by the next run and saved at close (or when Windows ends
// the session), even when the close is asked for while the browser is open.
void CaseBrowse(const std::string& name) {
  ws::Workspace w = StandardWorkspace(name);
  // A settings file shorter than a record is read whole all the same: here
  // it ends with the Work path's terminator.
  ws::Bytes shortFile = ws::Settings(w.plugin, w.preset, w.work);
  shortFile.resize(2 * 260 * 2 + 2 * (w.work.size() + 1));
  ws::WriteBytes(w.settings, shortFile);
  const std::wstring work2 = Join(w.root, L"Work2");
  ws::MakeFolder(work2);
  ws::WriteBytes(Join(work2, L"音源.vac"), std::string("archive"));
  ws::Remove(Join(w.work, L"音源.vac"));
  const std::wstring work3 = Join(w.root, L"Work3");
  ws::MakeFolder(work3);
  ws::Bytes saved = ws::ReadBytes(w.settings);
  Program program;
  program.Start(w.exe, w.root);
  ExpectPaths(program, w.plugin, w.preset, w.work, "from a short settings file");

  // The browser opens on the slot's folder; OK straight away returns it.
  HWND browser = OpenBrowserOn(program, IDC_WORK_BROWSE, L"Work:", w.work);
  CloseBrowser(browser, IDOK);
  ExpectPaths(program, w.plugin, w.preset, w.work, "after OK on the preselected folder");

  for (int button : {IDC_PLUGIN_BROWSE, IDC_PRESET_BROWSE}) {
    browser = OpenBrowser(program, button, button == IDC_PLUGIN_BROWSE ? L"Plugin:" : L"Preset:");
    ChooseFolder(program, browser, work2);
    CloseBrowser(browser, IDCANCEL);
    ExpectPaths(program, w.plugin, w.preset, w.work, "after a cancelled browse");
  }

  browser = OpenBrowser(program, IDC_WORK_BROWSE, L"Work:");
  ChooseFolder(program, browser, work2);
  CloseBrowser(browser, IDOK);
  ExpectPaths(program, w.plugin, w.preset, work2, "after choosing Work2");
  ExpectFileBytes(w.settings, saved, "settings file before close");
  // Windows ending the session sends no WM_CLOSE: the folder chosen is saved
  // before the process is ended.
  DWORD_PTR mayEnd = 0;
  Expect(SendMessageTimeoutW(program.dialog(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF,
                             SMTO_NORMAL, ui::kAnswerTimeoutMs, &mayEnd) &&
             mayEnd == TRUE,
         "WM_QUERYENDSESSION is not answered TRUE");
  DWORD_PTR ignored = 0;
  Expect(SendMessageTimeoutW(program.dialog(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL,
                             ui::kAnswerTimeoutMs, &ignored) != 0,
         "no answer to WM_ENDSESSION");
  saved = ws::Settings(w.plugin, w.preset, work2);
  ExpectFileBytes(w.settings, saved, "settings file after WM_ENDSESSION");

  program.Run(IDC_EXECUTE, true);
  ExpectPaneAfter(program,
                  L"■準備\r\n→ Plugin/Preset/Work = 4/5/1\r\n"
                  L"■不要ファイルの移動(Plugin -> Work)\r\n→ 成功/失敗 = 1/0\r\n"
                  L"■必要ファイルの移動(Work -> Plugin)\r\n→ 成功/失敗 = 1/0\r\n"
                  L"■kvoの状態\r\n→ 不足無し/不足有り = 2/2\r\n"
                  L"Song2.kvo\r\n  - Gamma.vac\r\nSong3.kvo\r\n  - \?\?\?(67108864)\r\n  - Delta.vac\r\n\r\n",
                  "pane after a run with the new Work folder");
  ExpectNames(work2, {L"Old.vac"}, "Work2 after the run");
  ExpectNames(w.work, {L"Gamma.vac", L"Unused.vac"}, "the old Work folder after the run");

  // A close asked for while the browser is open waits for it, and saves the
  // folder chosen then.
  browser = OpenBrowser(program, IDC_WORK_BROWSE, L"Work:");
  PostMessageW(program.dialog(), WM_CLOSE, 0, 0);
  ui::Sleep(ui::kQuietMs);
  Expect(program.Running() && IsWindowVisible(program.dialog()) && IsWindowVisible(browser),
         "the close did not wait for the browser");
  ExpectFileBytes(w.settings, saved, "settings file while a close waits for the browser");
  ChooseFolder(program, browser, work3);
  CloseBrowser(browser, IDOK);
  Expect(program.WaitExit(ui::kBoxTimeoutMs) == 0, "exit code after the browser is not 0");
  ExpectFileBytes(w.settings, ws::Settings(w.plugin, w.preset, work3),
                  "settings file after a close that waited for the browser");
}

// A chosen item without a file-system path leaves the slot as it was. The
// settings file is longer than a record: its first 1560 bytes are the
// folders, and the close writes the record alone.
void CaseBrowseNoFileSystemPath(const std::string& name) {
  ws::Workspace w = StandardWorkspace(name);
  ws::Bytes longer = ws::Settings(w.plugin, w.preset, w.work);
  longer.insert(longer.end(), 40, 0x5A);
  ws::WriteBytes(w.settings, longer);
  Program program;
  program.Start(w.exe, w.root);
  HWND browser = OpenBrowser(program, IDC_WORK_BROWSE, L"Work:");
  // "My Computer": a shell folder with no file-system path. The browser
  // greys OK out for it; a posted IDOK still ends the browse with it.
  HWND ok = GetDlgItem(browser, IDOK);
  for (int attempt = 0; attempt < 3 && IsWindowEnabled(ok); ++attempt) {
    SelectInBrowser(program, browser, L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}");
    const ULONGLONG end = GetTickCount64() + 1000;
    while (IsWindowEnabled(ok) && GetTickCount64() < end) ui::Sleep(20);
  }
  Expect(!IsWindowEnabled(ok), "My Computer was not selected (OK is still enabled)");
  CloseBrowser(browser, IDOK);
  ExpectPaths(program, w.plugin, w.preset, w.work, "after choosing My Computer");
  program.Close();
  ExpectFileBytes(w.settings, ws::Settings(w.plugin, w.preset, w.work), "settings file after close");
}

// The old settings file stays as it was when the close cannot write the new
// one (its temporary held by another program). One that was there at start
// but could not be read (held) gets the registry's folders shown, and the
// close reads it again and writes only the folder picked, here the Plugin
// folder already shown: the others keep the file's paths. (Every other
// session of such a file is decided in the core: SettingsRecord.*.)
void CaseSettingsSaveBlocked(const std::string& name) {
  RegistryGuard registry;
  struct Row {
    const char* label;
    // Held open with no sharing: the temporary during the close (Work2 is
    // picked), or the settings file from before the start until the Plugin
    // folder shown is picked again.
    const wchar_t* held;
    bool atStart;
  };
  const Row rows[] = {
      {"held_open", L"KvoManager.tmp", false},
      {"held_at_start_released_chosen", L"KvoManager.dat", true},
  };
  for (const Row& row : rows) {
    const std::string label = row.label;
    ws::Workspace w = StandardWorkspace(name + "\\" + label);
    const std::wstring work2 = Join(w.root, L"Work2");
    ws::MakeFolder(work2);
    const std::wstring app = Join(w.root, L"App");
    ws::MakeFolder(app);
    ws::MakeFolder(Join(app, L"Plugin"));
    registry.SetInstallPath(app);
    const ws::Bytes saved = ws::ReadBytes(w.settings);
    struct Held {
      HANDLE handle;
      void Release() {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
        handle = INVALID_HANDLE_VALUE;
      }
      ~Held() { Release(); }
    } held{CreateFileW(Join(w.root, row.held).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)};
    Expect(held.handle != INVALID_HANDLE_VALUE, label + ": cannot hold the file open");

    Program program;
    program.Start(w.exe, w.root);
    std::vector<std::wstring> paths = {w.plugin, w.preset, w.work};
    if (row.atStart) {
      paths = {app + L"\\Plugin", app + L"\\Preset", L""};
      ExpectPaths(program, paths[0], paths[1], paths[2], label + ": fallback shown");
      held.Release();
      CloseBrowser(OpenBrowserOn(program, IDC_PLUGIN_BROWSE, L"Plugin:", paths[0]), IDOK);
    } else {
      HWND browser = OpenBrowser(program, IDC_WORK_BROWSE, L"Work:");
      ChooseFolder(program, browser, work2);
      CloseBrowser(browser, IDOK);
      paths[2] = work2;
    }
    ExpectPaths(program, paths[0], paths[1], paths[2], label + ": before the close");
    program.Close();
    held.Release();
    if (row.atStart) {
      // Read again at close: the two folders not chosen keep the file's paths.
      ExpectFileBytes(w.settings, ws::Settings(paths[0], w.preset, w.work),
                      label + ": settings file after the Plugin folder was chosen");
      Expect(!ws::Exists(Join(w.root, L"KvoManager.tmp")),
             label + ": a temporary file was left behind");
    } else {
      ExpectFileBytes(w.settings, saved, label + ": settings file kept");
    }
  }
}

}  // namespace uicases
