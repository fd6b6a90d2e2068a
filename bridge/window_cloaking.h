#ifndef BRIDGE_WINDOW_CLOAKING_H_
#define BRIDGE_WINDOW_CLOAKING_H_

#include <windows.h>

#include <functional>
#include <optional>

// The compositor's DWMWA_CLOAKED value of |window| (the DWM_CLOAKED_* flags: hidden by its app,
// by the shell, or with an ancestor; 0 when shown); nothing when it cannot be read.
using CloakReader = std::function<std::optional<DWORD>(HWND window)>;

// Whether a window with |cloaked| as its attribute is hidden from the user even though it
// passes IsWindowVisible: a suspended packaged app's frame, a window on another virtual desktop,
// a shell host. One whose attribute cannot be read counts as shown, as on systems without a
// compositor.
bool IsHiddenByCompositor(std::optional<DWORD> cloaked);

#endif  // BRIDGE_WINDOW_CLOAKING_H_
