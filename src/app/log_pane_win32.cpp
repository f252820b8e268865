#include <windows.h>

#include <new>
#include <string>

#include "reconcile/log_pane.h"
#include "resource.h"

namespace kvo {
namespace LogPane {

// The pane handle is the dialog that holds the edit control.
static HWND Dialog(LogPaneTarget* pane) { return reinterpret_cast<HWND>(pane); }

// While the pane's redrawing is off, appended lines are gathered here and
// handed to the edit control in one EM_REPLACESEL when it is switched back
// on: each EM_REPLACESEL costs the control (and Wine's most of all) time that
// grows with its text, so a report of 100,000 lines sent line by line takes
// minutes. The text the pane ends up with, and its order, are the same.
// During a run these are called on the run's thread, and each message is
// sent to the dialog's thread, which keeps taking them while it waits.
namespace {
HWND g_gatheringFor = nullptr;  // the dialog whose lines are being gathered
std::u16string g_gathered;
// Units appended since the pane was cleared: where its text ends. The text
// is only ever built by appending, and nobody can type into the pane.
std::size_t g_length = 0;

void Replace(HWND dialog, const char16_t* text) {
  // The user may click or select in the pane while a run writes to it: the
  // selection is put back at the end first, so every line goes there. (A
  // position past the end is taken as the end.)
  const WPARAM end = static_cast<WPARAM>(g_length < 0x7FFFFFFF ? g_length : 0x7FFFFFFF);
  SendDlgItemMessageW(dialog, IDC_LOG_PANE, EM_SETSEL, end, static_cast<LPARAM>(end));
  SendDlgItemMessageW(dialog, IDC_LOG_PANE, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
  g_length += std::char_traits<char16_t>::length(text);
}

void Flush() {
  if (g_gatheringFor != nullptr && !g_gathered.empty()) Replace(g_gatheringFor, g_gathered.c_str());
  std::u16string().swap(g_gathered);  // give the memory back
}
}  // namespace

void Clear(LogPaneTarget* dialog) {
  // Whatever was gathered belongs to the text being cleared.
  if (g_gatheringFor == Dialog(dialog)) {
    std::u16string().swap(g_gathered);
    g_gatheringFor = nullptr;
  }
  SendDlgItemMessageW(Dialog(dialog), IDC_LOG_PANE, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
  g_length = 0;
}

void Append(LogPaneTarget* dialog, const char16_t* text) {
  if (g_gatheringFor != Dialog(dialog)) {
    Replace(Dialog(dialog), text);
    return;
  }
  try {
    g_gathered += text;
  } catch (const std::bad_alloc&) {
    // No room to gather: hand over what is gathered, then this line, as
    // they come. Nothing is lost and nothing is thrown.
    Flush();
    Replace(Dialog(dialog), text);
  }
}

void SetRedraw(LogPaneTarget* dialog, bool on) {
  if (on) {
    if (g_gatheringFor == Dialog(dialog)) {
      Flush();
      g_gatheringFor = nullptr;
    }
  } else {
    if (g_gatheringFor != nullptr && g_gatheringFor != Dialog(dialog)) Flush();
    g_gatheringFor = Dialog(dialog);
  }
  SendDlgItemMessageW(Dialog(dialog), IDC_LOG_PANE, WM_SETREDRAW, on ? TRUE : FALSE, 0);
}

void RemoveLimit(LogPaneTarget* dialog) {
  SendDlgItemMessageW(Dialog(dialog), IDC_LOG_PANE, EM_LIMITTEXT, 0, 0);
}

}  // namespace LogPane
}  // namespace kvo
