// The result pane of the dialog: edit control IDC_LOG_PANE, which the run
// writes its log into.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "reconcile/log_pane.h"

namespace kvo {

// Every operation is a message to the edit control. During a run they are
// called on the run's thread, and each message is sent to the dialog's
// thread, which keeps taking them while it waits for the run: nothing here
// is touched by two threads at once, so nothing is locked.
class ResultPane final : public LogPane {
 public:
  // The dialog that holds the edit control, once it exists; from then on
  // the control takes the pane's own keys and appends (log_pane_win32.cpp).
  void Attach(HWND dialog);

  void Clear() override;
  void Append(const char16_t* text) override;
  void SetRedraw(bool on) override;
  void RemoveLimit() override;

 private:
  // Puts `text` at the end of the control's text.
  void Replace(const char16_t* text);
  // Hands what was gathered to the control.
  void Flush();

  HWND dialog_ = nullptr;
  // While repainting is off, appended lines are gathered here and handed to
  // the control in one EM_REPLACESEL when it is switched back on: each
  // EM_REPLACESEL costs the control (and Wine's most of all) time that grows
  // with its text, so a report of 100,000 lines sent line by line takes
  // minutes. The text the pane ends up with, and its order, are the same.
  bool gathering_ = false;
  std::u16string gathered_;
  // Units appended since the pane was cleared: where its text ends. The text
  // is only ever built by appending, and nobody can type into the pane.
  std::size_t length_ = 0;
};

}  // namespace kvo
