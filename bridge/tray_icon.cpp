#include "bridge/tray_icon.h"

#include <cwchar>
#include <utility>

#include "bridge/app_icon.h"
#include "bridge/tray_menu.h"
#include "bridge/tray_retry.h"
#include "bridge/window_messages.h"
#include "common/scoped_handles.h"
#include "engine_api/flutter_windows.h"

namespace {

// NIIF_USER | NIIF_LARGE_ICON | NIIF_RESPECT_QUIET_TIME: the balloon shows the given icon large,
// and not while the user asked for quiet.
constexpr DWORD kBalloonFlags = 0xA4;

// Zero-filled, sized for the full structure, and naming the host's icon.
NOTIFYICONDATAW IconData(HWND window) {
  NOTIFYICONDATAW data = {};
  data.cbSize = sizeof(data);
  data.hWnd = window;
  data.uID = kTrayIconId;
  return data;
}

// Copies |text| into a fixed field of |Capacity| units, cut to leave room for the terminator.
template <size_t Capacity>
void CopyField(wchar_t (&field)[Capacity], const std::wstring& text) {
  const size_t length = text.size() < Capacity ? text.size() : Capacity - 1;
  std::wmemcpy(field, text.c_str(), length);
  field[length] = L'\0';
}

// Cut to its first units, which may split a surrogate pair.
std::wstring TrayText(std::wstring text) {
  if (text.size() > kMaxTrayTextUnits) text.resize(kMaxTrayTextUnits);
  return text;
}

// |metric| (SM_CXSMICON, SM_CXICON) at the DPI of the main monitor, whose taskbar holds the
// notification area; read each time, as the user may change its scaling while the host runs.
int TaskbarIconSize(int metric) {
  const HMONITOR primary = MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
  return GetSystemMetricsForDpi(metric, FlutterDesktopGetDpiForMonitor(primary));
}

}  // namespace

TrayIcon::TrayIcon(HWND window, NotifyShell notify_shell, SendCommand send_command,
                   HostServices& host)
    : window_(window),
      notify_shell_(std::move(notify_shell)),
      send_command_(std::move(send_command)),
      host_(host) {}

TrayIcon::~TrayIcon() { Remove(); }

void TrayIcon::Update() {
  NOTIFYICONDATAW data = IconData(window_);
  data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data.uCallbackMessage = kTrayCallbackMessage;
  // The shell keeps a copy of the icon; this one goes when the call has returned.
  const ScopedIcon icon = LoadAppIcon(TaskbarIconSize(SM_CXSMICON));
  data.hIcon = icon.get();
  CopyField(data.szTip, tooltip_);
  if (added_) {
    notify_shell_(NIM_MODIFY, data);
    return;
  }
  // At sign-in a busy shell may time the add out and still make the icon, and then refuses
  // every later add as a duplicate: an icon the shell takes a modify for is there. A failure of
  // both leaves the flag down, so that the next update tries again.
  added_ = notify_shell_(NIM_ADD, data) || notify_shell_(NIM_MODIFY, data);
  if (added_) {
    CancelRetry();
    failed_adds_ = 0;
    return;
  }
  // A host started at sign-in may come before the shell's taskbar, which then need not say
  // "TaskbarCreated" when it is ready: without another try the icon would never appear, and a
  // host closed to the tray would be out of the user's reach.
  ScheduleRetry();
}

void TrayIcon::ScheduleRetry() {
  // Without a window, SetTimer would make a timer of the thread's under another id, which no
  // tick would reach here and KillTimer would never end.
  if (retry_delay_ms_ || window_ == nullptr) return;
  retry_delay_ms_ = TrayAddRetryDelayMs(++failed_adds_);
  SetTimer(window_, kTrayAddRetryTimer, *retry_delay_ms_, nullptr);
}

void TrayIcon::CancelRetry() {
  if (!retry_delay_ms_) return;
  KillTimer(window_, kTrayAddRetryTimer);
  retry_delay_ms_.reset();
}

void TrayIcon::Remove() {
  CancelRetry();
  if (!added_) return;
  notify_shell_(NIM_DELETE, IconData(window_));
  added_ = false;
}

void TrayIcon::SetTooltip(std::wstring tooltip) {
  tooltip_ = TrayText(std::move(tooltip));
  Update();
}

void TrayIcon::SetStatus(std::wstring status, std::optional<bool> session_active) {
  status_ = TrayText(std::move(status));
  if (session_active) session_active_ = *session_active;
}

void TrayIcon::SetQuitAllowed(bool allowed) { quit_allowed_ = allowed; }

void TrayIcon::Notify(const std::wstring& title, const std::wstring& body) {
  if (!added_) Update();
  NOTIFYICONDATAW data = IconData(window_);
  data.uFlags = NIF_INFO;
  CopyField(data.szInfoTitle, title);
  CopyField(data.szInfo, body);
  data.dwInfoFlags = kBalloonFlags;
  const ScopedIcon balloon_icon = LoadAppIcon(TaskbarIconSize(SM_CXICON));
  data.hBalloonIcon = balloon_icon.get();
  // Without an icon in the area, the shell shows no balloon; nothing to tell the UI.
  notify_shell_(NIM_MODIFY, data);
}

void TrayIcon::ShowMenu() {
  UINT command = 0;
  {
    ScopedMenu menu(CreatePopupMenu());
    for (const TrayMenuItem& item :
         TrayMenuItems(status_, session_active_, host_.InMiniMode(), quit_allowed_)) {
      AppendMenuW(menu.get(), item.flags, item.id, item.text.c_str());
    }
    POINT cursor = {};
    GetCursorPos(&cursor);
    // Without the foreground the menu would not close when the user clicks elsewhere.
    SetForegroundWindow(window_);
    const bool completed = host_.RunModalLoop(HostServices::ModalLoop::kTrayMenu, [&] {
      command = static_cast<UINT>(TrackPopupMenu(menu.get(),
                                                 TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON,
                                                 cursor.x, cursor.y, 0, window_, nullptr));
      // A notification-area menu needs a message of its own window after it: without one the
      // next menu can open and close at once.
      PostMessageW(window_, WM_NULL, 0, 0);
    });
    if (!completed) return;
  }
  switch (command) {
    case kTrayOpen:
      host_.BringToFront();
      break;
    case kTrayMiniTimer:
      send_command_("mini");
      break;
    case kTrayPark:
      host_.BringToFront();
      send_command_("park");
      break;
    case kTrayQuit:
      // The permission may have been withdrawn while the menu was open.
      if (quit_allowed_) host_.Quit();
      break;
    default:
      break;
  }
}

std::optional<LRESULT> TrayIcon::HandleWindowMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kTrayCallbackMessage) {
    // In the shell's legacy callback form the low word is the mouse or balloon event.
    if (HandleCallback(LOWORD(lparam))) return 0;
    return std::nullopt;
  }
  if (message == WM_TIMER && wparam == kTrayAddRetryTimer) {
    // A tick already queued when the try was given up (the icon added meanwhile, or a quit) adds
    // nothing.
    if (!retry_delay_ms_) return 0;
    CancelRetry();
    Update();
    return 0;
  }
  if (message == TaskbarCreatedMessage()) {
    // The shell restarted and lost every icon, or is ready at last: the icon is offered at once,
    // and a refusal starts the waits anew.
    CancelRetry();
    failed_adds_ = 0;
    added_ = false;
    Update();
    return std::nullopt;
  }
  // Drawn again at the size the taskbar now shows; an icon not there yet gets it when added.
  const bool new_size = message == WM_DPICHANGED ||
                        (message == WM_SETTINGCHANGE &&
                         ChangesIconMetrics(wparam, reinterpret_cast<const wchar_t*>(lparam)));
  if (new_size && added_) Update();
  return std::nullopt;
}

bool TrayIcon::HandleCallback(UINT notification) {
  switch (notification) {
    case WM_CONTEXTMENU:
    case WM_RBUTTONUP:
      ShowMenu();
      return true;
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case NIN_BALLOONUSERCLICK:
      host_.BringToFront();
      return true;
    default:
      return false;
  }
}
