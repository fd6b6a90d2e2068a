#ifndef BRIDGE_WINDOW_ICONS_H_
#define BRIDGE_WINDOW_ICONS_H_

#include <windows.h>

#include <optional>

#include "common/scoped_handles.h"

// The main window's small and big icons (its caption, the taskbar and the task switcher), drawn
// for the window's DPI and drawn again when it changes.
class WindowIcons {
 public:
  // Gives |window| its icons for its current DPI.
  explicit WindowIcons(HWND window);
  // Takes the icons back from the window, and destroys them.
  ~WindowIcons();

  WindowIcons(const WindowIcons&) = delete;
  WindowIcons& operator=(const WindowIcons&) = delete;

  // Loads both icons for the window's current DPI and gives them to it.
  void Update();

  // WM_DPICHANGED, and a WM_SETTINGCHANGE of the icon metrics: the icons drawn again at the new
  // size; the message goes on to the others.
  std::optional<LRESULT> HandleWindowMessage(UINT message, WPARAM wparam, LPARAM lparam);

 private:
  HWND window_;
  // The window draws with the icons it is given, so they are kept until replaced or taken back.
  ScopedIcon small_icon_;
  ScopedIcon big_icon_;
};

#endif  // BRIDGE_WINDOW_ICONS_H_
