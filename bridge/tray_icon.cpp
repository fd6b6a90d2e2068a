#include "bridge/tray_icon.h"

#include <cwchar>
#include <memory>
#include <string>
#include <utility>

#include "bridge/desktop_bridge.h"
#include "bridge/tray_menu.h"
#include "common/scoped_handles.h"
#include "engine_api/flutter_windows.h"
#include "resources/resource_ids.h"

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

}  // namespace

ScopedIcon LoadAppIcon(int size) {
  return ScopedIcon(static_cast<HICON>(LoadImageW(
      GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP_ICON), IMAGE_ICON, size, size, 0)));
}

void DesktopBridge::UpdateTrayIcon() {
  NOTIFYICONDATAW data = IconData(window_);
  data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data.uCallbackMessage = kTrayCallbackMessage;
  // The shell keeps a copy of the icon; this one goes when the call has returned.
  const ScopedIcon icon = LoadAppIcon(GetSystemMetrics(SM_CXSMICON));
  data.hIcon = icon.get();
  CopyField(data.szTip, tray_tooltip_);
  if (tray_icon_added_) {
    Shell_NotifyIconW(NIM_MODIFY, &data);
    return;
  }
  // At sign-in a busy shell may time the add out and still make the icon, and then refuses
  // every later add as a duplicate: an icon the shell takes a modify for is there. A failure of
  // both leaves the flag down, so that the next update tries again.
  tray_icon_added_ =
      Shell_NotifyIconW(NIM_ADD, &data) != FALSE || Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

void DesktopBridge::RemoveTrayIcon() {
  if (!tray_icon_added_) return;
  NOTIFYICONDATAW data = IconData(window_);
  Shell_NotifyIconW(NIM_DELETE, &data);
  tray_icon_added_ = false;
}

void DesktopBridge::UpdateWindowIcons() {
  const UINT dpi = FlutterDesktopGetDpiForHWND(window_);
  const int small_size = GetSystemMetricsForDpi(SM_CXSMICON, dpi);
  const int big_size = GetSystemMetricsForDpi(SM_CXICON, dpi);
  // The window draws with the icons it is given, so they are kept until replaced or until the
  // bridge takes them back; the ones they replace go then.
  if (ScopedIcon small_icon = LoadAppIcon(small_size)) {
    SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_icon.get()));
    small_window_icon_ = std::move(small_icon);
  }
  if (ScopedIcon big_icon = LoadAppIcon(big_size)) {
    SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big_icon.get()));
    big_window_icon_ = std::move(big_icon);
  }
}

void DesktopBridge::RemoveWindowIcons() {
  if (small_window_icon_) SendMessageW(window_, WM_SETICON, ICON_SMALL, 0);
  if (big_window_icon_) SendMessageW(window_, WM_SETICON, ICON_BIG, 0);
  small_window_icon_.reset();
  big_window_icon_.reset();
}

void DesktopBridge::Notify(const MethodArguments& arguments, flutter::MethodResult& result) {
  const std::wstring body = arguments.GetWideString("body").value_or(std::wstring());
  const std::wstring title = arguments.GetWideString("title").value_or(std::wstring());
  if (!tray_icon_added_) UpdateTrayIcon();
  NOTIFYICONDATAW data = IconData(window_);
  data.uFlags = NIF_INFO;
  CopyField(data.szInfoTitle, title);
  CopyField(data.szInfo, body);
  data.dwInfoFlags = kBalloonFlags;
  const ScopedIcon balloon_icon = LoadAppIcon(GetSystemMetrics(SM_CXICON));
  data.hBalloonIcon = balloon_icon.get();
  // Without an icon in the area, the shell shows no balloon; nothing to tell the UI.
  system_.show_balloon(data);
  result.Success(nullptr);
}

void DesktopBridge::SendTrayCommand(const char* command) {
  ui_channel_->Invoke("onTrayCommand", std::make_unique<flutter::EncodableValue>(
                                           flutter::EncodableMap{{"command", command}}));
}

void DesktopBridge::ShowTrayMenu() {
  UINT command = 0;
  {
    ScopedMenu menu(CreatePopupMenu());
    for (const TrayMenuItem& item :
         TrayMenuItems(tray_status_, session_active_, mini_mode_, quit_allowed_)) {
      AppendMenuW(menu.get(), item.flags, item.id, item.text.c_str());
    }
    POINT cursor = {};
    GetCursorPos(&cursor);
    // Without the foreground the menu would not close when the user clicks elsewhere.
    SetForegroundWindow(window_);
    const bool completed = RunModalLoop(ModalLoop::kTrayMenu, [&] {
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
      BringToFront();
      break;
    case kTrayMiniTimer:
      SendTrayCommand("mini");
      break;
    case kTrayPark:
      BringToFront();
      SendTrayCommand("park");
      break;
    case kTrayQuit:
      // The permission may have been withdrawn while the menu was open.
      if (quit_allowed_) Quit();
      break;
    default:
      break;
  }
}

bool DesktopBridge::HandleTrayCallback(UINT notification) {
  switch (notification) {
    case WM_CONTEXTMENU:
    case WM_RBUTTONUP:
      ShowTrayMenu();
      return true;
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case NIN_BALLOONUSERCLICK:
      BringToFront();
      return true;
    default:
      return false;
  }
}
