// The window while a run works: it answers, moves and minimises, shows how
// far the run is, takes no input, lets a close wait for the run, and stops
// the run when Windows ends the session. One workspace of many presets,
// whose runs take seconds, serves every check.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "case_support.h"
#include "cases.h"

namespace uicases {

namespace {

// Enough presets for a check-only run of over 2 s under Wine here.
constexpr int kManyPresets = 16000;
constexpr int kManyArchives = 40;
// The longest a window may take to answer while a run works.
constexpr double kAnswerLimitMs = 250;
// Moved across file systems, with time to catch its copy under way.
constexpr LONGLONG kBigArchiveBytes = 512LL << 20;

const int kInputControls[] = {IDC_PLUGIN_PATH,   IDC_PRESET_PATH,   IDC_WORK_PATH,
                              IDC_PLUGIN_BROWSE, IDC_PRESET_BROWSE, IDC_WORK_BROWSE,
                              IDC_EXECUTE,       IDC_CHECK_ONLY};

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

LARGE_INTEGER Now() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now;
}

std::wstring Title(HWND window) {
  wchar_t title[256] = {};
  GetWindowTextW(window, title, 256);  // a top-level caption: no message is sent
  return title;
}

// Sends WM_NULL to a window every 50 ms from another thread, as another
// program would, and keeps the longest wait for the answer.
class AnswerProbe {
 public:
  explicit AnswerProbe(HWND window) : window_(window) {
    thread_ = CreateThread(nullptr, 0, Main, this, 0, nullptr);
    Expect(thread_ != nullptr, "cannot start the probing thread");
  }
  ~AnswerProbe() { Stop(); }
  void Stop() {
    if (thread_ == nullptr) return;
    stop_ = true;
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    thread_ = nullptr;
  }
  double longestMs() const { return longestMs_; }
  int probes() const { return probes_; }

 private:
  static DWORD WINAPI Main(void* self) {
    auto& probe = *static_cast<AnswerProbe*>(self);
    while (!probe.stop_) {
      const LARGE_INTEGER sent = Now();
      DWORD_PTR ignored = 0;
      if (!SendMessageTimeoutW(probe.window_, WM_NULL, 0, 0, SMTO_NORMAL, ui::kAnswerTimeoutMs,
                               &ignored)) {
        probe.longestMs_ = ui::kAnswerTimeoutMs;
      }
      const double waited = Milliseconds(sent, Now());
      if (waited > probe.longestMs_) probe.longestMs_ = waited;
      ++probe.probes_;
      Sleep(50);
    }
    return 0;
  }
  HWND window_;
  HANDLE thread_ = nullptr;
  std::atomic<bool> stop_{false};
  double longestMs_ = 0;
  int probes_ = 0;
};

// Answers the confirmation box of `button` with OK; returns once the run
// shows in the title.
HWND StartRun(Program& program, int button) {
  HWND confirmation = program.Confirm(button);
  PostMessageW(confirmation, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  const ULONGLONG end = GetTickCount64() + ui::kBoxTimeoutMs;
  while (Title(program.dialog()).rfind(L"Kvo Manager - ", 0) != 0) {
    Expect(ui::OwnedDialogs(program.dialog()).size() <= 1 && GetTickCount64() < end,
           "the title did not show the run (the run ended at once, or never started)");
    ui::Sleep(5);
  }
  return confirmation;
}

HWND ResultBox(const Program& program, HWND confirmation) {
  for (HWND window : ui::OwnedDialogs(program.dialog())) {
    if (window != confirmation) return window;
  }
  return nullptr;
}

DWORD_PTR Answer(HWND window, UINT message, WPARAM wParam, LPARAM lParam, const std::string& what) {
  DWORD_PTR result = 0;
  Expect(SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, ui::kAnswerTimeoutMs,
                             &result) != 0,
         "no answer to " + what);
  return result;
}

void ExpectInputEnabled(const Program& program, bool enabled, const std::string& when) {
  for (int id : kInputControls) {
    Expect((IsWindowEnabled(program.Control(id)) != FALSE) == enabled,
           "control " + std::to_string(id) + (enabled ? " is disabled " : " is enabled ") + when);
  }
  Expect(IsWindowEnabled(program.Control(IDC_LOG_PANE)) != FALSE, "the pane is disabled " + when);
}

// The names in `folder` that match `pattern`.
std::vector<std::wstring> Matching(const std::wstring& folder, const wchar_t* pattern) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(Join(folder, pattern).c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    names.push_back(data.cFileName);
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return names;
}

// The lines of the taskbar stand-in's log, which it may be writing meanwhile.
std::vector<std::string> Lines(const std::wstring& path) {
  std::vector<std::string> lines;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return lines;
  std::string bytes(GetFileSize(file, nullptr), '\0');
  DWORD read = 0;
  if (!bytes.empty()) ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr);
  CloseHandle(file);
  bytes.resize(read);
  std::string line;
  for (char c : bytes) {
    if (c == '\n') {
      lines.push_back(line);
      line.clear();
    } else if (c != '\r') {
      line += c;
    }
  }
  return lines;
}

// Posts TaskbarButtonCreated, as the shell does when the button exists, and
// waits for the stand-in's log to say what came of it.
void AnnounceTaskbarButton(const Program& program, const std::wstring& log, const char* expected) {
  const std::size_t before = Lines(log).size();
  PostMessageW(program.dialog(), RegisterWindowMessageW(L"TaskbarButtonCreated"), 0, 0);
  const ULONGLONG end = GetTickCount64() + ui::kBoxTimeoutMs;
  for (;;) {
    const std::vector<std::string> lines = Lines(log);
    for (std::size_t i = before; i < lines.size(); ++i) {
      if (lines[i].find(expected) != std::string::npos) return;
    }
    Expect(GetTickCount64() < end, std::string("the taskbar object was not asked for (") +
                                       expected + ")");
    ui::Sleep(10);
  }
}

// A folder on another file system (tmpfs), for moves that must copy; gone
// with the case.
class OtherFileSystem {
 public:
  OtherFileSystem() {
    folder_ = ui::DosPath(L"/dev/shm/kvo-uitest-" + std::to_wstring(GetCurrentProcessId()));
    ws::RemoveTree(folder_);
    ws::MakeFolder(folder_);
  }
  ~OtherFileSystem() { ws::RemoveTree(folder_); }
  const std::wstring& folder() const { return folder_; }

 private:
  std::wstring folder_;
};

void WriteSparse(const std::wstring& path, LONGLONG size) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  Expect(file != INVALID_HANDLE_VALUE, "cannot create " + Utf8(path));
  LARGE_INTEGER end;
  end.QuadPart = size;
  const bool ok = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
  CloseHandle(file);
  Expect(ok, "cannot size " + Utf8(path));
}

}  // namespace

void CaseRunWindow(const std::string& name) {
  const ULONGLONG laying = GetTickCount64();
  ws::Workspace w = NewWorkspace(name);
  OtherFileSystem shm;
  w.work = Join(shm.folder(), L"Work");
  ws::MakeFolder(w.work);
  // Writing the presets takes seconds under Wine: they are kept for the
  // next time, outside the case's folder, which every case starts afresh.
  w.preset = Join(g_casesRoot, L"many-presets");
  ws::LayOutManyPresets(w, kManyPresets, kManyArchives);
  // Not needed by any preset: the execute run moves them to Work, on the
  // other file system, the big one first.
  WriteSparse(Join(w.plugin, L"Big.vac"), kBigArchiveBytes);
  for (const wchar_t* small : {L"Zz1.vac", L"Zz2.vac", L"Zz3.vac"}) {
    ws::WriteBytes(Join(w.plugin, small), std::string("archive"));
  }
  std::printf("  workspace of %d presets laid out in %.1f s\n", kManyPresets,
              (GetTickCount64() - laying) / 1000.0);
  const std::wstring counts = L"→ Plugin/Preset/Work = " + std::to_wstring(kManyArchives + 4) +
                              L"/" + std::to_wstring(kManyPresets) + L"/0\r\n";
  const std::wstring checkLog = L"■準備\r\n" + counts + L"■kvoの状態\r\n→ 不足無し/不足有り = " +
                                std::to_wstring(kManyPresets) + L"/0\r\n\r\n";
  const std::wstring reading = L"Kvo Manager - プリセットを読み込み中 ";
  const std::wstring readingTotal = L"/" + std::to_wstring(kManyPresets);

  // ---- a check-only run, watched from outside --------------------------------
  {
    Program program;
    program.Start(w.exe, w.root);
    HWND dialog = program.dialog();
    Expect(ui::WaitFocus(program.Control(IDC_EXECUTE), ui::kBoxTimeoutMs),
           "button 1008 has not the focus at start");
    HWND confirmation = program.Confirm(IDC_CHECK_ONLY);
    AnswerProbe probe(dialog);
    const LARGE_INTEGER started = Now();
    PostMessageW(confirmation, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    std::set<std::wstring> titles;
    const ULONGLONG titleEnd = GetTickCount64() + ui::kBoxTimeoutMs;
    while (Title(dialog).rfind(L"Kvo Manager - ", 0) != 0) {
      Expect(GetTickCount64() < titleEnd, "the title did not show the run");
      ui::Sleep(5);
    }

    ExpectInputEnabled(program, false, "during the run");
    Expect(Answer(dialog, WM_SETCURSOR, reinterpret_cast<WPARAM>(dialog),
                  MAKELPARAM(HTCLIENT, WM_MOUSEMOVE), "WM_SETCURSOR") == TRUE,
           "WM_SETCURSOR over the window is not answered during the run");
    // A posted minimise is taken from the queue: only a thread that works
    // through its queue can do it so soon.
    const LARGE_INTEGER minimising = Now();
    PostMessageW(dialog, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    while (!IsIconic(dialog) && Milliseconds(minimising, Now()) < 5000) ui::Sleep(2);
    const double minimisedMs = Milliseconds(minimising, Now());
    Expect(IsIconic(dialog) != FALSE, "the window did not minimise during the run");
    PostMessageW(dialog, WM_SYSCOMMAND, SC_RESTORE, 0);
    const ULONGLONG restoreEnd = GetTickCount64() + ui::kBoxTimeoutMs;
    while (IsIconic(dialog) && GetTickCount64() < restoreEnd) ui::Sleep(5);
    // The user selects in the pane while the presets are read: the lines
    // written after that still go to the end.
    const ULONGLONG readingEnd = GetTickCount64() + ui::kBoxTimeoutMs;
    while (Title(dialog).rfind(reading, 0) != 0) {
      Expect(GetTickCount64() < readingEnd, "the title never showed the presets being read");
      ui::Sleep(2);
    }
    Answer(program.Control(IDC_LOG_PANE), EM_SETSEL, 0, 3, "EM_SETSEL");
    // Input that must do nothing while the run works.
    ui::PressKey(program.thread(), VK_ESCAPE);
    ui::PressKey(program.thread(), VK_RETURN);
    ui::Click(dialog, IDC_EXECUTE);
    ui::Click(dialog, IDC_WORK_BROWSE);
    Expect(ResultBox(program, confirmation) == nullptr,
           "the run ended before everything was tried during it; it needs more presets");

    HWND result = nullptr;
    std::wstring titleAtBox;
    const ULONGLONG end = GetTickCount64() + ui::kRunTimeoutMs;
    while ((result = ResultBox(program, confirmation)) == nullptr) {
      titles.insert(Title(dialog));
      Expect(GetTickCount64() < end, "no result box after the run");
      ui::Sleep(10);
    }
    titleAtBox = Title(dialog);
    const double runMs = Milliseconds(started, Now());
    probe.Stop();
    ExpectInputEnabled(program, true, "when the result box shows");
    Expect(titleAtBox == L"Kvo Manager", "the title is " + ui::Visible(titleAtBox) +
                                             " when the result box shows");
    ui::ExpectBox(ui::ReadBox(result), L"チェックのみ", L"完了しました", false, "result box");
    Expect(ui::OwnedDialogs(dialog).size() == 1, "more than one box after the run");
    std::printf("  check-only run %.0f ms; longest answer %.0f ms of %d probes; minimised in "
                "%.0f ms\n",
                runMs, probe.longestMs(), probe.probes(), minimisedMs);
    Expect(runMs > 2000, "the run took only " + std::to_string(static_cast<int>(runMs)) +
                             " ms; it needs more presets to show anything");
    Expect(probe.longestMs() <= kAnswerLimitMs,
           "the window took " + std::to_string(static_cast<int>(probe.longestMs())) +
               " ms to answer during the run");
    Expect(minimisedMs <= kAnswerLimitMs,
           "the window took " + std::to_string(static_cast<int>(minimisedMs)) + " ms to minimise");
    bool countSeen = false;
    for (const std::wstring& title : titles) {
      if (title.rfind(reading, 0) == 0 && title.size() > reading.size() + readingTotal.size() &&
          title.compare(title.size() - readingTotal.size(), readingTotal.size(), readingTotal) == 0) {
        countSeen = true;
      } else if (title != L"Kvo Manager - フォルダを読み込み中" &&
                 title != L"Kvo Manager - リストを読み込み中" &&
                 title != L"Kvo Manager - 結果を作成中" && title != L"Kvo Manager") {
        Fail("title during the run: " + ui::Visible(title));
      }
    }
    Expect(countSeen, "the title never showed the presets read");

    PostMessageW(result, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    Expect(ui::WaitGone(result, ui::kBoxTimeoutMs), "the result box did not close");
    ExpectPaneAfter(program, checkLog, "pane after the watched run");
    Expect(ui::WaitFocus(program.Control(IDC_EXECUTE), ui::kBoxTimeoutMs),
           "the focus did not go back to button 1008");
    // No second run, no browser, no close from the input during the run.
    program.ExpectQuiet("after the watched run");

    // ---- a close during a run waits for it ----------------------------------
    SetOldTimestamp(w.settings);
    const ULONGLONG oldTime = WriteTime(w.settings);
    confirmation = StartRun(program, IDC_CHECK_ONLY);
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    const ULONGLONG boxEnd = GetTickCount64() + ui::kRunTimeoutMs;
    while ((result = ResultBox(program, confirmation)) == nullptr) {
      Expect(program.Running() && GetTickCount64() < boxEnd,
             "a close during the run: no result box");
      ui::Sleep(10);
    }
    ui::ExpectBox(ui::ReadBox(result), L"チェックのみ", L"完了しました", false,
                  "result box of a run with a close waiting");
    ExpectPaneAfter(program, checkLog, "pane of a run with a close waiting");
    PostMessageW(result, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    const ULONGLONG exitEnd = GetTickCount64() + ui::kBoxTimeoutMs;
    while (program.Running()) {
      for (HWND other : ui::OwnedDialogs(dialog)) {
        if (other != result) Fail("after the close: " + ui::ReadBox(other).Describe());
      }
      Expect(GetTickCount64() < exitEnd, "a close during the run: the program did not end");
      ui::Sleep(10);
    }
    Expect(program.WaitExit(0) == 0, "a close during the run: exit code is not 0");
    Expect(WriteTime(w.settings) > oldTime, "a close during the run did not save the settings");
  }

  // ---- Windows ending the session during a run, and the taskbar button ---------
  // The build whose taskbar object writes down what it is asked, in the
  // program's place, so that it finds the same settings file.
  Expect(!g_fakeTaskbarExe.empty(), "no --faketaskbar program given");
  Expect(CopyFileW(g_fakeTaskbarExe.c_str(), w.exe.c_str(), FALSE) != 0,
         "cannot copy the fake taskbar build");
  const std::wstring taskbarLog = Join(w.root, L"taskbar.log");
  ws::Remove(taskbarLog);
  Program program;
  program.Start(w.exe, w.root);
  HWND dialog = program.dialog();
  AnnounceTaskbarButton(program, taskbarLog, "HrInit");
  const std::size_t from = Lines(taskbarLog).size();
  Expect(Answer(dialog, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, "WM_QUERYENDSESSION") == TRUE,
         "WM_QUERYENDSESSION outside a run is not answered TRUE");

  // Stopped during a copy to another file system: the handler returns with
  // the run ended, no temporary file left, and the settings saved.
  SetOldTimestamp(w.settings);
  const ULONGLONG oldTime = WriteTime(w.settings);
  HWND confirmation = StartRun(program, IDC_EXECUTE);
  const ULONGLONG copyEnd = GetTickCount64() + ui::kRunTimeoutMs;
  while (Matching(w.work, L"kvo*.tmp").empty()) {
    Expect(!ws::Exists(Join(w.work, L"Big.vac")) && ResultBox(program, confirmation) == nullptr &&
               GetTickCount64() < copyEnd,
           "the copy of Big.vac was not seen under way");
    ui::Sleep(1);
  }
  Expect(Answer(dialog, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, "WM_QUERYENDSESSION") == FALSE,
         "WM_QUERYENDSESSION during a run is not answered FALSE");
  Answer(dialog, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, "WM_ENDSESSION");
  const std::vector<std::wstring> left = Matching(w.work, L"kvo*.tmp");
  Expect(left.empty(), "a temporary copy was left: " + (left.empty() ? "" : Utf8(left[0])));
  Expect(WriteTime(w.settings) > oldTime, "WM_ENDSESSION during a run did not save the settings");
  const bool bigMoved = ws::Exists(Join(w.work, L"Big.vac"));
  Expect(bigMoved != ws::Exists(Join(w.plugin, L"Big.vac")), "Big.vac is not in one folder");
  ExpectNames(w.work, bigMoved ? std::vector<std::wstring>{L"Big.vac"} : std::vector<std::wstring>{},
              "Work after the stop");
  // Windows ends the process now; when it does not, the run's end is shown.
  HWND result = nullptr;
  const ULONGLONG boxEnd = GetTickCount64() + ui::kRunTimeoutMs;
  while ((result = ResultBox(program, confirmation)) == nullptr) {
    Expect(GetTickCount64() < boxEnd, "no result box after the stop");
    ui::Sleep(10);
  }
  ui::ExpectBox(ui::ReadBox(result), L"実行", L"処理を中断しました", false,
                "result box of the stopped run");
  ExpectPaneAfter(program,
                  L"■準備\r\n" + counts + L"■不要ファイルの移動(Plugin -> Work)\r\n→ 成功/失敗 = " +
                      (bigMoved ? L"1" : L"0") + L"/0\r\n",
                  "pane of the stopped run");
  PostMessageW(result, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  Expect(ui::WaitGone(result, ui::kBoxTimeoutMs), "the result box did not close");

  // The taskbar button showed the run on the dialog's thread alone: the
  // moving bar while nothing can be counted, the presets read, and no
  // progress once the run was over.
  const std::vector<std::string> lines = Lines(taskbarLog);
  const std::string thread = std::to_string(program.thread()) + " ";
  bool counted = false;
  std::string calls;
  for (std::size_t i = from; i < lines.size(); ++i) {
    Expect(lines[i].rfind(thread, 0) == 0, "taskbar called off the dialog's thread: " + lines[i]);
    const std::string call = lines[i].substr(thread.size());
    calls += call + "; ";
    counted = counted || (call.rfind("value ", 0) == 0 &&
                          call.find("/" + std::to_string(kManyPresets)) != std::string::npos &&
                          call != "value 0/" + std::to_string(kManyPresets));
  }
  Expect(lines.size() > from + 2 && lines[from] == thread + "state 1" &&
             lines.back() == thread + "state 0" && counted,
         "taskbar calls of the run: " + calls);
  // A taskbar object that cannot be made leaves the program as it was.
  ws::WriteBytes(Join(w.root, L"taskbar.unavailable"), std::string("1"));
  AnnounceTaskbarButton(program, taskbarLog, "unavailable");
  program.Close();
}

}  // namespace uicases
