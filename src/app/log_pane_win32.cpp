#include <windows.h>

#include "app/log_pane.h"

namespace kvo {
namespace LogPane {

static HWND Dialog(void* dialog) { return static_cast<HWND>(dialog); }

void Clear(void* dialog) {
  SendDlgItemMessageW(Dialog(dialog), kLogPaneId, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
}

void Append(void* dialog, const char16_t* text) {
  SendDlgItemMessageW(Dialog(dialog), kLogPaneId, EM_REPLACESEL, FALSE,
                      reinterpret_cast<LPARAM>(text));
}

void SetRedraw(void* dialog, bool on) {
  SendDlgItemMessageW(Dialog(dialog), kLogPaneId, WM_SETREDRAW, on ? TRUE : FALSE, 0);
}

void RemoveLimit(void* dialog) {
  SendDlgItemMessageW(Dialog(dialog), kLogPaneId, EM_LIMITTEXT, 0, 0);
}

}  // namespace LogPane
}  // namespace kvo
