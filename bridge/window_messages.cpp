#include "bridge/window_messages.h"

#include "bridge/desktop_bridge.h"
#include "bridge/mini_mode.h"
#include "bridge/tray_icon.h"
#include "engine_api/flutter_windows.h"

UINT QuitMessage() {
  static const UINT message = RegisterWindowMessageW(kQuitMessageName);
  return message;
}

UINT TaskbarCreatedMessage() {
  static const UINT message = RegisterWindowMessageW(kTaskbarCreatedMessageName);
  return message;
}

std::optional<LRESULT> DesktopBridge::HandleWindowMessage(HWND window, UINT message, WPARAM wparam,
                                                          LPARAM lparam) {
  if (message == QuitMessage()) {
    // Destroys this bridge, unless a call is being handled; nothing of it is touched afterwards.
    Quit();
    return 0;
  }
  const HandlingCall handling(*this);
  return HandleCountedWindowMessage(window, message, wparam, lparam);
}

std::optional<LRESULT> DesktopBridge::HandleCountedWindowMessage(HWND window, UINT message,
                                                                 WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_DPICHANGED:
      UpdateWindowIcons();
      return std::nullopt;
    case WM_ENDSESSION:
      // The session is really ending, and the process may be ended without any teardown: the
      // user's proxy is put back now.
      if (wparam != 0) RestoreProxyIfSaved(ProxyRestoreSource::kSessionEnd);
      return std::nullopt;
    case WM_CLOSE:
      // The close button sends the host to the tray; only the quit path closes it for good.
      if (quitting_) return std::nullopt;
      ShowWindow(window, SW_HIDE);
      return 0;
    case kTrayCallbackMessage:
      // In the shell's legacy callback form the low word is the mouse or balloon event.
      if (HandleTrayCallback(LOWORD(lparam))) return 0;
      return std::nullopt;
    case WM_TIMER:
      if (wparam != kFrameLookAgainTimer) return std::nullopt;
      LookAgainAtFrame();
      return 0;
    case WM_GETMINMAXINFO: {
      auto* limits = reinterpret_cast<MINMAXINFO*>(lparam);
      limits->ptMinTrackSize = MinimumTrackSize(mini_mode_, FlutterDesktopGetDpiForHWND(window));
      return 0;
    }
    default:
      break;
  }
  if (message == TaskbarCreatedMessage()) {
    // The shell restarted and lost every icon.
    tray_icon_added_ = false;
    UpdateTrayIcon();
  }
  return std::nullopt;
}
