// Process entry and the dialog procedure: the whole program is one modal dialog.
#include <windows.h>

#include "app/manager_app.h"
#include "platform/system.h"
#include "resource.h"

namespace {

// The dialog procedure reaches the one application object only through this.
kvo::ManagerApp* g_app = nullptr;

INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return g_app->OnInitDialog(window);
    case WM_SIZE:
      g_app->OnSize(LOWORD(lParam), HIWORD(lParam));
      return TRUE;
    case WM_CLOSE:
      g_app->OnClose();
      return TRUE;
    case WM_COMMAND: {
      // Notifications (edit changes, focus and so on) are left to the dialog manager.
      if (HIWORD(wParam) != 0) return FALSE;
      const int id = LOWORD(wParam);
      // A click that was on its way when a run started: no second run, and
      // no folder changes under the run. Nor under one of our boxes or the
      // browser (the dialog is disabled then, but another program can still
      // send a command): a run or a browser started inside their loops
      // would close the dialog under them.
      if (g_app->Running() || g_app->modalDepth > 0) return TRUE;
      if (id >= IDC_PLUGIN_BROWSE && id <= IDC_WORK_BROWSE) {
        g_app->OnBrowse(static_cast<kvo::FolderSlot>(id - IDC_PLUGIN_BROWSE));
      } else if (id == IDC_EXECUTE || id == IDC_CHECK_ONLY) {
        g_app->OnCommand(id == IDC_EXECUTE ? kvo::RunMode::kExecute : kvo::RunMode::kCheckOnly);
      }
      // Everything else, IDOK and IDCANCEL (Enter, Esc) included, is swallowed:
      // Esc must not close the dialog.
      return TRUE;
    }
    case WM_TIMER:
      g_app->OnProgressTimer();
      return TRUE;
    // A dialog procedure answers these through DWLP_MSGRESULT.
    case WM_SETCURSOR:
      if (!g_app->OnSetCursor(LOWORD(lParam))) return FALSE;
      SetWindowLongPtrW(window, DWLP_MSGRESULT, TRUE);
      return TRUE;
    case WM_QUERYENDSESSION:
      SetWindowLongPtrW(window, DWLP_MSGRESULT, g_app->OnQueryEndSession() ? TRUE : FALSE);
      return TRUE;
    case WM_ENDSESSION:
      if (wParam != FALSE) g_app->OnEndSession();
      SetWindowLongPtrW(window, DWLP_MSGRESULT, 0);
      return TRUE;
    default:
      if (message != 0 && message == g_app->taskbarButtonCreated) {
        g_app->OnTaskbarButtonCreated();
        return TRUE;
      }
      return FALSE;
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // Folder fields that are not absolute name folders under this one, on every
  // run, whatever the runs make current meanwhile.
  kvo::platform::RecordStartFolder();
  // Zeroed so that a WM_SIZE arriving before WM_INITDIALOG finds no controls to move.
  kvo::ManagerApp app{};
  g_app = &app;
  const INT_PTR result =
      DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_MANAGER), nullptr, DialogProc, 0);
  g_app = nullptr;
  return static_cast<int>(result);
}
