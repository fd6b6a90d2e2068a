#ifndef BRIDGE_MINI_MODE_H_
#define BRIDGE_MINI_MODE_H_

#include <windows.h>

#include <functional>
#include <optional>

// The main window as a small borderless always-on-top timer in the bottom-right corner of the
// work area, and back; with the size the user may drag the window to in either form.
class MiniMode {
 public:
  // Tells the UI application that the host took the window out of mini mode itself.
  using NotifyLeft = std::function<void()>;

  MiniMode(HWND window, NotifyLeft notify_left);

  MiniMode(const MiniMode&) = delete;
  MiniMode& operator=(const MiniMode&) = delete;

  // The timer of |width| x |height| logical pixels (a side that is no usable number takes the
  // default); when already there, resized around the corner it was dragged to.
  void Enter(double width, double height);
  // Back to the window as it was before mini mode; NotifyLeft runs when |notify|. Nothing when
  // not in mini mode.
  void Exit(bool notify);

  // The system's move loop, as for a press on the caption: returns when the user lets go of the
  // mouse. The caller runs it as a modal loop.
  void Drag();

  // WM_GETMINMAXINFO: the smallest size the user may drag the window to; anything else goes on
  // to the others.
  std::optional<LRESULT> HandleWindowMessage(UINT message, WPARAM wparam, LPARAM lparam);

  bool active() const { return active_; }

 private:
  double WindowScale() const;
  void SetCornerPreference(DWORD preference);

  HWND window_;
  NotifyLeft notify_left_;
  bool active_ = false;
  LONG_PTR saved_style_ = 0;
  WINDOWPLACEMENT saved_placement_ = {};
};

#endif  // BRIDGE_MINI_MODE_H_
