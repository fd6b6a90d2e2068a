#include "bridge/mini_mode.h"

#include <dwmapi.h>

#include <cmath>

#include "bridge/desktop_bridge.h"
#include "common/dpi.h"
#include "engine_api/flutter_windows.h"

namespace {

// The largest coordinate a window's size can take.
constexpr double kLargestSide = 32767;
constexpr LONG_PTR kOverlappedWindowBits =
    WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
// Kept, a window entered from minimised or maximised would stay so under the timer's size.
constexpr LONG_PTR kShowStateBits = WS_MINIMIZE | WS_MAXIMIZE;
// DWMWA_WINDOW_CORNER_PREFERENCE with DWMWCP_DEFAULT and DWMWCP_ROUND; older SDKs name none.
constexpr DWORD kCornerPreference = 33;
constexpr DWORD kDefaultCorners = 0;
constexpr DWORD kRoundCorners = 2;
// SC_MOVE with HTCAPTION: the move loop the system runs for a press on the caption.
constexpr WPARAM kMoveByCaption = 0xF012;

}  // namespace

double UsableMiniSide(double requested, double fallback) {
  return std::isfinite(requested) && requested > 0 ? requested : fallback;
}

int ScaledMiniSide(double logical, double scale) {
  const double scaled = logical * scale + 0.5;
  // Compared before the conversion, which is undefined for a value an int cannot hold. A side
  // of less than a pixel would make a window of none, which the user could never see again.
  if (!(scaled < kLargestSide)) return static_cast<int>(kLargestSide);
  if (!(scaled >= 1)) return 1;
  return static_cast<int>(scaled);
}

LONG_PTR MiniWindowStyle(LONG_PTR normal_style) {
  return (normal_style & ~(kOverlappedWindowBits | kShowStateBits)) |
         static_cast<LONG_PTR>(WS_POPUP);
}

LONG_PTR RestoredWindowStyle(LONG_PTR saved_style) { return saved_style & ~kShowStateBits; }

POINT MinimumTrackSize(bool mini_mode, UINT dpi) {
  if (mini_mode) return {1, 1};
  const double scale = ScaleForDpi(dpi);
  return {static_cast<LONG>(kMinNormalWidth * scale), static_cast<LONG>(kMinNormalHeight * scale)};
}

double DesktopBridge::WindowScale() const {
  return ScaleForDpi(FlutterDesktopGetDpiForHWND(window_));
}

void DesktopBridge::SetCornerPreference(DWORD preference) {
  // Systems before Windows 11 refuse the attribute and keep square corners.
  DwmSetWindowAttribute(window_, kCornerPreference, &preference, sizeof(preference));
}

void DesktopBridge::EnterMiniMode(double width, double height) {
  const double scale = WindowScale();
  const int cx = ScaledMiniSide(width, scale);
  const int cy = ScaledMiniSide(height, scale);
  LONG right = 0;
  LONG bottom = 0;
  if (mini_mode_) {
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
    mini_mode_ = true;
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

void DesktopBridge::ExitMiniMode(bool notify) {
  if (!mini_mode_) return;
  mini_mode_ = false;
  SetWindowLongPtrW(window_, GWL_STYLE, RestoredWindowStyle(saved_style_));
  SetCornerPreference(kDefaultCorners);
  SetWindowPos(window_, HWND_NOTOPMOST, 0, 0, 0, 0,
               SWP_FRAMECHANGED | SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE);
  SetWindowPlacement(window_, &saved_placement_);
  if (notify) {
    ui_channel_->Invoke("onMiniMode", std::make_unique<flutter::EncodableValue>(
                                          flutter::EncodableMap{{"enabled", false}}));
  }
}

void DesktopBridge::SetMiniMode(const MethodArguments& arguments, flutter::MethodResult& result) {
  if (arguments.GetBool("enabled").value_or(false)) {
    const double height =
        UsableMiniSide(arguments.GetNumber("height", kDefaultMiniHeight), kDefaultMiniHeight);
    const double width =
        UsableMiniSide(arguments.GetNumber("width", kDefaultMiniWidth), kDefaultMiniWidth);
    EnterMiniMode(width, height);
  } else {
    ExitMiniMode(false);
    BringToFront();
  }
  const flutter::EncodableValue reply(mini_mode_);
  result.Success(&reply);
}

void DesktopBridge::StartDrag(const MethodArguments&, flutter::MethodResult& result) {
  // Answered first: the move loop below lasts until the user lets go of the mouse.
  result.Success(nullptr);
  RunModalLoop(ModalLoop::kDrag, [this] {
    // Only for a drag that runs: refused inside another loop, it must leave that loop's capture
    // (the tray menu's) alone.
    ReleaseCapture();
    SendMessageW(window_, WM_SYSCOMMAND, kMoveByCaption, 0);
  });
}
