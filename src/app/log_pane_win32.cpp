#include <new>
#include <string>

#include "app/result_pane.h"
#include "resource.h"

namespace kvo {

void ResultPane::Replace(const char16_t* text) {
  // The user may click or select in the pane while a run writes to it: the
  // selection is put back at the end first, so every line goes there. (A
  // position past the end is taken as the end.)
  const WPARAM end = static_cast<WPARAM>(length_ < 0x7FFFFFFF ? length_ : 0x7FFFFFFF);
  SendDlgItemMessageW(dialog_, IDC_LOG_PANE, EM_SETSEL, end, static_cast<LPARAM>(end));
  SendDlgItemMessageW(dialog_, IDC_LOG_PANE, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
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
