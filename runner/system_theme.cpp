#include "runner/system_theme.h"

#include <cwchar>

namespace {

constexpr wchar_t kPersonalizeKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
// DWMWA_USE_IMMERSIVE_DARK_MODE; older SDKs do not name it. Windows 10 before 20H1 (1809 to
// 1909, still serviced as LTSC 2019) knew the same attribute under the number 19.
constexpr DWORD kUseImmersiveDarkMode = 20;
constexpr DWORD kUseImmersiveDarkModeBefore20H1 = 19;

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
  if (SUCCEEDED(set_attribute(window, kUseImmersiveDarkMode, &dark, sizeof(dark)))) return;
  // Refused by both numbers before Windows 10 1809: the title bar then stays light.
  set_attribute(window, kUseImmersiveDarkModeBefore20H1, &dark, sizeof(dark));
}

bool IsAppThemeChange(const wchar_t* area) {
  return area != nullptr && std::wcscmp(area, L"ImmersiveColorSet") == 0;
}
