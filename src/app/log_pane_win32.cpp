#include <windows.h>
#include <commctrl.h>

#include <new>
#include <string>

#include "app/result_pane.h"
#include "resource.h"

namespace kvo {
namespace {

// Puts the text at lParam at the end of the pane's text, wParam being where
// that text ends. One message, not EM_SETSEL then EM_REPLACESEL from the
// run's thread: between two sent messages the dialog's thread takes the
// user's input, and a click, a drag or Ctrl+A landing there would put the
// line in the middle of the log or replace the selected lines with it.
constexpr UINT kAppendAtEnd = WM_APP + 1;

// The pane's own messages. A multi-line edit control answers Esc by closing
// its dialog, so Esc with the keyboard in the pane would end the program:
// told that the pane does not want Esc, the dialog manager makes it
// IDCANCEL, which the dialog ignores, as it ignores Esc anywhere else.
// Ctrl+A selects the whole log, to be copied, which not every edit control
// does.
LRESULT CALLBACK PaneProc(HWND pane, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                          DWORD_PTR) {
  constexpr WPARAM kCtrlA = 1;  // the character Ctrl+A types
  switch (message) {
    case kAppendAtEnd:
      DefSubclassProc(pane, EM_SETSEL, wParam, static_cast<LPARAM>(wParam));
      DefSubclassProc(pane, EM_REPLACESEL, FALSE, lParam);
      return TRUE;
    case WM_GETDLGCODE: {
      LRESULT code = DefSubclassProc(pane, message, wParam, lParam);
      const MSG* key = reinterpret_cast<const MSG*>(lParam);
      if (key != nullptr && (key->message == WM_KEYDOWN || key->message == WM_CHAR) &&
          key->wParam == VK_ESCAPE) {
        code &= ~static_cast<LRESULT>(DLGC_WANTALLKEYS | DLGC_WANTMESSAGE);
      }
      return code;
    }
    case WM_CHAR:
      if (wParam == VK_ESCAPE) return 0;
      if (wParam == kCtrlA) {
        SendMessageW(pane, EM_SETSEL, 0, -1);
        return 0;
      }
      break;
    case WM_NCDESTROY:
      RemoveWindowSubclass(pane, PaneProc, id);
      break;
  }
  return DefSubclassProc(pane, message, wParam, lParam);
}

}  // namespace

void ResultPane::Attach(HWND dialog) {
  dialog_ = dialog;
  SetWindowSubclass(GetDlgItem(dialog, IDC_LOG_PANE), PaneProc, 1, 0);
}

void ResultPane::Replace(const char16_t* text) {
  // The user may click or select in the pane while a run writes to it: every
  // line goes to the end all the same. (A position past the end is taken as
  // the end.)
  const WPARAM end = static_cast<WPARAM>(length_ < 0x7FFFFFFF ? length_ : 0x7FFFFFFF);
  const LPARAM line = reinterpret_cast<LPARAM>(text);
  if (!SendDlgItemMessageW(dialog_, IDC_LOG_PANE, kAppendAtEnd, end, line)) {
    // The pane could not be subclassed: two messages, still at the end
    // unless the user acts between them.
    SendDlgItemMessageW(dialog_, IDC_LOG_PANE, EM_SETSEL, end, static_cast<LPARAM>(end));
    SendDlgItemMessageW(dialog_, IDC_LOG_PANE, EM_REPLACESEL, FALSE, line);
  }
  length_ += std::char_traits<char16_t>::length(text);
}

void ResultPane::Flush() {
  if (!gathered_.empty()) Replace(gathered_.c_str());
  std::u16string().swap(gathered_);  // give the memory back
}

void ResultPane::Clear() {
  // Whatever was gathered belongs to the text being cleared.
  std::u16string().swap(gathered_);
  gathering_ = false;
  SendDlgItemMessageW(dialog_, IDC_LOG_PANE, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
  length_ = 0;
}

void ResultPane::Append(const char16_t* text) {
  if (!gathering_) {
    Replace(text);
    return;
  }
  try {
    gathered_ += text;
  } catch (const std::bad_alloc&) {
    // No room to gather: hand over what is gathered, then this line, as
    // they come. Nothing is lost and nothing is thrown.
    Flush();
    Replace(text);
  }
}

void ResultPane::SetRedraw(bool on) {
  if (on && gathering_) Flush();
  gathering_ = !on;
  SendDlgItemMessageW(dialog_, IDC_LOG_PANE, WM_SETREDRAW, on ? TRUE : FALSE, 0);
}

void ResultPane::RemoveLimit() {
  SendDlgItemMessageW(dialog_, IDC_LOG_PANE, EM_LIMITTEXT, 0, 0);
}

}  // namespace kvo
