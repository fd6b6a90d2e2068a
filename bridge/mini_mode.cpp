#include "bridge/mini_mode.h"

#include <dwmapi.h>

#include <utility>

#include "bridge/mini_window_geometry.h"
#include "common/dpi.h"
#include "engine_api/flutter_windows.h"

namespace {

// DWMWA_WINDOW_CORNER_PREFERENCE with DWMWCP_DEFAULT and DWMWCP_ROUND; older SDKs name none.
constexpr DWORD kCornerPreference = 33;
constexpr DWORD kDefaultCorners = 0;
constexpr DWORD kRoundCorners = 2;
// SC_MOVE with HTCAPTION: the move loop the system runs for a press on the caption.
constexpr WPARAM kMoveByCaption = 0xF012;

}  // namespace

MiniMode::MiniMode(HWND window, NotifyLeft notify_left)
    : window_(window), notify_left_(std::move(notify_left)) {}

double MiniMode::WindowScale() const { return ScaleForDpi(FlutterDesktopGetDpiForHWND(window_)); }

void MiniMode::SetCornerPreference(DWORD preference) {
  // Systems before Windows 11 refuse the attribute and keep square corners.
  DwmSetWindowAttribute(window_, kCornerPreference, &preference, sizeof(preference));
}

void MiniMode::Enter(double width, double height) {
  const double scale = WindowScale();
  const int cx = ScaledMiniSide(UsableMiniSide(width, kDefaultMiniWidth), scale);
  const int cy = ScaledMiniSide(UsableMiniSide(height, kDefaultMiniHeight), scale);
  LONG right = 0;
  LONG bottom = 0;
  if (active_) {
    // Resized around the corner it was dragged to; what was saved on entry stays.
    RECT current = {};
    GetWindowRect(window_, &current);
    right = current.right;
    bottom = current.bottom;
  } else {
    saved_placement_ = {};
    saved_placement_.length = sizeof(saved_placement_);
    GetWindowPlacement(window_, &saved_placement_);
    // Back from mini mode a maximised window is maximised again, anything else normal.
    if (saved_placement_.showCmd != SW_SHOWMAXIMIZED) saved_placement_.showCmd = SW_SHOWNORMAL;
    saved_style_ = GetWindowLongPtrW(window_, GWL_STYLE);
    active_ = true;
    if (IsIconic(window_) || IsZoomed(window_)) ShowWindow(window_, SW_RESTORE);
    SetWindowLongPtrW(window_, GWL_STYLE, MiniWindowStyle(saved_style_));
    SetCornerPreference(kRoundCorners);

    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST), &monitor);
    const LONG margin = static_cast<LONG>(kMiniMargin * scale);
    right = monitor.rcWork.right - margin;
    bottom = monitor.rcWork.bottom - margin;
  }
  SetWindowPos(window_, HWND_TOPMOST, right - cx, bottom - cy, cx, cy,
               SWP_SHOWWINDOW | SWP_FRAMECHANGED | SWP_NOACTIVATE);
}

void MiniMode::Exit(bool notify) {
  if (!active_) return;
  active_ = false;
  SetWindowLongPtrW(window_, GWL_STYLE, RestoredWindowStyle(saved_style_));
  SetCornerPreference(kDefaultCorners);
  SetWindowPos(window_, HWND_NOTOPMOST, 0, 0, 0, 0,
               SWP_FRAMECHANGED | SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE);
  SetWindowPlacement(window_, &saved_placement_);
  if (notify) notify_left_();
}

void MiniMode::Drag() {
  // Runs only as a modal loop of its own, never inside another one, whose capture (the tray
  // menu's) it would take away.
  ReleaseCapture();
  SendMessageW(window_, WM_SYSCOMMAND, kMoveByCaption, 0);
}

std::optional<LRESULT> MiniMode::HandleWindowMessage(UINT message, WPARAM, LPARAM lparam) {
  if (message != WM_GETMINMAXINFO) return std::nullopt;
  auto* limits = reinterpret_cast<MINMAXINFO*>(lparam);
  limits->ptMinTrackSize = MinimumTrackSize(active_, FlutterDesktopGetDpiForHWND(window_));
  return 0;
}
