// Driving KvoManager.exe from a second process, as a user would: start it,
// find its windows, click, answer boxes, read texts. Every wait has a limit;
// a program still running when its case ends is terminated.
#pragma once

#include <windows.h>

#include "resource.h"

#include <string>
#include <vector>

namespace ui {

// ---- failures ------------------------------------------------------------

struct CaseFailure {
  std::string message;
};
[[noreturn]] void Fail(const std::string& message);
void Expect(bool condition, const std::string& message);

std::string Utf8(const std::wstring& text);
// A Linux path (as ctest and scripts hand them over) as Wine's file
// functions want it; other paths come back as they are, made full.
std::wstring DosPath(const std::wstring& path);
std::wstring Wide(const std::string& utf8);
// Text with \r, \n and non-ASCII made visible, for failure messages.
std::string Visible(const std::wstring& text);
// Fails with the first difference when `actual` is not exactly `expected`.
void ExpectSameText(const std::wstring& actual, const std::wstring& expected,
                    const std::string& what);

// ---- timing --------------------------------------------------------------

constexpr DWORD kShowTimeoutMs = 20000;  // a program's first window (Wine may be slow)
constexpr DWORD kBoxTimeoutMs = 10000;   // a box after a click
constexpr DWORD kRunTimeoutMs = 60000;    // a whole run, from OK to the result box
constexpr DWORD kQuietMs = 600;          // how long "nothing happens" is watched
// How long a window may take to answer a message. Not SMTO_ABORTIFHUNG: a
// thread that has just finished a long run counts as hung for a moment.
constexpr DWORD kAnswerTimeoutMs = 10000;

void Sleep(DWORD ms);

// ---- windows -------------------------------------------------------------

std::wstring ClassOf(HWND window);
// The text of a window of another process (SendMessageTimeout WM_GETTEXT).
std::wstring TextOf(HWND window);
// Visible top-level #32770 windows owned by `owner`.
std::vector<HWND> OwnedDialogs(HWND owner);
// Waits for a visible owned #32770 other than `exclude`; nullptr on timeout.
HWND WaitOwnedDialog(HWND owner, DWORD timeoutMs, HWND exclude = nullptr);
bool WaitGone(HWND window, DWORD timeoutMs);
// A click as the button would send it; never blocks on the handler.
void Click(HWND dialog, int id);
// A key press posted to whichever control of `thread` has the keyboard focus.
void PressKey(DWORD thread, UINT key);
HWND FocusOf(DWORD thread);
// Waits until `window` has its thread's keyboard focus. Focus follows the
// active window, so tests that rely on it must not run beside others.
bool WaitFocus(HWND window, DWORD timeoutMs);
// The children of `dialog` in Z order (template order for a dialog).
std::vector<HWND> Children(HWND dialog);
// A child's window rectangle in the dialog's client coordinates.
RECT ClientRectOf(HWND dialog, HWND child);

// A message box (or any owned #32770) as the user sees it.
struct Box {
  HWND window = nullptr;
  std::wstring caption;
  std::wstring text;       // static 0xFFFF
  int defaultId = 0;       // DM_GETDEFID, 0 when there is none
  bool hasOk = false;
  bool hasCancel = false;
  std::string Describe() const;
};
Box ReadBox(HWND box);
// Checks caption, text and buttons (OK alone, or OK and Cancel with Cancel default).
void ExpectBox(const Box& box, const std::wstring& caption, const std::wstring& text,
               bool okCancel, const std::string& what);

// ---- the program -----------------------------------------------------------

class Program {
 public:
  Program() = default;
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;
  ~Program();

  // Starts `exe` with `folder` as its current directory and waits for its
  // main dialog (class #32770, caption, no owner, this process).
  void Start(const std::wstring& exe, const std::wstring& folder);
  HWND dialog() const { return dialog_; }
  DWORD thread() const { return info_.dwThreadId; }
  HANDLE process() const { return info_.hProcess; }
  bool Running() const;

  HWND Control(int id) const;
  std::wstring ControlText(int id) const;
  std::wstring Pane() const { return ControlText(IDC_LOG_PANE); }

  // Clicks an action button, checks its confirmation box and answers it.
  // With OK: waits for the result box, checks it, closes it and returns.
  void Run(int button, bool expectCompleted);
  // The confirmation box of `button`, checked; left open.
  HWND Confirm(int button);
  // Fails when a box shows up or the program ends within kQuietMs.
  void ExpectQuiet(const std::string& what);

  // Posts WM_CLOSE and waits for the exit code, which must be 0.
  void Close();
  // Waits for the process to end; terminates it after `timeoutMs`.
  DWORD WaitExit(DWORD timeoutMs);

 private:
  PROCESS_INFORMATION info_ = {};
  HWND dialog_ = nullptr;
};

// Terminates every program started by a Program that is still running and
// waits for each to end (for the watchdog; the Program objects are left alone).
void TerminateStarted();

// The confirmation texts and captions of the two action buttons.
const wchar_t* CommandCaption(int button);
const wchar_t* ConfirmationText(int button);

// ---- keeping Wine's desktop alive ----------------------------------------

// A hidden top-level window held for the life of the driver: without any
// window Wine's desktop process quits and the next program needs seconds
// to show one. False when the window could not be made.
bool KeepDesktopAlive();

}  // namespace ui
