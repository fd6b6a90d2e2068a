#include "runner/engine/flutter_view_controller.h"

#include "messaging/diagnostics.h"

namespace flutter {

FlutterViewController::FlutterViewController(int width, int height, const EngineProject& project)
    : engine_(std::make_shared<FlutterEngine>(project)) {
  controller_handle_ =
      FlutterDesktopViewControllerCreate(width, height, engine_->TakeEngineHandle());
  if (controller_handle_ == nullptr) {
    WriteDiagnosticLine("Failed to create view controller.");
    return;
  }
  view_ = std::make_unique<FlutterView>(FlutterDesktopViewControllerGetView(controller_handle_));
}

FlutterViewController::~FlutterViewController() {
  // Ends the view and the engine; the engine object gave its handle away and does not end it
  // a second time.
  if (controller_handle_ != nullptr) FlutterDesktopViewControllerDestroy(controller_handle_);
}

void FlutterViewController::ForceRedraw() {
  // A failed controller still receives its window's messages until that window goes; the
  // engine library is never handed a null controller.
  if (controller_handle_ == nullptr) return;
  FlutterDesktopViewControllerForceRedraw(controller_handle_);
}

std::optional<LRESULT> FlutterViewController::HandleTopLevelWindowProc(HWND hwnd, UINT message,
                                                                       WPARAM wparam,
                                                                       LPARAM lparam) {
  if (controller_handle_ == nullptr) return std::nullopt;
  LRESULT result = 0;
  if (!FlutterDesktopViewControllerHandleTopLevelWindowProc(controller_handle_, hwnd, message,
                                                            wparam, lparam, &result)) {
    return std::nullopt;
  }
  return result;
}

}  // namespace flutter
