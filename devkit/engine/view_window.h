#ifndef DEVKIT_ENGINE_VIEW_WINDOW_H_
#define DEVKIT_ENGINE_VIEW_WINDOW_H_

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "common/scoped_handles.h"
#include "devkit/app_api/app_interface.h"
#include "devkit/engine/scene_painter.h"

namespace devkit {

// The view: a real child window that shows the engine's frames. A frame is rendered into a
// bitmap whether or not the window can be seen, since the host shows its window only after the
// first frame; painting presents the latest frame, and renders one first when there is none of
// the window's size (the first paint, a paint after a resize). A frame is the status text under
// the engine's line, or what a painter describes. UI thread only.
class ViewWindow {
 public:
  // Describes a frame of |width| x |height| logical pixels through |draw| (app_interface.h).
  using Painter =
      std::function<void(float width, float height, KeeloDrawFunction draw, void* frame)>;

  // |on_frame| runs after every frame, inside whatever produced it.
  static std::unique_ptr<ViewWindow> Create(int width, int height, std::function<void()> on_frame);
  ~ViewWindow();

  ViewWindow(const ViewWindow&) = delete;
  ViewWindow& operator=(const ViewWindow&) = delete;

  // Null once the window is gone (its parent was destroyed with it).
  HWND window() const { return view_; }

  // Renders a frame and has it painted.
  void Present();
  // Also the window's text, for a test to read.
  void SetStatusText(std::wstring text);
  // Null returns to the status text.
  void SetPainter(Painter painter) { painter_ = std::move(painter); }
  void ReloadFont();
  // Keeps the view over the whole client area of |parent| when that is the window it is in.
  void FollowParent(HWND parent);

 private:
  explicit ViewWindow(std::function<void()> on_frame) : on_frame_(std::move(on_frame)) {}

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
  void ProduceFrame();
  void DrawStatusText(HDC canvas, SIZE size);
  void DrawPainted(HDC canvas, SIZE size);
  void Paint();
  // Copies the latest frame to |target|, rendering one first when there is none of the window's
  // size.
  void CopyFrameTo(HDC target);
  SIZE ClientSize() const;

  std::function<void()> on_frame_;
  // Holds the view, hidden, until the host makes it a child of its own window.
  HWND holder_ = nullptr;
  HWND view_ = nullptr;
  ScopedGdiObject<HBITMAP> frame_;
  SIZE frame_size_{0, 0};
  ScopedGdiObject<HFONT> font_;
  // The typeface of |font_|, in which a painter's texts are drawn.
  std::wstring face_name_;
  std::wstring status_text_;
  Painter painter_;
  ScenePainter scene_;
};

}  // namespace devkit

#endif  // DEVKIT_ENGINE_VIEW_WINDOW_H_
