#ifndef RUNNER_ENGINE_FLUTTER_ENGINE_H_
#define RUNNER_ENGINE_FLUTTER_ENGINE_H_

#include <functional>
#include <memory>
#include <string>

#include "engine_api/flutter_windows.h"
#include "messaging/binary_messenger.h"
#include "messaging/binary_messenger_impl.h"
#include "runner/engine/engine_project.h"
#include "runner/engine/plugin_registry.h"

namespace flutter {

// One engine instance with its messenger. The engine is created here and normally handed to a
// view controller, which runs it and ends it; this object keeps using the handle meanwhile.
class FlutterEngine : public PluginRegistry {
 public:
  explicit FlutterEngine(const EngineProject& project);
  ~FlutterEngine() override;

  FlutterEngine(const FlutterEngine&) = delete;
  FlutterEngine& operator=(const FlutterEngine&) = delete;

  FlutterDesktopPluginRegistrarRef GetRegistrar(const std::string& plugin_name) override;

  BinaryMessenger* messenger() const { return messenger_.get(); }

  // Gives up ownership: the handle stays usable here, but this object no longer destroys it.
  FlutterDesktopEngineRef TakeEngineHandle();

  void ReloadSystemFonts();

  // |callback| runs once, after the next frame; a later call replaces one that has not run.
  void SetNextFrameCallback(std::function<void()> callback);

 private:
  static void OnNextFrame(void* user_data) noexcept;

  FlutterDesktopEngineRef engine_handle_;
  std::unique_ptr<BinaryMessengerImpl> messenger_;
  bool owns_engine_ = true;
  std::function<void()> next_frame_callback_;
};

}  // namespace flutter

#endif  // RUNNER_ENGINE_FLUTTER_ENGINE_H_
