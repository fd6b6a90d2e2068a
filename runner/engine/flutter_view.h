#ifndef RUNNER_ENGINE_FLUTTER_VIEW_H_
#define RUNNER_ENGINE_FLUTTER_VIEW_H_

#include <windows.h>

#include "engine_api/flutter_windows.h"

namespace flutter {

// The engine's view: a child window that the host embeds. Owned by the view controller.
class FlutterView {
 public:
  explicit FlutterView(FlutterDesktopViewRef view) : view_handle_(view) {}
  virtual ~FlutterView() = default;

  FlutterView(const FlutterView&) = delete;
  FlutterView& operator=(const FlutterView&) = delete;

  HWND GetHWND() const { return FlutterDesktopViewGetHWND(view_handle_); }

 private:
  FlutterDesktopViewRef view_handle_;
};

}  // namespace flutter

#endif  // RUNNER_ENGINE_FLUTTER_VIEW_H_
