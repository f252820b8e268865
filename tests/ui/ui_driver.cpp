#include "ui_driver.h"

#include <cstdio>

namespace ui {

// ---- failures ------------------------------------------------------------

void Fail(const std::string& message) { throw CaseFailure{message}; }

void Expect(bool condition, const std::string& message) {
  if (!condition) Fail(message);
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr,
                      nullptr);
  return out;
}

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], n);
  return out;
}

std::string Visible(const std::wstring& text) {
  std::wstring shown;
  for (wchar_t c : text) {
    if (c == L'\r') {
      shown += L"\\r";
    } else if (c == L'\n') {
      shown += L"\\n";
    } else if (c < 0x20) {
      wchar_t code[8];
      wsprintfW(code, L"\\x%02x", c);
      shown += code;
    } else {
      shown += c;
    }
  }
  return "\"" + Utf8(shown) + "\"";
}

void ExpectSameText(const std::wstring& actual, const std::wstring& expected,
                    const std::string& what) {
  if (actual == expected) return;
  std::size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
  const std::size_t from = at > 40 ? at - 40 : 0;
  char head[160];
  std::snprintf(head, sizeof head, "%s differs at unit %zu (length %zu, expected %zu): ",
                what.c_str(), at, actual.size(), expected.size());
  Fail(std::string(head) + "got ..." + Visible(actual.substr(from, 100)) + "... expected ..." +
       Visible(expected.substr(from, 100)) + "...");
}

void Sleep(DWORD ms) { ::Sleep(ms); }

// ---- windows -------------------------------------------------------------

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

std::wstring TextOf(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kAnswerTimeoutMs, &length)) {
    Fail("no answer to WM_GETTEXTLENGTH");
  }
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(&text[0]),
                           SMTO_NORMAL, kAnswerTimeoutMs, &copied)) {
    Fail("no answer to WM_GETTEXT");
  }
  text.resize(copied);
  return text;
}

namespace {

struct OwnedSearch {
  HWND owner;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectOwned(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<OwnedSearch*>(data);
  if (GetWindow(window, GW_OWNER) == search->owner && IsWindowVisible(window) &&
      ClassOf(window) == L"#32770") {
    search->found.push_back(window);
  }
  return TRUE;
}

struct MainSearch {
  DWORD process;
  HWND found;
};

BOOL CALLBACK FindMain(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<MainSearch*>(data);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != search->process || GetWindow(window, GW_OWNER) != nullptr) return TRUE;
  if (!IsWindowVisible(window) || ClassOf(window) != L"#32770") return TRUE;
  wchar_t caption[64] = {};
  GetWindowTextW(window, caption, 64);  // a top-level caption is readable across processes
  if (std::wstring(caption) != L"Kvo Manager") return TRUE;
  search->found = window;
  return FALSE;
}

}  // namespace

std::vector<HWND> OwnedDialogs(HWND owner) {
  OwnedSearch search{owner, {}};
  EnumWindows(CollectOwned, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND WaitOwnedDialog(HWND owner, DWORD timeoutMs, HWND exclude) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  do {
    for (HWND window : OwnedDialogs(owner)) {
      if (window != exclude) return window;
    }
    Sleep(10);
  } while (GetTickCount64() < end);
  return nullptr;
}

bool WaitGone(HWND window, DWORD timeoutMs) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  while (IsWindow(window)) {
    if (GetTickCount64() >= end) return false;
    Sleep(10);
  }
  return true;
}

void Click(HWND dialog, int id) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

HWND FocusOf(DWORD thread) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(thread, &info)) return nullptr;
  return info.hwndFocus;
}

void PressKey(DWORD thread, UINT key) {
  HWND focus = FocusOf(thread);
  Expect(focus != nullptr, "no control has the keyboard focus");
  const UINT scan = MapVirtualKeyW(key, MAPVK_VK_TO_VSC);
  PostMessageW(focus, WM_KEYDOWN, key, 1 | (scan << 16));
  PostMessageW(focus, WM_KEYUP, key, 1 | (scan << 16) | (1u << 30) | (1u << 31));
}

std::vector<HWND> Children(HWND dialog) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    children.push_back(child);
  }
  return children;
}

RECT ClientRectOf(HWND dialog, HWND child) {
  RECT rect = {};
  GetWindowRect(child, &rect);
  POINT topLeft = {rect.left, rect.top};
  POINT bottomRight = {rect.right, rect.bottom};
  ScreenToClient(dialog, &topLeft);
  ScreenToClient(dialog, &bottomRight);
  return RECT{topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
}

std::string Box::Describe() const {
  std::string buttons = std::string(hasOk ? " OK" : "") + (hasCancel ? " Cancel" : "");
  return "box " + Visible(caption) + " / " + Visible(text) + " buttons" + buttons +
         " default " + std::to_string(defaultId);
}

Box ReadBox(HWND window) {
  Box box;
  box.window = window;
  box.caption = TextOf(window);
  HWND text = GetDlgItem(window, 0xFFFF);
  if (text != nullptr) box.text = TextOf(text);
  box.hasOk = GetDlgItem(window, IDOK) != nullptr;
  box.hasCancel = GetDlgItem(window, IDCANCEL) != nullptr;
  DWORD_PTR result = 0;
  if (SendMessageTimeoutW(window, DM_GETDEFID, 0, 0, SMTO_NORMAL, kAnswerTimeoutMs, &result) &&
      HIWORD(result) == DC_HASDEFID) {
    box.defaultId = LOWORD(result);
  }
  return box;
}

void ExpectBox(const Box& box, const std::wstring& caption, const std::wstring& text,
               bool okCancel, const std::string& what) {
  const bool buttonsRight = okCancel ? box.hasOk && box.hasCancel : box.hasOk && !box.hasCancel;
  Expect(box.caption == caption && box.text == text && buttonsRight,
         what + ": got " + box.Describe() + ", expected " + Visible(caption) + " / " +
             Visible(text) + (okCancel ? " with OK and Cancel" : " with OK alone"));
  if (okCancel) {
    // Cancel must look like the default button: Enter goes to it when it has
    // the focus. (Wine answers DM_GETDEFID with IDOK whatever the box's
    // default, so the style is what can be checked from outside.)
    const HWND cancel = GetDlgItem(box.window, IDCANCEL);
    const HWND ok = GetDlgItem(box.window, IDOK);
    const bool cancelLooksDefault = (GetWindowLongW(cancel, GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON;
    const bool okLooksDefault = (GetWindowLongW(ok, GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON;
    Expect(cancelLooksDefault && !okLooksDefault,
           what + ": Cancel is not the default button (" + box.Describe() + ")");
  }
}

bool WaitFocus(HWND window, DWORD timeoutMs) {
  const DWORD thread = GetWindowThreadProcessId(window, nullptr);
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  while (FocusOf(thread) != window) {
    if (GetTickCount64() >= end) return false;
    Sleep(20);
  }
  return true;
}

// ---- the program -----------------------------------------------------------

const wchar_t* CommandCaption(int button) { return button == IDC_EXECUTE ? L"実行" : L"チェックのみ"; }

const wchar_t* ConfirmationText(int button) {
  return button == IDC_EXECUTE ? L"ファイルの移動を実施します。\r\nよろしいですか？"
                        : L"チェックのみ実施します。\r\nよろしいですか？";
}

namespace {
// Processes started and not yet released, for TerminateStarted.
CRITICAL_SECTION g_startedLock;
std::vector<HANDLE>& Started() {
  static std::vector<HANDLE> started;
  static bool ready = (InitializeCriticalSection(&g_startedLock), true);
  (void)ready;
  return started;
}
void Track(HANDLE process, bool add) {
  std::vector<HANDLE>& started = Started();
  EnterCriticalSection(&g_startedLock);
  if (add) {
    started.push_back(process);
  } else {
    for (std::size_t i = 0; i < started.size(); ++i) {
      if (started[i] == process) {
        started.erase(started.begin() + static_cast<std::ptrdiff_t>(i));
        break;
      }
    }
  }
  LeaveCriticalSection(&g_startedLock);
}
}  // namespace

void TerminateStarted() {
  std::vector<HANDLE>& started = Started();
  EnterCriticalSection(&g_startedLock);
  for (HANDLE process : started) TerminateProcess(process, 99);
  for (HANDLE process : started) WaitForSingleObject(process, 5000);
  LeaveCriticalSection(&g_startedLock);
}

Program::~Program() {
  if (info_.hProcess != nullptr) {
    Track(info_.hProcess, false);
    if (Running()) {
      TerminateProcess(info_.hProcess, 99);
      WaitForSingleObject(info_.hProcess, 5000);
    }
    CloseHandle(info_.hProcess);
    CloseHandle(info_.hThread);
  }
}

bool Program::Running() const {
  return info_.hProcess != nullptr && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
}

void Program::Start(const std::wstring& exe, const std::wstring& folder) {
  // The program and whatever Wine starts on its behalf get NUL as standard
  // handles, not our output: a Wine background process holding the test
  // runner's pipe would keep the runner waiting long after the case ended.
  SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
  HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           &inheritable, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  if (nul != INVALID_HANDLE_VALUE) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdOutput = startup.hStdError = nul;
  }
  // Wine has failed a start with ERROR_INTERNAL_ERROR on a busy machine, at
  // once and before the program ran; the same start a moment later
  // succeeded. Any other error, or a third such failure, fails the case.
  BOOL started = FALSE;
  DWORD error = 0;
  for (int attempt = 0; attempt < 3 && !started; ++attempt) {
    if (attempt > 0) ::Sleep(250);
    std::wstring commandLine = L"\"" + exe + L"\"";
    started = CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr,
                             nul != INVALID_HANDLE_VALUE, 0, nullptr, folder.c_str(), &startup,
                             &info_);
    error = started ? 0 : GetLastError();
    if (!started && error != ERROR_INTERNAL_ERROR) break;
  }
  if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
  if (!started) {
    Fail("CreateProcessW failed for " + Utf8(exe) + " (error " + std::to_string(error) + ")");
  }
  Track(info_.hProcess, true);
  const ULONGLONG end = GetTickCount64() + kShowTimeoutMs;
  MainSearch search{info_.dwProcessId, nullptr};
  for (;;) {
    EnumWindows(FindMain, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr) break;
    if (!Running()) {
      DWORD code = 0;
      GetExitCodeProcess(info_.hProcess, &code);
      Fail("KvoManager.exe ended before showing its dialog, exit code " + std::to_string(code));
    }
    if (GetTickCount64() >= end) Fail("the dialog did not show within the time limit");
    Sleep(10);
  }
  dialog_ = search.found;
}

HWND Program::Control(int id) const {
  HWND control = GetDlgItem(dialog_, id);
  Expect(control != nullptr, "the dialog has no control " + std::to_string(id));
  return control;
}

std::wstring Program::ControlText(int id) const { return TextOf(Control(id)); }

HWND Program::Confirm(int button) {
  Click(dialog_, button);
  HWND box = WaitOwnedDialog(dialog_, kBoxTimeoutMs);
  Expect(box != nullptr, "no confirmation box after clicking " + std::to_string(button));
  ExpectBox(ReadBox(box), CommandCaption(button), ConfirmationText(button), true,
            "confirmation box of " + std::to_string(button));
  return box;
}

void Program::Run(int button, bool expectCompleted) {
  HWND confirmation = Confirm(button);
  PostMessageW(confirmation, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  Expect(WaitGone(confirmation, kBoxTimeoutMs), "the confirmation box did not close");
  HWND result = WaitOwnedDialog(dialog_, kRunTimeoutMs, confirmation);
  Expect(result != nullptr, "no result box after the run of " + std::to_string(button));
  ExpectBox(ReadBox(result), CommandCaption(button),
            expectCompleted ? L"完了しました" : L"処理を中断しました", false,
            "result box of " + std::to_string(button));
  PostMessageW(result, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  Expect(WaitGone(result, kBoxTimeoutMs), "the result box did not close");
}

void Program::ExpectQuiet(const std::string& what) {
  const ULONGLONG end = GetTickCount64() + kQuietMs;
  while (GetTickCount64() < end) {
    std::vector<HWND> boxes = OwnedDialogs(dialog_);
    if (!boxes.empty()) Fail(what + ": unexpected " + ReadBox(boxes.front()).Describe());
    Expect(Running() && IsWindow(dialog_), what + ": the dialog is gone");
    Sleep(20);
  }
}

DWORD Program::WaitExit(DWORD timeoutMs) {
  if (WaitForSingleObject(info_.hProcess, timeoutMs) != WAIT_OBJECT_0) {
    TerminateProcess(info_.hProcess, 99);
    WaitForSingleObject(info_.hProcess, 5000);
    Fail("KvoManager.exe did not end within the time limit");
  }
  DWORD code = 0;
  GetExitCodeProcess(info_.hProcess, &code);
  return code;
}

void Program::Close() {
  PostMessageW(dialog_, WM_CLOSE, 0, 0);
  const DWORD code = WaitExit(kBoxTimeoutMs);
  Expect(code == 0, "exit code after WM_CLOSE is " + std::to_string(code) + ", not 0");
}

// ---- keeping Wine's desktop alive ----------------------------------------

bool KeepDesktopAlive() {
  static HWND keeper = CreateWindowExW(0, L"STATIC", L"kvo_uitest keeper", WS_POPUP, 0, 0, 1, 1,
                                       nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  return keeper != nullptr;
}


std::wstring DosPath(const std::wstring& path) {
  std::wstring dos = path;
  if (!path.empty() && path[0] == L'/') {
    using ToDos = WCHAR*(CDECL*)(const char*);
    auto toDos = reinterpret_cast<ToDos>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
    if (toDos != nullptr) {
      if (WCHAR* converted = toDos(Utf8(path).c_str())) {
        dos = converted;
        HeapFree(GetProcessHeap(), 0, converted);
      }
    } else {
      dos = L"Z:" + path;
      for (wchar_t& c : dos) {
        if (c == L'/') c = L'\\';
      }
    }
  }
  wchar_t full[MAX_PATH];
  DWORD n = GetFullPathNameW(dos.c_str(), MAX_PATH, full, nullptr);
  return n > 0 && n < MAX_PATH ? std::wstring(full) : dos;
}

}  // namespace ui
