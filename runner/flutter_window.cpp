#include "runner/flutter_window.h"

#include <optional>
#include <utility>

#include "bridge/window_messages.h"
#include "runner/engine/plugin_registrant.h"
#include "runner/startup_marks.h"

FlutterWindow::FlutterWindow(const flutter::EngineProject& project, SystemCalls system)
    : project_(project), system_(std::move(system)) {}

FlutterWindow::~FlutterWindow() {
  // The bridge borrows the engine's messenger, so it goes first.
  bridge_.reset();
  controller_.reset();
}

bool FlutterWindow::OnWindowCreated() {
  if (!Win32Window::OnWindowCreated()) return false;
  MarkStartupPhase("window");

  RECT frame = ClientRect();
  controller_ = std::make_unique<flutter::FlutterViewController>(
      frame.right - frame.left, frame.bottom - frame.top, project_);
  if (controller_->engine() == nullptr || controller_->view() == nullptr) return false;

  MarkStartupPhase("engine");
  RegisterAllPlugins(controller_->engine());
  MarkStartupPhase("plug-ins");
  making_bridge_ = true;
  bridge_ = std::make_unique<DesktopBridge>(controller_->engine()->messenger(), handle(), system_);
  making_bridge_ = false;
  MarkStartupPhase("bridge");
  // The bridge talks to the shell while it starts, and the messages sent to this window
  // meanwhile are handled at once; one of them may have destroyed it. The engine was kept for
  // the bridge, which borrows its messenger: both go now, the bridge first.
  if (handle() == nullptr) {
    OnWindowDestroyed();
    return false;
  }
  EmbedContent(controller_->view()->GetHWND());

  // Shown only once there is something to see, never as an empty frame.
  controller_->engine()->SetNextFrameCallback([this]() {
    if (!start_minimized_) ShowNormal();
    MarkStartupPhase("first-frame");
    if (bridge_) bridge_->OnFirstFrame();
    if (after_first_frame_) std::exchange(after_first_frame_, nullptr)();
  });
  // The engine may have nothing new to draw after the resize into the window; ask for a frame
  // so that the callback above runs.
  controller_->ForceRedraw();
  return true;
}

void FlutterWindow::OnWindowDestroyed() {
  // The bridge being made would be left over a destroyed engine; OnWindowCreated ends both
  // once it has the bridge.
  if (making_bridge_) return;
  // Bridge before engine, with nothing dispatched in between, so that no channel call can
  // reach a destroyed bridge.
  bridge_.reset();
  controller_.reset();
  Win32Window::OnWindowDestroyed();
}

LRESULT FlutterWindow::HandleMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  // The bridge's quit path destroys the window, and with it the bridge, inside this call: the
  // result is returned without touching the bridge again.
  if (bridge_) {
    std::optional<LRESULT> result = bridge_->HandleWindowMessage(hwnd, message, wparam, lparam);
    if (result) return *result;
  } else if (controller_ && message == WM_CLOSE) {
    // A close while the bridge is still being made (it talks to the shell, which lets sent
    // messages in) follows the bridge's rule, to the tray, instead of destroying the window
    // under the code that is making it.
    ShowWindow(hwnd, SW_HIDE);
    return 0;
  } else if (controller_ && message == QuitMessage()) {
    // Only the bridge carries a quit out: this one comes back from the message loop, by which
    // time the bridge is there.
    PostMessageW(hwnd, message, wparam, lparam);
    return 0;
  }
  if (controller_) {
    std::optional<LRESULT> result =
        controller_->HandleTopLevelWindowProc(hwnd, message, wparam, lparam);
    if (result) return *result;
  }
  if (message == WM_FONTCHANGE && controller_) controller_->engine()->ReloadSystemFonts();
  return Win32Window::HandleMessage(hwnd, message, wparam, lparam);
}
