// Linked only into KvoManagerFakeTaskbar.exe, a test build of the program
// whose taskbar object is a stand-in that writes down what it is asked:
// Wine's own answers every call and shows nothing. Each line of
// taskbar.log, beside the exe, is "<thread id> <call>". While a file named
// taskbar.unavailable is beside the exe no object can be made, as on a
// system without a shell.
#include <windows.h>
#include <shobjidl.h>

#include <cstdio>
#include <string>

#include "app/taskbar_test_helper.h"

namespace {

std::wstring BesideExe(const wchar_t* name) {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder = path;
  return folder.substr(0, folder.find_last_of(L'\\') + 1) + name;
}

void Record(const char* call) {
  char line[128];
  const int length = std::snprintf(line, sizeof line, "%lu %s\r\n", GetCurrentThreadId(), call);
  HANDLE log = CreateFileW(BesideExe(L"taskbar.log").c_str(), FILE_APPEND_DATA, FILE_SHARE_READ,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (log == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(log, line, static_cast<DWORD>(length), &written, nullptr);
  CloseHandle(log);
}

class RecordingTaskbar final : public ITaskbarList3 {
 public:
  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
    if (id == IID_IUnknown || id == IID_ITaskbarList || id == IID_ITaskbarList2 ||
        id == IID_ITaskbarList3) {
      *object = static_cast<ITaskbarList3*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) {
      Record("Release");
      delete this;
    }
    return left;
  }
  // ITaskbarList
  HRESULT STDMETHODCALLTYPE HrInit() override {
    Record("HrInit");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE AddTab(HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DeleteTab(HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ActivateTab(HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetActiveAlt(HWND) override { return S_OK; }
  // ITaskbarList2
  HRESULT STDMETHODCALLTYPE MarkFullscreenWindow(HWND, WINBOOL) override { return S_OK; }
  // ITaskbarList3: the two calls that show progress are written down.
  HRESULT STDMETHODCALLTYPE SetProgressValue(HWND, ULONGLONG done, ULONGLONG total) override {
    char call[64];
    std::snprintf(call, sizeof call, "value %llu/%llu", done, total);
    Record(call);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetProgressState(HWND, TBPFLAG state) override {
    char call[32];
    std::snprintf(call, sizeof call, "state %d", static_cast<int>(state));
    Record(call);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE RegisterTab(HWND, HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE UnregisterTab(HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetTabOrder(HWND, HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetTabActive(HWND, HWND, DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ThumbBarAddButtons(HWND, UINT, LPTHUMBBUTTON) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ThumbBarUpdateButtons(HWND, UINT, LPTHUMBBUTTON) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ThumbBarSetImageList(HWND, HIMAGELIST) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetOverlayIcon(HWND, HICON, LPCWSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetThumbnailTooltip(HWND, LPCWSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetThumbnailClip(HWND, RECT*) override { return S_OK; }

 private:
  ULONG references_ = 1;
};

ITaskbarList3* MakeRecordingTaskbar() {
  if (GetFileAttributesW(BesideExe(L"taskbar.unavailable").c_str()) != INVALID_FILE_ATTRIBUTES) {
    Record("unavailable");
    return nullptr;
  }
  return new RecordingTaskbar;
}

const bool g_installed = (kvo::SetTaskbarListMaker(MakeRecordingTaskbar), true);

}  // namespace
