#include "app/taskbar.h"

#include "app/manager_app.h"
#include "app/taskbar_test_helper.h"

namespace kvo {
namespace {

ITaskbarList3* MakeSystemTaskbarList() {
  ITaskbarList3* list = nullptr;
  if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                              reinterpret_cast<void**>(&list)))) {
    return nullptr;
  }
  return list;
}

TaskbarListMaker g_makeTaskbarList = MakeSystemTaskbarList;

}  // namespace

void SetTaskbarListMaker(TaskbarListMaker maker) { g_makeTaskbarList = maker; }

void TaskbarProgress::Connect(HWND window) {
  Disconnect();
  ITaskbarList3* list = g_makeTaskbarList();
  if (list == nullptr) return;
  if (FAILED(list->HrInit())) {
    list->Release();
    return;
  }
  list_ = list;
  window_ = window;
}

void TaskbarProgress::Show(const RunPosition& position) {
  if (list_ == nullptr) return;
  if (position.total == 0) {
    list_->SetProgressState(window_, TBPF_INDETERMINATE);
    return;
  }
  // Setting a value also leaves the indeterminate state for the normal one.
  list_->SetProgressState(window_, TBPF_NORMAL);
  list_->SetProgressValue(window_, position.done, position.total);
}

void TaskbarProgress::Clear() {
  if (list_ != nullptr) list_->SetProgressState(window_, TBPF_NOPROGRESS);
}

void TaskbarProgress::Disconnect() {
  if (list_ != nullptr) list_->Release();
  list_ = nullptr;
  window_ = nullptr;
}

void ManagerApp::RegisterTaskbarButtonCreated() {
  taskbarButtonCreated = RegisterWindowMessageW(L"TaskbarButtonCreated");
  // An elevated program gets no messages from the (not elevated) shell
  // unless it lets this one through. Looked up at run time: the call is
  // missing before Windows 7, and a missing import would keep the program
  // from starting at all.
  using Filter = BOOL(WINAPI*)(HWND, UINT, DWORD, PCHANGEFILTERSTRUCT);
  const auto filter = reinterpret_cast<Filter>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"user32.dll"), "ChangeWindowMessageFilterEx")));
  if (filter != nullptr) filter(dialog, taskbarButtonCreated, MSGFLT_ALLOW, nullptr);
}

}  // namespace kvo
