#ifndef DEVKIT_ENGINE_VIEW_WINDOW_H_
#define DEVKIT_ENGINE_VIEW_WINDOW_H_

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "common/scoped_handles.h"

namespace devkit {

// The view: a real child window that shows the engine's frames. A frame is rendered into a
// bitmap whether or not the window can be seen, since the host shows its window only after the
// first frame; painting presents the latest frame, and renders one first when there is none of
// the window's size (the first paint, a paint after a resize). UI thread only.
class ViewWindow {
 public:
  // |on_frame| runs after every frame, inside whatever produced it.
  static std::unique_ptr<ViewWindow> Create(int width, int height, std::function<void()> on_frame);
  ~ViewWindow();

  ViewWindow(const ViewWindow&) = delete;
  ViewWindow& operator=(const ViewWindow&) = delete;

  // Null once the window is gone (its parent was destroyed with it).
  HWND window() const { return view_; }

  // Renders a frame and has it painted.
  void Present();
  void SetStatusText(std::wstring text) { status_text_ = std::move(text); }
  void ReloadFont();
  // Keeps the view over the whole client area of |parent| when that is the window it is in.
  void FollowParent(HWND parent);

 private:
  explicit ViewWindow(std::function<void()> on_frame) : on_frame_(std::move(on_frame)) {}

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
  void ProduceFrame();
  void Paint();
  SIZE ClientSize() const;

  std::function<void()> on_frame_;
  // Holds the view, hidden, until the host makes it a child of its own window.
  HWND holder_ = nullptr;
  HWND view_ = nullptr;
  ScopedGdiObject<HBITMAP> frame_;
  SIZE frame_size_{0, 0};
  ScopedGdiObject<HFONT> font_;
  std::wstring status_text_;
};

}  // namespace devkit

#endif  // DEVKIT_ENGINE_VIEW_WINDOW_H_
