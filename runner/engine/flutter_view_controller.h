#ifndef RUNNER_ENGINE_FLUTTER_VIEW_CONTROLLER_H_
#define RUNNER_ENGINE_FLUTTER_VIEW_CONTROLLER_H_

#include <windows.h>

#include <memory>
#include <optional>

#include "engine_api/flutter_windows.h"
#include "runner/engine/engine_project.h"
#include "runner/engine/flutter_engine.h"
#include "runner/engine/flutter_view.h"

namespace flutter {

// Creates the engine and its view and runs the engine; ending the controller ends both.
class FlutterViewController {
 public:
  // |width| and |height| are physical pixels. When the engine cannot be run, view() is null.
  FlutterViewController(int width, int height, const EngineProject& project);
  virtual ~FlutterViewController();

  FlutterViewController(const FlutterViewController&) = delete;
  FlutterViewController& operator=(const FlutterViewController&) = delete;

  FlutterEngine* engine() const { return engine_.get(); }
  FlutterView* view() const { return view_.get(); }

  void ForceRedraw();

  // A value when the engine consumed the top-level window's message.
  std::optional<LRESULT> HandleTopLevelWindowProc(HWND hwnd, UINT message, WPARAM wparam,
                                                  LPARAM lparam);

 private:
  FlutterDesktopViewControllerRef controller_handle_ = nullptr;
  std::shared_ptr<FlutterEngine> engine_;
  std::unique_ptr<FlutterView> view_;
};

}  // namespace flutter

#endif  // RUNNER_ENGINE_FLUTTER_VIEW_CONTROLLER_H_
