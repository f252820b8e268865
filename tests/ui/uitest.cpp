// UI-automation tests of KvoManager.exe, and the demo's driver.
//
//   kvo_uitest --exe KvoManager.exe [--lowmem KvoManagerLowMem.exe] [case ...]
//   kvo_uitest --list
//   kvo_uitest --make-demo FOLDER --exe KvoManager.exe
//   kvo_uitest --demo FOLDER
//   kvo_uitest --keep-desktop SECONDS STOPFILE READYFILE   (see desktop-keeper)
//
// Each case lays out a fresh folder (under .\uitest), starts the real
// program there and acts on it from this process, as a user would. Each case
// prints "PASS name" or "FAIL name: reason"; the last line is
// "N passed, N failed" and the exit code is non-zero when any case failed.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "resource.h"
#include "ui_driver.h"
#include "workspace.h"

using ui::Expect;
using ui::ExpectSameText;
using ui::Fail;
using ui::Program;
using ui::Utf8;
using ws::Join;

namespace {

// ---- options ---------------------------------------------------------------

std::wstring g_exe;        // KvoManager.exe as built
std::wstring g_lowMemExe;  // the build whose large allocations fail
std::wstring g_casesRoot;  // one sub-folder per case


// ---- helpers for the cases -------------------------------------------------

// A fresh folder for a case, with a copy of the program.
ws::Workspace NewWorkspace(const std::string& name, const std::wstring& exe = g_exe) {
  ws::Workspace workspace;
  workspace.Create(Join(g_casesRoot, ui::Wide(name)), exe);
  return workspace;
}

ws::Workspace StandardWorkspace(const std::string& name) {
  ws::Workspace workspace = NewWorkspace(name);
  ws::LayOutStandard(workspace);
  return workspace;
}

std::string Listing(const std::vector<std::wstring>& names) {
  std::wstring joined;
  for (const std::wstring& name : names) joined += (joined.empty() ? L"" : L", ") + name;
  return Utf8(L"[" + joined + L"]");
}

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

ULONGLONG WriteTime(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return static_cast<ULONGLONG>(data.ftLastWriteTime.dwHighDateTime) << 32 |
         data.ftLastWriteTime.dwLowDateTime;
}

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

// ---- the cases -------------------------------------------------------------

// Dialog template 100 (a plain DIALOG in Japanese), the manifest and the subsystem.
void CaseResources(const std::string&) {
  HMODULE module = LoadLibraryExW(g_exe.c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  Expect(module != nullptr, "cannot load the exe as a data file");
  struct Unload {
    HMODULE module;
    ~Unload() { FreeLibrary(module); }
  } unload{module};

  HRSRC found = FindResourceExW(module, MAKEINTRESOURCEW(5) /* RT_DIALOG */, MAKEINTRESOURCEW(100),
                                MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT));
  Expect(found != nullptr, "no dialog 100 in language 1041");
  const auto* data = static_cast<const unsigned char*>(LockResource(LoadResource(module, found)));
  const DWORD size = SizeofResource(module, found);
  std::size_t at = 0;
  auto need = [&](std::size_t n) { Expect(at + n <= size, "dialog template is cut short"); };
  auto word = [&]() -> unsigned { need(2); unsigned v = data[at] | data[at + 1] << 8; at += 2; return v; };
  auto dword = [&]() -> unsigned long { unsigned long lo = word(); return lo | static_cast<unsigned long>(word()) << 16; };
  auto text = [&]() {  // a zero-terminated UTF-16 string
    std::wstring s;
    for (unsigned unit = word(); unit != 0; unit = word()) s += static_cast<wchar_t>(unit);
    return s;
  };
  auto nameOrOrdinal = [&]() -> std::wstring {
    need(2);
    if ((data[at] | data[at + 1] << 8) == 0xFFFF) {
      word();
      return L"#" + std::to_wstring(word());
    }
    return text();
  };
  auto align = [&]() { at = (at + 3) & ~static_cast<std::size_t>(3); };

  Expect(!(data[0] == 1 && data[1] == 0 && data[2] == 0xFF && data[3] == 0xFF),
         "dialog 100 is a DIALOGEX template");
  const unsigned long style = dword();
  const unsigned long exStyle = dword();
  const unsigned count = word();
  const short x = static_cast<short>(word()), y = static_cast<short>(word());
  const short cx = static_cast<short>(word()), cy = static_cast<short>(word());
  const std::wstring menu = nameOrOrdinal();
  const std::wstring windowClass = nameOrOrdinal();
  const std::wstring caption = text();
  const unsigned long expectedStyle = DS_SETFONT | DS_FIXEDSYS | DS_CENTER | WS_POPUP |
                                      WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX |
                                      WS_MAXIMIZEBOX;
  Expect(style == expectedStyle, "dialog style is " + std::to_string(style) + ", expected " +
                                     std::to_string(expectedStyle));
  Expect(exStyle == WS_EX_WINDOWEDGE, "dialog extended style is " + std::to_string(exStyle));
  Expect(x == 0 && y == 0 && cx == 237 && cy == 186, "dialog position or size is wrong");
  Expect(menu.empty() && windowClass.empty(), "dialog has a menu or a class");
  Expect(caption == L"Kvo Manager", "caption is " + ui::Visible(caption));
  const unsigned points = word();
  const std::wstring face = text();
  Expect(points == 9 && face == L"Ms Shell Dlg", "font is " + ui::Visible(face) + " " + std::to_string(points));

  struct Item {
    int id;
    const wchar_t* windowClass;
    const wchar_t* text;
    short x, y, cx, cy;
    unsigned long style;
  };
  const unsigned long kChild = WS_CHILD | WS_VISIBLE;
  const unsigned long kLabel = kChild | SS_LEFT | WS_GROUP;
  const unsigned long kPath = kChild | ES_LEFT | ES_READONLY | WS_BORDER;
  const unsigned long kBrowse = kChild | BS_PUSHBUTTON;
  const Item expected[14] = {
      {IDC_FOLDER_GROUP, L"#128", L"フォルダ設定", 7, 7, 223, 86, kChild | BS_GROUPBOX},
      {0xFFFF, L"#130", L"Plugin:", 12, 20, 25, 8, kLabel},
      {0xFFFF, L"#130", L"Preset:", 12, 38, 25, 8, kLabel},
      {0xFFFF, L"#130", L"Work:", 12, 56, 25, 8, kLabel},
      {0xFFFF, L"#130", L"結果:", 12, 100, 25, 8, kLabel},
      {IDC_PLUGIN_PATH, L"#129", L"", 39, 18, 165, 13, kPath},
      {IDC_PRESET_PATH, L"#129", L"", 39, 36, 165, 13, kPath},
      {IDC_WORK_PATH, L"#129", L"", 39, 54, 165, 13, kPath},
      {IDC_LOG_PANE, L"#129", L"", 7, 111, 223, 68,
       kChild | ES_LEFT | ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_READONLY |
           ES_WANTRETURN | WS_BORDER | WS_VSCROLL},
      {IDC_PLUGIN_BROWSE, L"#128", L"...", 210, 18, 15, 13, kBrowse},
      {IDC_PRESET_BROWSE, L"#128", L"...", 210, 36, 15, 13, kBrowse},
      {IDC_WORK_BROWSE, L"#128", L"...", 210, 54, 15, 13, kBrowse},
      {IDC_EXECUTE, L"#128", L"実行", 12, 72, 50, 14, kChild | BS_DEFPUSHBUTTON | WS_TABSTOP},
      {IDC_CHECK_ONLY, L"#128", L"チェックのみ", 66, 72, 50, 14, kChild | BS_PUSHBUTTON | WS_TABSTOP},
  };
  Expect(count == 14, "the template has " + std::to_string(count) + " controls, not 14");
  for (int i = 0; i < 14; ++i) {
    align();
    const Item& e = expected[i];
    const std::string which = "control #" + std::to_string(i + 1);
    const unsigned long itemStyle = dword();
    const unsigned long itemExStyle = dword();
    const short ix = static_cast<short>(word()), iy = static_cast<short>(word());
    const short icx = static_cast<short>(word()), icy = static_cast<short>(word());
    const unsigned id = word();
    const std::wstring itemClass = nameOrOrdinal();
    const std::wstring itemText = nameOrOrdinal();
    const unsigned extra = word();
    at += extra;
    Expect(id == static_cast<unsigned>(e.id), which + " has id " + std::to_string(id));
    // Either the class atom or its name, as resource compilers differ.
  const std::wstring atomName = std::wstring(e.windowClass) == L"#128"   ? L"BUTTON"
                                : std::wstring(e.windowClass) == L"#129" ? L"EDIT"
                                                                         : L"STATIC";
  Expect(itemClass == e.windowClass || lstrcmpiW(itemClass.c_str(), atomName.c_str()) == 0,
         which + " has class " + Utf8(itemClass));
    Expect(itemText == e.text, which + " has text " + ui::Visible(itemText));
    Expect(ix == e.x && iy == e.y && icx == e.cx && icy == e.cy, which + " is misplaced");
    Expect(itemStyle == e.style, which + " has style " + std::to_string(itemStyle) +
                                     ", expected " + std::to_string(e.style));
    Expect(itemExStyle == 0, which + " has an extended style");
  }

  HRSRC manifest = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  Expect(manifest != nullptr, "no manifest resource 1");
  const char* bytes = static_cast<const char*>(LockResource(LoadResource(module, manifest)));
  const std::string xml(bytes, SizeofResource(module, manifest));
  for (const char* part :
       {"name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\" processorArchitecture=\"*\"",
        "publicKeyToken=\"6595b64144ccf1df\"", "level=\"asInvoker\"", "uiAccess=\"false\""}) {
    Expect(xml.find(part) != std::string::npos, std::string("the manifest lacks ") + part);
  }

  // A GUI exe, without DLLs of its own beside it.
  const ws::Bytes image = ws::ReadBytes(g_exe);
  Expect(image.size() > 0x40, "the exe is too small");
  const std::size_t pe = image[0x3C] | image[0x3D] << 8 | image[0x3E] << 16 | image[0x3F] << 24;
  Expect(pe + 24 + 70 < image.size(), "no PE header");
  const unsigned subsystem = image[pe + 24 + 68] | image[pe + 24 + 69] << 8;
  Expect(subsystem == IMAGE_SUBSYSTEM_WINDOWS_GUI, "the exe is not a GUI program");
  const std::string raw(image.begin(), image.end());
  for (const char* dll : {"libstdc++-6.dll", "libgcc_s_seh-1.dll", "libwinpthread-1.dll"}) {
    Expect(raw.find(dll) == std::string::npos, std::string("the exe needs ") + dll);
  }
}

// Paths shown, the pane empty, 1008 focused and default; close saves the same bytes.
void CaseStartAndClose(const std::string& name) {
  ws::Workspace w = StandardWorkspace(name);
  const ws::Bytes before = ws::ReadBytes(w.settings);
  SetOldTimestamp(w.settings);
  const ULONGLONG oldTime = WriteTime(w.settings);
  Program program;
  program.Start(w.exe, w.root);
  ExpectPaths(program, w.plugin, w.preset, w.work, "after start");
  Expect(program.Pane().empty(), "the pane is not empty at start");
  Expect(ui::WaitFocus(program.Control(IDC_EXECUTE), ui::kBoxTimeoutMs), "button 1008 has not the focus");
  DWORD_PTR def = 0;
  SendMessageTimeoutW(program.dialog(), DM_GETDEFID, 0, 0, SMTO_NORMAL, ui::kAnswerTimeoutMs, &def);
  Expect(LOWORD(def) == IDC_EXECUTE, "the default button is " + std::to_string(LOWORD(def)));
  program.Close();
  ExpectFileBytes(w.settings, before, "settings file after close");
  Expect(WriteTime(w.settings) > oldTime, "the settings file was not rewritten at close");
  Expect(!ws::Exists(Join(w.root, L"KvoManager.tmp")), "a temporary file was left behind");
}

// Both buttons' confirmation boxes; Cancel, Esc and Enter (Cancel is the
// default) start nothing.
void CaseConfirmationBoxes(const std::string& name) {
  ws::Workspace w = StandardWorkspace(name);
  Program program;
  program.Start(w.exe, w.root);
  for (int button : {IDC_EXECUTE, IDC_CHECK_ONLY}) {
    for (const char* answer : {"Cancel", "Esc", "Enter"}) {
      const std::string what = "button " + std::to_string(button) + ", " + answer;
      HWND box = program.Confirm(button);
      Expect(ui::WaitFocus(GetDlgItem(box, IDCANCEL), ui::kBoxTimeoutMs),
             what + ": Cancel does not have the focus");
      if (std::strcmp(answer, "Cancel") == 0) {
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
      } else {
        ui::PressKey(program.thread(), std::strcmp(answer, "Esc") == 0 ? VK_ESCAPE : VK_RETURN);
      }
      Expect(ui::WaitGone(box, ui::kBoxTimeoutMs), what + ": the box did not close");
      program.ExpectQuiet(what);
      Expect(program.Pane().empty(), what + ": something was written to the pane");
      ExpectStandardFilesUntouched(w, "after " + what);
    }
  }

  // A close asked for while the box is open waits for it; then no run
  // starts, OK or not, and the dialog ends.
  HWND box = program.Confirm(IDC_EXECUTE);
  PostMessageW(program.dialog(), WM_CLOSE, 0, 0);
  ui::Sleep(ui::kQuietMs);
  Expect(program.Running() && IsWindowVisible(program.dialog()) && IsWindowVisible(box),
         "the close did not wait for the confirmation box");
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  const ULONGLONG end = GetTickCount64() + ui::kRunTimeoutMs;
  while (program.Running()) {
    for (HWND other : ui::OwnedDialogs(program.dialog())) {
      if (other != box) Fail("OK under a close: " + ui::ReadBox(other).Describe());
    }
    Expect(GetTickCount64() < end, "OK under a close: the program did not end");
    ui::Sleep(10);
  }
  Expect(program.WaitExit(0) == 0, "OK under a close: exit code is not 0");
  ExpectStandardFilesUntouched(w, "after OK under a close");
}

void CaseCheckOnlyRun(const std::string& name) {
  ws::Workspace w = StandardWorkspace(name);
  Program program;
  program.Start(w.exe, w.root);
  program.Run(IDC_CHECK_ONLY, true);
  ExpectPaneAfter(program, ws::kStandardCheckLog, "pane after a check-only run");
  ExpectStandardFilesUntouched(w, "after a check-only run");
  program.Close();
}

void CaseExecuteRun(const std::string& name) {
  ws::Workspace w = StandardWorkspace(name);
  Program program;
  program.Start(w.exe, w.root);
  program.Run(IDC_EXECUTE, true);
  ExpectPaneAfter(program, ws::kStandardExecuteLog, "pane after an execute run");
  ExpectNames(w.plugin, {L"Alpha.vac", L"Base.vac", L"Beta.vac", L"Gamma.vac", L"音源.vac"},
              "Plugin after an execute run");
  ExpectNames(w.work, {L"Old.vac", L"Unused.vac"}, "Work after an execute run");
  program.Close();
}

// After a run, cancelled confirmations leave its log and the files alone.
void CaseCancelKeepsLog(const std::string& name) {
  ws::Workspace w = StandardWorkspace(name);
  Program program;
  program.Start(w.exe, w.root);
  program.Run(IDC_CHECK_ONLY, true);
  for (int button : {IDC_EXECUTE, IDC_CHECK_ONLY}) {
    HWND box = program.Confirm(button);
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    Expect(ui::WaitGone(box, ui::kBoxTimeoutMs), "the confirmation box did not close");
    const std::string what = "cancelled " + std::to_string(button);
    program.ExpectQuiet(what);
    ExpectPaneAfter(program, ws::kStandardCheckLog, "pane after " + what);
    ExpectStandardFilesUntouched(w, "after " + what);
  }
  program.Close();
}

// Esc (as IDCANCEL and as a key) and IDOK leave the dialog open; Enter
// presses 1008, which still asks first.
void CaseEscAndEnter(const std::string& name) {
  ws::Workspace w = StandardWorkspace(name);
  Program program;
  program.Start(w.exe, w.root);
  PostMessageW(program.dialog(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  program.ExpectQuiet("after WM_COMMAND IDCANCEL");
  Expect(ui::WaitFocus(program.Control(IDC_EXECUTE), ui::kBoxTimeoutMs), "button 1008 has not the focus");
  ui::PressKey(program.thread(), VK_ESCAPE);
  program.ExpectQuiet("after the Esc key");
  PostMessageW(program.dialog(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  program.ExpectQuiet("after WM_COMMAND IDOK");

  Expect(ui::WaitFocus(program.Control(IDC_EXECUTE), ui::kBoxTimeoutMs), "button 1008 has not the focus");
  ui::PressKey(program.thread(), VK_RETURN);
  HWND box = ui::WaitOwnedDialog(program.dialog(), ui::kBoxTimeoutMs);
  Expect(box != nullptr, "Enter on the dialog showed no confirmation box");
  ui::ExpectBox(ui::ReadBox(box), ui::CommandCaption(IDC_EXECUTE), ui::ConfirmationText(IDC_EXECUTE), true,
                "box after Enter");
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  Expect(ui::WaitGone(box, ui::kBoxTimeoutMs), "the confirmation box did not close");
  program.ExpectQuiet("after cancelling the Enter box");
  ExpectStandardFilesUntouched(w, "after Esc and Enter");
  program.Close();
}

// Runs that stop at a precondition: exact log, "処理を中断しました", nothing moved.
void CaseAbortedRuns(const std::string& name) {
  struct Row {
    const char* label;
    int button;
    const wchar_t* log;
    const wchar_t* held;  // a file another program holds open with no sharing
  };
  const Row rows[] = {
      {"no_idlist", IDC_EXECUTE, L"■準備\r\nIdList.txt: 読み込み失敗\r\n", nullptr},
      {"no_idlist_bad_folders", IDC_CHECK_ONLY, L"■準備\r\nIdList.txt: 読み込み失敗\r\n", nullptr},
      {"bad_work", IDC_EXECUTE, L"■準備\r\nWork: 読み込み失敗\r\n", nullptr},
      {"empty_plugin", IDC_CHECK_ONLY, L"■準備\r\nPlugin: 読み込み失敗\r\n", nullptr},
      // Read as empty, ExList.txt would send Base.vac to Work.
      {"exlist_held", IDC_EXECUTE, L"■準備\r\nExList.txt: 読み込み失敗\r\n", L"ExList.txt"},
      // Left out, Song1.kvo would send Alpha.vac and Beta.vac to Work.
      {"preset_held", IDC_EXECUTE, L"■準備\r\nSong1.kvo: 読み込み失敗\r\n", L"Preset\\Song1.kvo"},
  };
  for (const Row& row : rows) {
    ws::Workspace w = StandardWorkspace(name + "\\" + row.label);
    const std::string label = row.label;
    HANDLE held = INVALID_HANDLE_VALUE;
    if (row.held != nullptr) {
      held = CreateFileW(Join(w.root, row.held).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
      Expect(held != INVALID_HANDLE_VALUE, label + ": cannot hold the file open");
    }
    struct Release {
      HANDLE handle;
      ~Release() { if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle); }
    } release{held};
    if (label.rfind("no_idlist", 0) == 0) ws::Remove(Join(w.root, L"IdList.txt"));
    if (label == "no_idlist_bad_folders") {
      ws::WriteBytes(w.settings, ws::Settings(Join(w.root, L"none1"), Join(w.root, L"none2"),
                                              Join(w.root, L"none3")));
    } else if (label == "bad_work") {
      ws::WriteBytes(w.settings, ws::Settings(w.plugin, w.preset, Join(w.root, L"Missing")));
    } else if (label == "empty_plugin") {
      ws::WriteBytes(w.settings, ws::Settings(L"", w.preset, w.work));
    }
    Program program;
    program.Start(w.exe, w.root);
    program.Run(row.button, false);
    ExpectPaneAfter(program, row.log, label + " pane");
    ExpectStandardFilesUntouched(w, "after " + label);
    program.Close();
  }
}

// Folder fields that are not absolute (as the registry gives them without
// InstallPath) name folders under the one the program was started in, on
// every run, although each run leaves another folder current.
void CaseRelativeFolders(const std::string& name) {
  ws::Workspace w = StandardWorkspace(name);
  ws::WriteBytes(w.settings, ws::Settings(L"Plugin", L"Preset", L".\\Work"));
  Program program;
  program.Start(w.exe, w.root);
  program.Run(IDC_CHECK_ONLY, true);
  ExpectPaneAfter(program, ws::kStandardCheckLog, "pane after a check-only run");
  program.Run(IDC_EXECUTE, true);
  ExpectPaneAfter(program, ws::kStandardExecuteLog, "pane after an execute run");
  program.Run(IDC_EXECUTE, true);
  ExpectPaneAfter(program, ws::kStandardRepeatLog, "pane after a second execute run");
  ExpectPaths(program, L"Plugin", L"Preset", L".\\Work", "after the runs");
  program.Close();
  ExpectFileBytes(w.settings, ws::Settings(L"Plugin", L"Preset", L".\\Work"),
                  "settings file after close");
}

// A log far beyond the edit control's default 32,767 characters, whole.
// Few, long lines: Wine's edit control takes time per append that grows with
// the text, so many short lines would make this slow without testing more.
void CaseLongLog(const std::string& name) {
  ws::Workspace w = NewWorkspace(name);
  const int presets = 120;
  const std::wstring presetStem(70, L'p');
  const std::wstring archiveStem(220, L'a');
  std::vector<std::pair<std::int32_t, std::wstring>> ids;
  std::wstring listing;
  for (int i = 1; i <= presets; ++i) {
    wchar_t number[8];
    wsprintfW(number, L"%03d", i);
    const std::wstring preset = presetStem + number + L".kvo";
    const std::wstring archive = archiveStem + number + L".vac";
    ids.emplace_back(1000 + i, archive);
    ws::WriteBytes(Join(w.preset, preset), ws::Preset({1000 + i}));
    listing += preset + L"\r\n  - " + archive + L"\r\n";
  }
  ws::WriteBytes(Join(w.root, L"IdList.txt"), ws::IdList(ids));
  w.WriteSettings();
  const std::wstring expected = L"■準備\r\n→ Plugin/Preset/Work = 0/120/0\r\n■kvoの状態\r\n"
                                L"→ 不足無し/不足有り = 0/120\r\n" + listing + L"\r\n";
  Expect(expected.size() > 36000, "the expected log is not long enough to test anything");
  Program program;
  program.Start(w.exe, w.root);
  program.Run(IDC_CHECK_ONLY, true);
  ExpectPaneAfter(program, expected, "long pane");
  program.Close();
}

// Each run's log replaces the previous one entirely.
void CaseTwoRuns(const std::string& name) {
  ws::Workspace w = StandardWorkspace(name);
  Program program;
  program.Start(w.exe, w.root);
  program.Run(IDC_CHECK_ONLY, true);
  ExpectPaneAfter(program, ws::kStandardCheckLog, "pane after the first run");
  program.Run(IDC_EXECUTE, true);
  ExpectPaneAfter(program, ws::kStandardExecuteLog, "pane after the second run");
  program.Run(IDC_EXECUTE, true);
  ExpectPaneAfter(program, ws::kStandardRepeatLog, "pane after the third run");
  program.Close();
}

// Settings files of every shape give terminated paths and a 1560-byte file at close.
void CaseSettingsFile(const std::string& name) {
  struct Row {
    const char* label;
    std::function<ws::Bytes(const ws::Workspace&)> file;
    // Paths shown and saved, given the workspace.
    std::function<std::vector<std::wstring>(const ws::Workspace&)> paths;
  };
  const std::wstring a259(259, L'A');
  const Row rows[] = {
      {"longer", [](const ws::Workspace& w) {
         ws::Bytes b = ws::Settings(w.plugin, w.preset, w.work);
         b.insert(b.end(), 40, 0x5A);
         return b;
       }, [](const ws::Workspace& w) { return std::vector<std::wstring>{w.plugin, w.preset, w.work}; }},
      {"short", [](const ws::Workspace& w) {
         ws::Bytes b = ws::Settings(w.plugin, w.preset, w.work);
         b.resize(520 + 2 * 10);  // the Preset path cut after 10 units, no terminator
         return b;
       }, [](const ws::Workspace& w) {
         return std::vector<std::wstring>{w.plugin, w.preset.substr(0, 10), L""};
       }},
      {"empty", [](const ws::Workspace&) { return ws::Bytes(); },
       [](const ws::Workspace&) { return std::vector<std::wstring>{L"", L"", L""}; }},
      {"unterminated", [](const ws::Workspace&) {
         ws::Bytes b(1560);
         for (std::size_t i = 0; i < b.size(); i += 2) b[i] = 'A';
         return b;
       }, [a259](const ws::Workspace&) { return std::vector<std::wstring>{a259, a259, a259}; }},
  };
  for (const Row& row : rows) {
    const std::string label = row.label;
    ws::Workspace w = StandardWorkspace(name + "\\" + label);
    ws::WriteBytes(w.settings, row.file(w));
    const std::vector<std::wstring> paths = row.paths(w);
    Program program;
    program.Start(w.exe, w.root);
    ExpectPaths(program, paths[0], paths[1], paths[2], label);
    program.Close();
    ExpectFileBytes(w.settings, ws::Settings(paths[0], paths[1], paths[2]),
                    label + ": settings file after close");
  }
}

// First start: the folders come from InstallPath, or stay empty.
void CaseRegistryFirstStart(const std::string& name) {
  RegistryGuard registry;
  struct Row {
    const char* label;
    int kind;  // 0 InstallPath set, 1 key without the value, 2 no key
    bool trailingBackslash;
  };
  const Row rows[] = {{"install_path", 0, false},
                      {"install_path_backslash", 0, true},
                      {"value_missing", 1, false},
                      {"key_missing", 2, false}};
  for (const Row& row : rows) {
    const std::string label = row.label;
    ws::Workspace w = StandardWorkspace(name + "\\" + label);
    ws::Remove(w.settings);
    const std::wstring app = Join(w.root, L"App");
    std::vector<std::wstring> expected = {L"", L"", L""};
    if (row.kind == 0) {
      registry.SetInstallPath(row.trailingBackslash ? app + L"\\" : app);
      expected = {app + L"\\Plugin", app + L"\\Preset", L""};
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
      // Once the file exists the registry is no longer read, even for empty paths.
      registry.SetInstallPath(app);
      Program again;
      again.Start(w.exe, w.root);
      ExpectPaths(again, L"", L"", L"", "second start with a settings file");
      again.Close();
    }
  }

  // InstallPath values too long for the folders: read no further than the
  // field, and no folder derived (the bare installation folder would be wrong).
  // 252 units is the longest that still takes "\Plugin".
  for (std::size_t length : {300u, 258u, 252u}) {
    const std::string label = "install_path_" + std::to_string(length);
    ws::Workspace w = NewWorkspace(name + "\\" + label);
    const std::wstring install = Join(w.root, L"Z") + std::wstring(length - w.root.size() - 2, L'x');
    registry.SetInstallPath(install);
    std::vector<std::wstring> expected = {L"", L"", L""};
    if (length <= 252) expected = {install + L"\\Plugin", install + L"\\Preset", L""};
    {
      Program program;
      program.Start(w.exe, w.root);
      ExpectPaths(program, expected[0], expected[1], expected[2], label);
      program.Close();
    }
    ExpectFileBytes(w.settings, ws::Settings(expected[0], expected[1], expected[2]),
                    label + ": settings file after close");
  }
}

// Browsing: titles, the current folder preselected, cancel, choose; the new
// folder is used by the next run and saved only at close, even when the
// close is asked for while the browser is open.
void CaseBrowse(const std::string& name) {
  ws::Workspace w = StandardWorkspace(name);
  const std::wstring work2 = Join(w.root, L"Work2");
  ws::MakeFolder(work2);
  ws::WriteBytes(Join(work2, L"音源.vac"), std::string("archive"));
  ws::Remove(Join(w.work, L"音源.vac"));
  const std::wstring work3 = Join(w.root, L"Work3");
  ws::MakeFolder(work3);
  const ws::Bytes saved = ws::ReadBytes(w.settings);
  Program program;
  program.Start(w.exe, w.root);

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

// A chosen item without a file-system path leaves the slot as it was.
void CaseBrowseNoFileSystemPath(const std::string& name) {
  ws::Workspace w = StandardWorkspace(name);
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

// The eight anchored controls follow the client size; the six others stay.
void CaseLayout(const std::string& name) {
  ws::Workspace w = StandardWorkspace(name);
  Program program;
  program.Start(w.exe, w.root);
  HWND dialog = program.dialog();
  const std::vector<HWND> children = ui::Children(dialog);
  Expect(children.size() == 14, "the dialog has " + std::to_string(children.size()) + " children");
  // Template order: 1000, four labels, 1001-1004, 1005-1007, 1008, 1009.
  const int kinds[14] = {0, -1, -1, -1, -1, 0, 0, 0, 2, 1, 1, 1, -1, -1};
  const int ids[14] = {IDC_FOLDER_GROUP, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, IDC_PLUGIN_PATH, IDC_PRESET_PATH, IDC_WORK_PATH, IDC_LOG_PANE, IDC_PLUGIN_BROWSE, IDC_PRESET_BROWSE, IDC_WORK_BROWSE, IDC_EXECUTE, IDC_CHECK_ONLY};
  RECT initial[14];
  for (int i = 0; i < 14; ++i) {
    Expect(GetDlgCtrlID(children[i]) == ids[i], "child " + std::to_string(i) + " has id " +
                                                    std::to_string(GetDlgCtrlID(children[i])));
    initial[i] = ui::ClientRectOf(dialog, children[i]);
  }
  RECT client0;
  GetClientRect(dialog, &client0);
  RECT window0;
  GetWindowRect(dialog, &window0);

  auto check = [&](const std::string& step) {
    RECT client;
    GetClientRect(dialog, &client);
    const int dx = client.right - client0.right;
    const int dy = client.bottom - client0.bottom;
    for (int i = 0; i < 14; ++i) {
      RECT want = initial[i];
      switch (kinds[i]) {
        case 0: want.right += dx; break;                  // stretches with the width
        case 1: want.left += dx; want.right += dx; break;  // follows the right edge
        case 2: want.right += dx; want.bottom += dy; break;
        default: break;                                    // stays
      }
      const RECT got = ui::ClientRectOf(dialog, children[i]);
      // MoveWindow with a negative size gives an empty window: compare what is possible.
      if (want.right < want.left) want.right = want.left;
      if (want.bottom < want.top) want.bottom = want.top;
      char message[200];
      std::snprintf(message, sizeof message,
                    "%s (client change %d,%d): control %d at %ld,%ld,%ld,%ld, expected %ld,%ld,%ld,%ld",
                    step.c_str(), dx, dy, ids[i], got.left, got.top, got.right, got.bottom,
                    want.left, want.top, want.right, want.bottom);
      Expect(EqualRect(&got, &want) != FALSE, message);
    }
  };
  auto resize = [&](int dw, int dh, const std::string& step) {
    SetWindowPos(dialog, nullptr, 0, 0, window0.right - window0.left + dw,
                 window0.bottom - window0.top + dh, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    check(step);
  };
  resize(100, 0, "wider by 100");
  resize(0, 50, "taller by 50");
  resize(120, 80, "grown");
  resize(-60, -40, "shrunk below the initial size");
  resize(0, 0, "restored to the initial size");

  auto show = [&](int command, bool zoomed, bool iconic, const std::string& step) {
    ShowWindowAsync(dialog, command);
    const ULONGLONG end = GetTickCount64() + ui::kBoxTimeoutMs;
    while ((IsZoomed(dialog) != FALSE) != zoomed || (IsIconic(dialog) != FALSE) != iconic) {
      Expect(GetTickCount64() < end, step + ": the window did not change its state");
      ui::Sleep(10);
    }
    ui::Sleep(200);
    if (!iconic) check(step);
  };
  show(SW_MAXIMIZE, true, false, "maximised");
  show(SW_RESTORE, false, false, "restored from maximised");
  show(SW_MINIMIZE, false, true, "minimised");
  show(SW_RESTORE, false, false, "restored from minimised");
  program.Close();
}

// The old settings file stays as it was when the close cannot write the new
// one, and when it was there at start but could not be read (held by another
// program): the fields then show the registry's folders, which replace the
// file only once the user has chosen a folder.
void CaseSettingsSaveBlocked(const std::string& name) {
  RegistryGuard registry;
  struct Row {
    const char* label;
    const wchar_t* held;  // held open with no sharing: during the close, or at start
    bool atStart;
    bool choose;  // Work2 chosen before the close
  };
  const Row rows[] = {
      {"held_open", L"KvoManager.tmp", false, true},
      {"folder", nullptr, false, true},
      {"held_at_start", L"KvoManager.dat", true, false},
      {"held_at_start_chosen", L"KvoManager.dat", true, true},
  };
  for (const Row& row : rows) {
    const std::string label = row.label;
    ws::Workspace w = StandardWorkspace(name + "\\" + label);
    const std::wstring work2 = Join(w.root, L"Work2");
    ws::MakeFolder(work2);
    const std::wstring app = Join(w.root, L"App");
    registry.SetInstallPath(app);
    const ws::Bytes saved = ws::ReadBytes(w.settings);
    HANDLE blocker = INVALID_HANDLE_VALUE;
    if (row.held != nullptr) {
      blocker = CreateFileW(Join(w.root, row.held).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
      Expect(blocker != INVALID_HANDLE_VALUE, label + ": cannot hold the file open");
    } else {
      ws::MakeFolder(Join(w.root, L"KvoManager.tmp"));
    }
    struct Release {
      HANDLE handle;
      ~Release() { if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle); }
    } release{blocker};

    Program program;
    program.Start(w.exe, w.root);
    std::vector<std::wstring> paths = {w.plugin, w.preset, w.work};
    if (row.atStart) {
      paths = {app + L"\\Plugin", app + L"\\Preset", L""};
      ExpectPaths(program, paths[0], paths[1], paths[2], label + ": fallback shown");
      CloseHandle(release.handle);
      release.handle = INVALID_HANDLE_VALUE;
    }
    if (row.choose) {
      HWND browser = OpenBrowser(program, IDC_WORK_BROWSE, L"Work:");
      ChooseFolder(program, browser, work2);
      CloseBrowser(browser, IDOK);
      paths[2] = work2;
      ExpectPaths(program, paths[0], paths[1], paths[2], label + ": after choosing Work2");
    }
    program.Close();
    if (row.atStart && row.choose) {
      ExpectFileBytes(w.settings, ws::Settings(paths[0], paths[1], paths[2]),
                      label + ": settings file after a folder was chosen");
    } else {
      ExpectFileBytes(w.settings, saved, label + ": settings file kept");
    }
    if (row.atStart) {
      Expect(!ws::Exists(Join(w.root, L"KvoManager.tmp")), label + ": a temporary file was left behind");
    }
  }
}

// Memory running out in the middle of a run: the result box says so, the
// dialog lives on and the next run works.
void CaseOutOfMemory(const std::string& name) {
  Expect(!g_lowMemExe.empty(), "no --lowmem program given");
  ws::Workspace w = NewWorkspace(name, g_lowMemExe);
  ws::LayOutStandard(w);
  // The preset reader wants a buffer twice the file's size: 24 MiB, above the
  // 16 MiB that this build of the program can allocate at once.
  ws::Bytes huge = ws::Preset({100});
  huge.resize(12u << 20, 0xEE);
  ws::WriteBytes(Join(w.preset, L"Huge.kvo"), huge);
  Program program;
  program.Start(w.exe, w.root);
  program.Run(IDC_CHECK_ONLY, false);
  ExpectPaneAfter(program, L"■準備\r\n", "pane after running out of memory");
  ws::Remove(Join(w.preset, L"Huge.kvo"));
  program.Run(IDC_CHECK_ONLY, true);
  ExpectPaneAfter(program, ws::kStandardCheckLog, "pane after the next run");
  program.Close();
}

struct Case {
  const char* name;
  void (*run)(const std::string& name);
};

// A case that is still running after this long is failed, and the program
// it drives is ended, so that a hang shows as a FAIL line, not as a silent
// timeout of the test runner.
constexpr DWORD kCaseLimitMs = 150000;
const char* volatile g_currentCase = nullptr;
std::atomic<int> g_passed{0};
std::atomic<int> g_failed{0};

// Waits on a timer that is armed when a case starts and cancelled when it
// ends. (A timer, not an event set at both ends: a case that ends before
// this thread first waits would leave one signal for two, and from then on
// the gaps between cases would be timed instead of the cases.)
DWORD WINAPI Watchdog(void* timer) {
  WaitForSingleObject(static_cast<HANDLE>(timer), INFINITE);
  std::printf("FAIL %s: still running after %lu s; stopped\n%d passed, %d failed\n",
              g_currentCase != nullptr ? g_currentCase : "?", kCaseLimitMs / 1000, g_passed.load(),
              g_failed.load() + 1);
  std::fflush(stdout);
  ui::TerminateStarted();
  // Not ExitProcess: the case's thread is stopped wherever it is, perhaps
  // inside the C runtime holding a lock that the runtime's own shutdown
  // would wait for. The output is written; nothing else is left to do.
  TerminateProcess(GetCurrentProcess(), 1);
  return 1;
}

const Case kCases[] = {
    {"resources", CaseResources},
    {"start_and_close", CaseStartAndClose},
    {"confirmation_boxes", CaseConfirmationBoxes},
    {"check_only_run", CaseCheckOnlyRun},
    {"execute_run", CaseExecuteRun},
    {"cancel_keeps_log", CaseCancelKeepsLog},
    {"esc_and_enter", CaseEscAndEnter},
    {"aborted_runs", CaseAbortedRuns},
    {"relative_folders", CaseRelativeFolders},
    {"long_log", CaseLongLog},
    {"two_runs", CaseTwoRuns},
    {"settings_file", CaseSettingsFile},
    {"registry_first_start", CaseRegistryFirstStart},
    {"browse", CaseBrowse},
    {"browse_no_file_system_path", CaseBrowseNoFileSystemPath},
    {"layout", CaseLayout},
    {"settings_save_blocked", CaseSettingsSaveBlocked},
    {"out_of_memory", CaseOutOfMemory},
};

// ---- the demo --------------------------------------------------------------

int MakeDemo(const std::wstring& folder) {
  ws::Workspace workspace;
  workspace.Create(folder, g_exe);
  ws::LayOutDemo(workspace);
  std::printf("workspace ready: %s\n", Utf8(folder).c_str());
  return 0;
}

// A check-only run in the demo workspace; prints the log and, while the
// dialog still shows it, the window's place for the screenshot. The dialog
// stays open until `done` exists (or 60 s), then closes.
int RunDemo(const std::wstring& folder) {
  const std::wstring shotInfo = Join(folder, L"demo-window.txt");
  const std::wstring done = Join(folder, L"demo-shot.done");
  ws::Remove(shotInfo);
  ws::Remove(done);
  Program program;
  program.Start(Join(folder, L"KvoManager.exe"), folder);
  HWND dialog = program.dialog();
  SetWindowPos(dialog, nullptr, 40, 40, 760, 620, SWP_NOZORDER);
  program.Run(IDC_CHECK_ONLY, true);
  const std::wstring log = program.Pane();
  std::string text = Utf8(log);
  std::string unixText;
  for (char c : text) {
    if (c != '\r') unixText += c;
  }
  std::fwrite(unixText.data(), 1, unixText.size(), stdout);
  std::fflush(stdout);
  RECT rect;
  GetWindowRect(dialog, &rect);
  char place[100];
  std::snprintf(place, sizeof place, "%ld %ld %ld %ld\n", rect.left, rect.top,
                rect.right - rect.left, rect.bottom - rect.top);
  ws::WriteBytes(shotInfo, std::string(place));
  const ULONGLONG end = GetTickCount64() + 60000;
  while (!ws::Exists(done) && GetTickCount64() < end) ui::Sleep(50);
  program.Close();
  return 0;
}

// Holds a hidden window for up to `seconds`, or until `stopFile` exists, so
// that Wine's desktop process stays up between the test programs (without
// any window it quits, and the next program waits seconds for a new one).
// `readyFile` is written once the window, and so the desktop, exists: the
// tests must not start before, or one of them would start the desktop.
int KeepDesktop(int seconds, const std::wstring& stopFile, const std::wstring& readyFile) {
  if (!ui::KeepDesktopAlive()) return 1;
  ws::WriteBytes(readyFile, std::string("ready\n"));
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds) * IDC_FOLDER_GROUP;
  while (GetTickCount64() < end && !ws::Exists(stopFile)) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 200, QS_ALLINPUT);
  }
  return 0;
}

int Usage() {
  std::fprintf(stderr,
               "usage: kvo_uitest --exe KvoManager.exe [--lowmem KvoManagerLowMem.exe] [case ...]\n"
               "       kvo_uitest --list\n"
               "       kvo_uitest --make-demo FOLDER --exe KvoManager.exe\n"
               "       kvo_uitest --demo FOLDER\n"
               "       kvo_uitest --keep-desktop SECONDS STOPFILE READYFILE\n");
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> selected;
  std::wstring makeDemo, demo;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == L"--list") {
      for (const Case& c : kCases) std::printf("%s\n", c.name);
      return 0;
    } else if (arg == L"--exe" && hasValue) {
      g_exe = ui::DosPath(argv[++i]);
    } else if (arg == L"--lowmem" && hasValue) {
      g_lowMemExe = ui::DosPath(argv[++i]);
    } else if (arg == L"--make-demo" && hasValue) {
      makeDemo = ui::DosPath(argv[++i]);
    } else if (arg == L"--keep-desktop" && i + 3 < argc) {
      const int seconds = _wtoi(argv[i + 1]);
      return KeepDesktop(seconds, ui::DosPath(argv[i + 2]), ui::DosPath(argv[i + 3]));
    } else if (arg == L"--demo" && hasValue) {
      demo = ui::DosPath(argv[++i]);
    } else if (arg.rfind(L"--", 0) == 0) {
      return Usage();
    } else {
      selected.push_back(Utf8(arg));
    }
  }

  wchar_t display[256] = {};
  if (GetEnvironmentVariableW(L"DISPLAY", display, 256) == 0 && makeDemo.empty()) {
    std::printf("FAIL setup: DISPLAY is not set; the UI tests need an X display "
                "(scripts/test and scripts/demo start Xvfb)\n0 passed, 1 failed\n");
    return 1;
  }
  ui::KeepDesktopAlive();

  try {
    if (!makeDemo.empty()) {
      if (g_exe.empty()) return Usage();
      return MakeDemo(makeDemo);
    }
    if (!demo.empty()) return RunDemo(demo);
  } catch (const ui::CaseFailure& failure) {
    std::fprintf(stderr, "demo: %s\n", failure.message.c_str());
    return 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "demo: %s\n", error.what());
    return 1;
  }

  if (g_exe.empty()) return Usage();
  if (GetACP() != 932) {
    std::printf("FAIL setup: the ANSI code page is %u, not 932; run under the ja_JP locale "
                "(scripts/lib.sh)\n0 passed, 1 failed\n", GetACP());
    return 1;
  }
  wchar_t current[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, current);
  g_casesRoot = Join(current, L"uitest");

  for (const std::string& name : selected) {
    bool known = false;
    for (const Case& c : kCases) known = known || name == c.name;
    if (!known) {
      std::printf("FAIL %s: no such case\n0 passed, 1 failed\n", name.c_str());
      return 1;
    }
  }

  HANDLE caseTimer = CreateWaitableTimerW(nullptr, TRUE, nullptr);
  CloseHandle(CreateThread(nullptr, 0, Watchdog, caseTimer, 0, nullptr));

  for (const Case& c : kCases) {
    if (!selected.empty()) {
      bool wanted = false;
      for (const std::string& name : selected) wanted = wanted || name == c.name;
      if (!wanted) continue;
    }
    const ULONGLONG started = GetTickCount64();
    std::string failure;
    g_currentCase = c.name;
    LARGE_INTEGER due;
    due.QuadPart = -static_cast<LONGLONG>(kCaseLimitMs) * 10000;  // relative, in 100 ns
    SetWaitableTimer(caseTimer, &due, 0, nullptr, nullptr, FALSE);
    try {
      c.run(c.name);
    } catch (const ui::CaseFailure& error) {
      failure = error.message;
    } catch (const std::exception& error) {
      failure = std::string("exception: ") + error.what();
    }
    CancelWaitableTimer(caseTimer);
    const double seconds = (GetTickCount64() - started) / 1000.0;
    if (failure.empty()) {
      ++g_passed;
      std::printf("PASS %s (%.1f s)\n", c.name, seconds);
    } else {
      ++g_failed;
      std::printf("FAIL %s: %s (%.1f s)\n", c.name, failure.c_str(), seconds);
    }
    std::fflush(stdout);
  }
  std::printf("%d passed, %d failed\n", g_passed.load(), g_failed.load());
  std::fflush(stdout);
  return g_failed == 0 ? 0 : 1;
}
