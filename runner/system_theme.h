#ifndef RUNNER_SYSTEM_THEME_H_
#define RUNNER_SYSTEM_THEME_H_

#include <windows.h>

#include <functional>
#include <optional>

// Whether the user chose dark apps; nothing when the choice cannot be read (a fresh profile has
// no such value), which callers treat as light.
std::optional<bool> UserPrefersDarkApps();

// DwmSetWindowAttribute's shape. The window keeps one so that a test can see what its title bar
// was given: Wine accepts the attribute and forgets it.
using WindowAttributeSetter =
    std::function<HRESULT(HWND window, DWORD attribute, LPCVOID value, DWORD size)>;

// Dark title bar when the user chose dark apps, light when light; left alone when the choice
// cannot be read.
void ApplySystemTheme(HWND window, const WindowAttributeSetter& set_attribute);

// Whether a WM_SETTINGCHANGE names |area| (its lParam text, null for none) as the one in which
// the user switched between light and dark apps.
bool IsAppThemeChange(const wchar_t* area);

#endif  // RUNNER_SYSTEM_THEME_H_
