#ifndef BRIDGE_MINI_MODE_H_
#define BRIDGE_MINI_MODE_H_

#include <windows.h>

#include <functional>
#include <optional>

#include "bridge/display_monitors.h"
#include "bridge/mini_window_geometry.h"

// The main window as a small borderless always-on-top timer in the bottom-right corner of the
// work area, and back; with the size the user may drag the window to in either form. The timer
// follows its corner when the monitors, the work area or the DPI change, and stays above the
// taskbar.
class MiniMode {
 public:
  // Tells the UI application that the host took the window out of mini mode itself.
  using NotifyLeft = std::function<void()>;

  // |list_monitors| says where the monitors and their work areas are now.
  MiniMode(HWND window, NotifyLeft notify_left, MonitorLister list_monitors);

  MiniMode(const MiniMode&) = delete;
  MiniMode& operator=(const MiniMode&) = delete;

  // The timer of |width| x |height| logical pixels (a side that is no usable number takes the
  // default); when already there, resized around the corner it was dragged to.
  void Enter(double width, double height);
  // Back to the window as it was before mini mode, on a monitor that is still there; NotifyLeft
  // runs when |notify|. Nothing when not in mini mode.
  void Exit(bool notify);

  // The system's move loop, as for a press on the caption: returns when the user lets go of the
  // mouse. The caller runs it as a modal loop.
  void Drag();

  // |front| came to the front: a taskbar or an always-on-top window that did is put back under
  // the timer, without taking the focus from it.
  void OnForegroundChanged(HWND front);

  // WM_GETMINMAXINFO: the smallest size the user may drag the window to. The end of a move loop
  // keeps where the user left the timer; a change of the monitors, the work area or the DPI
  // places it again, and those go on to the others too.
  std::optional<LRESULT> HandleWindowMessage(UINT message, WPARAM wparam, LPARAM lparam);

  bool active() const { return active_; }

 private:
  double WindowScale() const;
  void SetCornerPreference(DWORD preference);
  // The timer placed again on its monitor, or the nearest one when its own went away. With
  // |suggested|, the place the system suggests at a new DPI, on whose monitor it goes; the
  // suggestion is replaced by that place.
  void PlaceAgain(RECT* suggested);
  void KeepDraggedPlace();

  HWND window_;
  NotifyLeft notify_left_;
  MonitorLister list_monitors_;
  bool active_ = false;
  // Inside the system's move loop, which places the window itself.
  bool moving_ = false;
  // The timer's size as asked for, in logical pixels.
  double width_ = kDefaultMiniWidth;
  double height_ = kDefaultMiniHeight;
  // Where the user dragged the timer, while in mini mode.
  std::optional<MiniAnchor> anchor_;
  LONG_PTR saved_style_ = 0;
  WINDOWPLACEMENT saved_placement_ = {};
};

#endif  // BRIDGE_MINI_MODE_H_
