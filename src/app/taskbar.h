// The progress bar on the dialog's taskbar button.
#pragma once

#include <windows.h>
#include <shobjidl.h>

#include "reconcile/progress.h"

namespace kvo {

// The shell's ITaskbarList3 for the dialog. Made when the taskbar says the
// button exists (TaskbarButtonCreated, again after Explorer restarts) and
// used on the dialog's thread only, as the object requires. Without it (no
// shell, a Windows before 7, the object refused) every call does nothing.
class TaskbarProgress {
 public:
  // A fresh object for `window`'s button; the old one, if any, is let go.
  void Connect(HWND window);
  // A count shows as a bar; a stage without one as the moving bar.
  void Show(const RunPosition& position);
  // No progress on the button.
  void Clear();
  void Disconnect();

 private:
  ITaskbarList3* list_ = nullptr;
  HWND window_ = nullptr;
};

}  // namespace kvo
