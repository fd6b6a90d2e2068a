#ifndef RUNNER_WIN32_WINDOW_H_
#define RUNNER_WIN32_WINDOW_H_

#include <windows.h>

#include <string>
#include <utility>

#include "runner/system_theme.h"

// A top-level window placed in logical pixels and scaled for its monitor's DPI, whose messages
// go to HandleMessage. It keeps one child window (the engine's view) over its client area and
// follows the system's light or dark app theme in its title bar.
class Win32Window {
 public:
  struct Point {
    int x;
    int y;
  };
  struct Size {
    int width;
    int height;
  };

  Win32Window();
  virtual ~Win32Window();

  Win32Window(const Win32Window&) = delete;
  Win32Window& operator=(const Win32Window&) = delete;

  // Creates the native window, hidden, with |origin| and |size| in logical pixels (96 DPI);
  // an earlier native window goes first. Returns OnWindowCreated's result, or false when the
  // window could not be created.
  bool Open(const std::wstring& title, const Point& origin, const Size& size);

  // True when the window was visible before.
  bool ShowNormal();

  void DestroyNativeWindow();

  // Makes |content| a child that fills the client area and takes keyboard input.
  void EmbedContent(HWND content);

  HWND handle() const { return window_handle_; }
  RECT ClientRect() const;

  // Ends the message loop when the native window is destroyed.
  void set_quit_when_destroyed(bool value) { quit_when_destroyed_ = value; }

  // Set before Open to see the title-bar theme that the window applies.
  void set_window_attribute_setter_for_testing(WindowAttributeSetter setter) {
    set_window_attribute_ = std::move(setter);
  }

 protected:
  virtual LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

  // Called at the end of Open, once the native window exists.
  virtual bool OnWindowCreated();

  // Called when the native window goes away, and by Open before it creates one, so it must
  // cope with having nothing to release.
  virtual void OnWindowDestroyed();

 private:
  // user32 calls it from C frames, through which nothing may unwind: an exception that gets
  // this far ends the process here.
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam,
                                     LPARAM lparam) noexcept;

  // The title bar in the theme the user now prefers, repainted at once.
  void FollowSystemTheme(HWND hwnd);

  bool quit_when_destroyed_ = false;
  HWND window_handle_ = nullptr;
  HWND content_ = nullptr;
  // DwmSetWindowAttribute unless a test replaced it.
  WindowAttributeSetter set_window_attribute_;
};

// Scales the non-client area with the DPI where the system offers it (Windows 10 1607 and
// later); the call is looked up at run time so that older systems still start.
void EnableNonClientScaling(HWND hwnd);

#endif  // RUNNER_WIN32_WINDOW_H_
