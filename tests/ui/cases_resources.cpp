// What the exe carries (dialog template, manifest, subsystem) and how the
// dialog's controls follow its size.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "case_support.h"
#include "cases.h"

namespace uicases {

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

}  // namespace uicases
