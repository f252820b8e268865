// Resizable layout: eight controls follow the client size, captured once at
// initialisation and recomputed from that geometry on every size change.
#include <windows.h>

#include "app/manager_app.h"
#include "resource.h"

namespace kvo {
namespace {

struct Anchor {
  std::int32_t id;
  AnchorKind kind;
};

const Anchor kAnchors[8] = {
    {IDC_FOLDER_GROUP, kStretchWidth}, {IDC_PLUGIN_PATH, kStretchWidth},
    {IDC_PRESET_PATH, kStretchWidth},  {IDC_WORK_PATH, kStretchWidth},
    {IDC_PLUGIN_BROWSE, kFollowRight}, {IDC_PRESET_BROWSE, kFollowRight},
    {IDC_WORK_BROWSE, kFollowRight},   {IDC_LOG_PANE, kStretchBoth},
};

}  // namespace

void ManagerApp::CaptureLayout() {
  HWND hwnd = dialog;
  RECT client = {};
  GetClientRect(hwnd, &client);
  initialClientWidth = client.right - client.left;
  initialClientHeight = client.bottom - client.top;

  for (int i = 0; i < 8; ++i) {
    LayoutEntry& entry = layout[i];
    entry.id = kAnchors[i].id;
    entry.kind = kAnchors[i].kind;
    RECT rect = {};
    GetWindowRect(GetDlgItem(hwnd, entry.id), &rect);
    entry.width = rect.right - rect.left;
    entry.height = rect.bottom - rect.top;
    POINT topLeft = {rect.left, rect.top};
    ScreenToClient(hwnd, &topLeft);
    entry.x = topLeft.x;
    entry.y = topLeft.y;
  }
}

void ManagerApp::OnSize(unsigned width, unsigned height) {
  HWND hwnd = dialog;
  // WM_SIZE can come before WM_INITDIALOG; there is nothing captured to lay out yet.
  if (hwnd == nullptr) return;
  const std::int32_t dx = static_cast<std::int32_t>(width) - initialClientWidth;
  const std::int32_t dy = static_cast<std::int32_t>(height) - initialClientHeight;

  for (const LayoutEntry& entry : layout) {
    // Always from the captured geometry, never from where the control is now,
    // so repeated resizing cannot drift.
    const std::int32_t x = entry.kind == kFollowRight ? entry.x + dx : entry.x;
    const std::int32_t y = entry.kind == kFollowBottom ? entry.y + dy : entry.y;
    const std::int32_t w = entry.kind == kFollowRight ? entry.width : entry.width + dx;
    const std::int32_t h = entry.kind == kStretchBoth ? entry.height + dy : entry.height;
    MoveWindow(GetDlgItem(hwnd, entry.id), x, y, w, h, TRUE);
  }
  // The group box paints only its frame: where its old right edge was, now
  // inside it, nothing would paint over the line left behind.
  InvalidateRect(hwnd, nullptr, TRUE);
}

}  // namespace kvo
