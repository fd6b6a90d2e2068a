#include "runner/system_theme.h"

namespace {

constexpr wchar_t kPersonalizeKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
// DWMWA_USE_IMMERSIVE_DARK_MODE; older SDKs do not name it.
constexpr DWORD kUseImmersiveDarkMode = 20;

}  // namespace

std::optional<bool> UserPrefersDarkApps() {
  DWORD light = 0;
  DWORD size = sizeof(light);
  if (RegGetValueW(HKEY_CURRENT_USER, kPersonalizeKey, L"AppsUseLightTheme", RRF_RT_REG_DWORD,
                   nullptr, &light, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return light == 0;
}

void ApplySystemTheme(HWND window, const WindowAttributeSetter& set_attribute) {
  const std::optional<bool> dark_apps = UserPrefersDarkApps();
  if (!dark_apps) return;
  const BOOL dark = *dark_apps ? TRUE : FALSE;
  // Systems before Windows 10 20H1 reject the attribute; the title bar then stays light.
  set_attribute(window, kUseImmersiveDarkMode, &dark, sizeof(dark));
}
