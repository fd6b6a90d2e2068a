#include "bridge/mini_mode.h"

#include <dwmapi.h>

#include <string_view>
#include <utility>
#include <vector>

#include "common/dpi.h"
#include "engine_api/flutter_windows.h"

namespace {

// DWMWA_WINDOW_CORNER_PREFERENCE with DWMWCP_DEFAULT and DWMWCP_ROUND; older SDKs name none.
constexpr DWORD kCornerPreference = 33;
constexpr DWORD kDefaultCorners = 0;
constexpr DWORD kRoundCorners = 2;
// SC_MOVE with HTCAPTION: the move loop the system runs for a press on the caption.
constexpr WPARAM kMoveByCaption = 0xF012;
// A class name is at most 256 characters.
constexpr int kClassNameCapacity = 257;

RECT WindowRect(HWND window) {
  RECT rect = {};
  GetWindowRect(window, &rect);
  return rect;
}

}  // namespace

MiniMode::MiniMode(HWND window, NotifyLeft notify_left, MonitorLister list_monitors)
    : window_(window),
      notify_left_(std::move(notify_left)),
      list_monitors_(std::move(list_monitors)) {}

double MiniMode::WindowScale() const { return ScaleForDpi(FlutterDesktopGetDpiForHWND(window_)); }

void MiniMode::SetCornerPreference(DWORD preference) {
  // Systems before Windows 11 refuse the attribute and keep square corners.
  DwmSetWindowAttribute(window_, kCornerPreference, &preference, sizeof(preference));
}

void MiniMode::Enter(double width, double height) {
  width_ = UsableMiniSide(width, kDefaultMiniWidth);
  height_ = UsableMiniSide(height, kDefaultMiniHeight);
  const double scale = WindowScale();
  const int cx = ScaledMiniSide(width_, scale);
  const int cy = ScaledMiniSide(height_, scale);
  const bool resizing = active_;
  if (!resizing) {
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
  }
  // Resized around the corner it was dragged to; what was saved on entry stays. Without a
  // monitor to go by, the window keeps its own corner too.
  const RECT current = WindowRect(window_);
  RECT place = {current.right - cx, current.bottom - cy, current.right, current.bottom};
  if (!resizing) {
    const std::vector<DisplayMonitor> monitors = list_monitors_();
    if (const std::optional<size_t> monitor = MonitorOfRect(monitors, current)) {
      place = PlaceMiniWindow(monitors[*monitor].work, FlutterDesktopGetDpiForHWND(window_), width_,
                              height_, std::nullopt);
    }
  }
  SetWindowPos(window_, HWND_TOPMOST, place.left, place.top, cx, cy,
               SWP_SHOWWINDOW | SWP_FRAMECHANGED | SWP_NOACTIVATE);
  // A timer the user dragged keeps its distances from the corner as it now stands.
  if (anchor_) KeepDraggedPlace();
}

void MiniMode::Exit(bool notify) {
  if (!active_) return;
  active_ = false;
  anchor_.reset();
  SetWindowLongPtrW(window_, GWL_STYLE, RestoredWindowStyle(saved_style_));
  SetCornerPreference(kDefaultCorners);
  SetWindowPos(window_, HWND_NOTOPMOST, 0, 0, 0, 0,
               SWP_FRAMECHANGED | SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE);
  // The monitor the window was on may have gone while it was the timer.
  saved_placement_.rcNormalPosition =
      NormalRectOnLiveMonitor(list_monitors_(), saved_placement_.rcNormalPosition);
  SetWindowPlacement(window_, &saved_placement_);
  if (notify) notify_left_();
}

void MiniMode::Drag() {
  // Runs only as a modal loop of its own, never inside another one, whose capture (the tray
  // menu's) it would take away.
  ReleaseCapture();
  SendMessageW(window_, WM_SYSCOMMAND, kMoveByCaption, 0);
}

void MiniMode::OnForegroundChanged(HWND front) {
  if (!active_ || front == nullptr || front == window_ || !IsWindowVisible(window_)) return;
  wchar_t class_name[kClassNameCapacity] = {};
  const int length = GetClassNameW(front, class_name, kClassNameCapacity);
  const bool topmost = (GetWindowLongPtrW(front, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
  if (!PutsTimerBackOnTop(std::wstring_view(class_name, length > 0 ? length : 0), topmost)) {
    return;
  }
  // Back at the top of the always-on-top windows; the window in front keeps the focus.
  SetWindowPos(window_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE);
}

std::optional<LRESULT> MiniMode::HandleWindowMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_GETMINMAXINFO: {
      auto* limits = reinterpret_cast<MINMAXINFO*>(lparam);
      limits->ptMinTrackSize = MinimumTrackSize(active_, FlutterDesktopGetDpiForHWND(window_));
      return 0;
    }
    case WM_ENTERSIZEMOVE:
      moving_ = true;
      break;
    case WM_EXITSIZEMOVE:
      moving_ = false;
      if (active_) KeepDraggedPlace();
      break;
    case WM_DISPLAYCHANGE:
      PlaceAgain(nullptr);
      break;
    case WM_SETTINGCHANGE:
      if (wparam == SPI_SETWORKAREA) PlaceAgain(nullptr);
      break;
    case WM_DPICHANGED:
      PlaceAgain(reinterpret_cast<RECT*>(lparam));
      break;
    default:
      break;
  }
  return std::nullopt;
}

void MiniMode::PlaceAgain(RECT* suggested) {
  // The move loop takes the timer from monitor to monitor as the user drags it, sized for each
  // by the suggestion, which the main window applies.
  if (!active_ || moving_) return;
  const std::vector<DisplayMonitor> monitors = list_monitors_();
  const std::optional<size_t> monitor =
      MonitorOfRect(monitors, suggested != nullptr ? *suggested : WindowRect(window_));
  if (!monitor) return;
  // At a new DPI the window has it already; otherwise the monitor it goes to has the say.
  const UINT dpi =
      suggested != nullptr ? FlutterDesktopGetDpiForHWND(window_) : monitors[*monitor].dpi;
  const RECT place = PlaceMiniWindow(monitors[*monitor].work, dpi, width_, height_, anchor_);
  SetWindowPos(window_, HWND_TOPMOST, place.left, place.top, place.right - place.left,
               place.bottom - place.top, SWP_NOACTIVATE);
  // The main window moves itself to the suggestion once the message has passed here; it finds
  // the timer's place there.
  if (suggested != nullptr) *suggested = place;
}

void MiniMode::KeepDraggedPlace() {
  const RECT timer = WindowRect(window_);
  const std::vector<DisplayMonitor> monitors = list_monitors_();
  if (const std::optional<size_t> monitor = MonitorOfRect(monitors, timer)) {
    anchor_ = AnchorOfTimer(timer, monitors[*monitor].work, FlutterDesktopGetDpiForHWND(window_));
  }
}
