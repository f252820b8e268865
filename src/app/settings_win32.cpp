// The three folder paths: the settings file read at start and again at close,
// the host application's registry entry, the folder browser and the atomic
// replace of the file. What is shown and what is written is decided in the
// core (reconcile/folders.h).
#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstring>

#include "app/manager_app.h"
#include "resource.h"

namespace kvo {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wchar_t");

wchar_t* W(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }
const wchar_t* W(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

const wchar_t kRegistryKey[] = L"Software\\ORVA\\Velmora";
const wchar_t kInstallPathValue[] = L"InstallPath";

// A path field holds at most kMaxPath - 1 units and its terminator, whatever
// the file or the registry gave us, so nothing ever reads past the field.
void Terminate(SettingsRecord& record) {
  for (auto& path : record.paths) path[kMaxPath - 1] = 0;
}

// Reads InstallPath into `field` (kMaxPath units, zeroed). A value longer than
// the field is cut inside it.
void ReadInstallPath(HKEY key, char16_t* field) {
  DWORD size = kMaxPath * sizeof(char16_t);
  LONG status = RegQueryValueExW(key, kInstallPathValue, nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(field), &size);
  if (status != ERROR_MORE_DATA) return;
  // Too long for the field: the buffer's contents are undefined now. Read the
  // whole value elsewhere and keep its beginning. Heap memory, not new: no
  // exception may leave the dialog procedure.
  std::memset(field, 0, kMaxPath * sizeof(char16_t));
  HANDLE heap = GetProcessHeap();
  for (int attempt = 0; attempt < 3 && status == ERROR_MORE_DATA; ++attempt) {
    void* whole = HeapAlloc(heap, HEAP_ZERO_MEMORY, size + sizeof(char16_t));
    if (whole == nullptr) return;
    DWORD got = size;
    status = RegQueryValueExW(key, kInstallPathValue, nullptr, nullptr,
                              static_cast<BYTE*>(whole), &got);
    if (status == ERROR_SUCCESS) {
      std::memcpy(field, whole, (kMaxPath - 1) * sizeof(char16_t));
    } else {
      size = got;  // the value grew meanwhile; try again with its new size
    }
    HeapFree(heap, 0, whole);
  }
}

// Appends "Plugin" or "Preset" to the installation folder in `field`. When
// the result does not fit, the field is left empty: the bare installation
// folder would be the wrong folder to move archives in and out of.
void AppendFolderWord(char16_t* field, const wchar_t* word) {
  if (!PathAppendW(W(field), word)) {
    std::memset(field, 0, kMaxPath * sizeof(char16_t));
  }
}

// Reads the settings file at `path`: its first `sizeof bytes` bytes into
// `bytes`, their count into `size`.
platform::FileStatus ReadSettingsFile(const char16_t* path,
                                      unsigned char (&bytes)[sizeof(SettingsRecord)],
                                      DWORD& size) {
  size = 0;
  HANDLE file = CreateFileW(W(path), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
               ? platform::FileStatus::kMissing
               : platform::FileStatus::kUnreadable;
  }
  LARGE_INTEGER length = {};
  // A read that fell short would give a mix of the file and zeros: unreadable.
  const bool whole = GetFileSizeEx(file, &length) &&
                     ReadFile(file, bytes, sizeof bytes, &size, nullptr) &&
                     size >= (length.QuadPart < static_cast<LONGLONG>(sizeof bytes)
                                  ? static_cast<DWORD>(length.QuadPart)
                                  : static_cast<DWORD>(sizeof bytes));
  CloseHandle(file);
  return whole ? platform::FileStatus::kRead : platform::FileStatus::kUnreadable;
}

}  // namespace

void ManagerApp::LoadSettings() {
  std::memset(settingsPath, 0, sizeof settingsPath);
  GetModuleFileNameW(nullptr, W(settingsPath), kMaxPath);
  settingsPath[kMaxPath - 1] = 0;
  PathRenameExtensionW(W(settingsPath), L".dat");

  unsigned char bytes[sizeof(SettingsRecord)] = {};
  DWORD size = 0;
  settingsAtStart = ReadSettingsFile(settingsPath, bytes, size);
  for (bool& chosen : folderChosen) chosen = false;
  // Whatever the file holds, the record gets three terminated paths.
  if (!SettingsRecordAtStart(settingsAtStart, bytes, size, folders)) return;

  // First start, or a file we cannot read: derive Plugin and Preset from the
  // host application's folder.
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kRegistryKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return;
  }
  ReadInstallPath(key, folders.paths[kPlugin]);
  RegCloseKey(key);
  Terminate(folders);
  lstrcpyW(W(folders.paths[kPreset]), W(folders.paths[kPlugin]));
  AppendFolderWord(folders.paths[kPlugin], L"Plugin");
  AppendFolderWord(folders.paths[kPreset], L"Preset");
}

void ManagerApp::SaveSettings() {
  unsigned char bytes[sizeof(SettingsRecord)] = {};
  DWORD size = 0;
  platform::FileStatus again = platform::FileStatus::kUnreadable;
  if (SettingsReadAgainAtClose(settingsAtStart, folderChosen)) {
    again = ReadSettingsFile(settingsPath, bytes, size);
  }
  SettingsRecord record;
  if (!SettingsRecordToSave(settingsAtStart, folderChosen, folders, again, bytes, size, record)) {
    return;
  }
  // Write a temporary file beside the settings file and put it in place only
  // once all 1560 bytes are on disk, so a failed write never costs the
  // folders saved last time. Same length as the settings path, so it always fits.
  wchar_t temporary[kMaxPath];
  lstrcpynW(temporary, W(settingsPath), kMaxPath);
  PathRenameExtensionW(temporary, L".tmp");

  HANDLE file = CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  BOOL ok = WriteFile(file, &record, sizeof record, &written, nullptr) &&
            written == sizeof record && FlushFileBuffers(file);
  ok = CloseHandle(file) && ok;
  if (!ok || !MoveFileExW(temporary, W(settingsPath),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileW(temporary);
  }
}

// Opens the browser with the slot's current folder selected.
static int CALLBACK BrowseCallback(HWND window, UINT message, LPARAM, LPARAM data) {
  if (message == BFFM_INITIALIZED) {
    SendMessageW(window, BFFM_SETSELECTIONW, TRUE, data);
    // Some shells (Wine) fill the tree below a drive only after this
    // callback, so the selection stops at the drive; selecting again once the
    // browser's own messages have run reaches the folder. `data` is the slot's
    // field, which outlives the modal browser.
    PostMessageW(window, BFFM_SETSELECTIONW, TRUE, data);
  }
  return 0;
}

void ManagerApp::OnBrowse(FolderSlot slot) {
  HWND hwnd = dialog;
  wchar_t displayName[MAX_PATH];
  BROWSEINFOW request = {};
  request.hwndOwner = hwnd;
  request.pidlRoot = nullptr;
  request.pszDisplayName = displayName;
  request.lpszTitle = W(FolderLabel(slot));
  request.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  request.lpfn = BrowseCallback;
  request.lParam = reinterpret_cast<LPARAM>(folders.paths[slot]);

  ++modalDepth;
  PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&request);
  --modalDepth;
  // The folder chosen counts even when a close was asked for meanwhile: it is
  // what the close saves.
  if (item != nullptr) {  // not cancelled
    // Into a scratch buffer first: when the item has no file-system path the
    // slot keeps the folder it had.
    wchar_t chosen[MAX_PATH] = {};
    const BOOL ok = SHGetPathFromIDListW(item, chosen);
    CoTaskMemFree(item);
    chosen[MAX_PATH - 1] = 0;
    if (ok) {
      // Picked, even when it is the path already shown: after a settings
      // file that could not be read at start, the close writes this slot.
      std::memset(folders.paths[slot], 0, sizeof folders.paths[slot]);
      lstrcpyW(W(folders.paths[slot]), chosen);
      folderChosen[slot] = true;
      SendDlgItemMessageW(hwnd, IDC_PLUGIN_PATH + slot, WM_SETTEXT, 0,
                          reinterpret_cast<LPARAM>(folders.paths[slot]));
    }
  }
  if (closeRequested) Close();
}

}  // namespace kvo
