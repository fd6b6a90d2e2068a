#include "runner/engine/flutter_engine.h"

#include <utility>
#include <vector>

#include "messaging/diagnostics.h"

namespace flutter {
namespace {

FlutterDesktopEngineRef CreateEngine(const EngineProject& project) {
  // The engine copies what it needs during the call, so the pointers only have to live as long.
  std::vector<const char*> arguments;
  arguments.reserve(project.dart_entrypoint_arguments.size());
  for (const std::string& argument : project.dart_entrypoint_arguments) {
    arguments.push_back(argument.c_str());
  }

  FlutterDesktopEngineProperties properties = {};
  properties.assets_path = project.assets_path.c_str();
  properties.icu_data_path = project.icu_data_path.c_str();
  properties.aot_library_path = project.aot_library_path.c_str();
  properties.dart_entrypoint = project.dart_entrypoint.c_str();
  properties.dart_entrypoint_argc = static_cast<int>(arguments.size());
  properties.dart_entrypoint_argv = arguments.empty() ? nullptr : arguments.data();
  for (size_t i = 0; i < project.engine_options.size(); ++i) {
    properties.options[i] = project.engine_options[i];
  }
  properties.byte_option = project.byte_option;
  return FlutterDesktopEngineCreate(&properties);
}

}  // namespace

FlutterEngine::FlutterEngine(const EngineProject& project)
    : engine_handle_(CreateEngine(project)),
      // Without an engine there is no messenger to ask for; the view controller built on this
      // engine fails next, so the null messenger is never used for traffic.
      messenger_(std::make_unique<BinaryMessengerImpl>(
          engine_handle_ != nullptr ? FlutterDesktopEngineGetMessenger(engine_handle_) : nullptr)) {
}

FlutterEngine::~FlutterEngine() {
  if (engine_handle_ != nullptr && owns_engine_) FlutterDesktopEngineDestroy(engine_handle_);
  engine_handle_ = nullptr;
}

FlutterDesktopPluginRegistrarRef FlutterEngine::GetRegistrar(const std::string& plugin_name) {
  if (engine_handle_ == nullptr) {
    WriteDiagnosticLine(
        "Cannot get plugin registrar on an engine that isn't running; call Run first.");
    return nullptr;
  }
  return FlutterDesktopEngineGetPluginRegistrar(engine_handle_, plugin_name.c_str());
}

FlutterDesktopEngineRef FlutterEngine::TakeEngineHandle() {
  owns_engine_ = false;
  return engine_handle_;
}

void FlutterEngine::ReloadSystemFonts() { FlutterDesktopEngineReloadSystemFonts(engine_handle_); }

void FlutterEngine::SetNextFrameCallback(std::function<void()> callback) {
  next_frame_callback_ = std::move(callback);
  FlutterDesktopEngineSetNextFrameCallback(engine_handle_, &FlutterEngine::OnNextFrame, this);
}

void FlutterEngine::OnNextFrame(void* user_data) noexcept {
  auto* engine = static_cast<FlutterEngine*>(user_data);
  // Taken out before it runs, so that a callback which sets the next one does not lose it.
  std::function<void()> callback = std::move(engine->next_frame_callback_);
  engine->next_frame_callback_ = nullptr;
  if (callback) callback();
}

}  // namespace flutter
