#include "bridge/window_icons.h"

#include <utility>

#include "bridge/app_icon.h"
#include "engine_api/flutter_windows.h"

WindowIcons::WindowIcons(HWND window) : window_(window) { Update(); }

WindowIcons::~WindowIcons() {
  if (small_icon_) SendMessageW(window_, WM_SETICON, ICON_SMALL, 0);
  if (big_icon_) SendMessageW(window_, WM_SETICON, ICON_BIG, 0);
}

void WindowIcons::Update() {
  const UINT dpi = FlutterDesktopGetDpiForHWND(window_);
  const int small_size = GetSystemMetricsForDpi(SM_CXSMICON, dpi);
  const int big_size = GetSystemMetricsForDpi(SM_CXICON, dpi);
  // The ones replaced go once the window holds the new ones.
  if (ScopedIcon small_icon = LoadAppIcon(small_size)) {
    SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_icon.get()));
    small_icon_ = std::move(small_icon);
  }
  if (ScopedIcon big_icon = LoadAppIcon(big_size)) {
    SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big_icon.get()));
    big_icon_ = std::move(big_icon);
  }
}

std::optional<LRESULT> WindowIcons::HandleWindowMessage(UINT message, WPARAM wparam,
                                                        LPARAM lparam) {
  if (message == WM_DPICHANGED ||
      (message == WM_SETTINGCHANGE &&
       ChangesIconMetrics(wparam, reinterpret_cast<const wchar_t*>(lparam)))) {
    Update();
  }
  return std::nullopt;
}
