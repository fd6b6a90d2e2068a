#ifndef RUNNER_FLUTTER_WINDOW_H_
#define RUNNER_FLUTTER_WINDOW_H_

#include <windows.h>

#include <functional>
#include <memory>
#include <utility>

#include "bridge/desktop_bridge.h"
#include "runner/engine/engine_project.h"
#include "runner/engine/flutter_view_controller.h"
#include "runner/win32_window.h"

// The host's main window: runs the engine with the UI application in its client area, and
// offers each of its messages to the desktop bridge, then the engine, then the base window.
class FlutterWindow : public Win32Window {
 public:
  // |system| is what the desktop bridge asks of the system; a test gives its own.
  explicit FlutterWindow(const flutter::EngineProject& project,
                         SystemCalls system = SystemCalls::Real());
  ~FlutterWindow() override;

  // Set before Open: the first frame then leaves the window hidden.
  void set_start_minimized(bool value) { start_minimized_ = value; }
  // Set before Open: runs once, on this thread, after the first frame is shown (or, when the
  // start is minimized, drawn), for the work that need not hold up what the user sees first.
  void set_after_first_frame(std::function<void()> work) { after_first_frame_ = std::move(work); }

 protected:
  LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) override;
  bool OnWindowCreated() override;
  void OnWindowDestroyed() override;

 private:
  flutter::EngineProject project_;
  SystemCalls system_;
  std::unique_ptr<flutter::FlutterViewController> controller_;
  std::unique_ptr<DesktopBridge> bridge_;
  bool start_minimized_ = false;
  std::function<void()> after_first_frame_;
  // While the bridge is being made: the engine it is given must outlive it.
  bool making_bridge_ = false;
};

#endif  // RUNNER_FLUTTER_WINDOW_H_
