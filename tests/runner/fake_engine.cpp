#include "tests/runner/fake_engine.h"

#include <memory>

#include "bridge/app_identifier.h"
#include "devkit/engine/messenger.h"
#include "engine_api/url_launcher_plugin.h"

struct FlutterDesktopEngine {
  FlutterDesktopMessenger* messenger;
};

struct FlutterDesktopView {
  HWND window;
};

struct FlutterDesktopViewControllerState {
  FlutterDesktopEngine* engine;
  FlutterDesktopView view;
};

struct FlutterDesktopPluginRegistrar {
  std::string name;
};

namespace keelo::testing {
namespace {

FakeEngineLibrary* library = new FakeEngineLibrary();

// Views are created as children of a hidden window until the host embeds them.
HWND ParkingWindow() {
  static HWND parking = CreateWindowExW(0, L"STATIC", L"parking", WS_POPUP, 0, 0, 10, 10, nullptr,
                                        nullptr, nullptr, nullptr);
  return parking;
}

void EndEngine(FlutterDesktopEngine* engine) {
  engine->messenger->ShutDown();
  ++library->engines_destroyed;
  delete engine;
}

}  // namespace

FakeEngineLibrary& fake_engine() { return *library; }

void ResetFakeEngine() { *library = FakeEngineLibrary(); }

void DeliverFrame() {
  FlutterDesktopOnNextFrameCallback callback = library->next_frame_callback;
  library->next_frame_callback = nullptr;
  if (callback != nullptr) callback(library->next_frame_user_data);
}

bool BridgeListening() {
  // The messenger goes with its engine unless a test holds it: read only while one is live.
  if (library->engines_created <= library->engines_destroyed) return false;
  return library->last_messenger->has_callback(kDesktopChannel) &&
         library->last_messenger->has_callback(kUiChannel);
}

}  // namespace keelo::testing

using keelo::testing::fake_engine;

extern "C" {

FlutterDesktopEngineRef FlutterDesktopEngineCreate(
    const FlutterDesktopEngineProperties* properties) {
  auto& fake = fake_engine();
  fake.assets_path = properties->assets_path;
  fake.icu_data_path = properties->icu_data_path;
  fake.aot_library_path = properties->aot_library_path;
  fake.entrypoint_was_null = properties->dart_entrypoint == nullptr;
  fake.entrypoint = fake.entrypoint_was_null ? "" : properties->dart_entrypoint;
  fake.argc = properties->dart_entrypoint_argc;
  fake.argv_was_null = properties->dart_entrypoint_argv == nullptr;
  fake.argv.clear();
  for (int i = 0; i < properties->dart_entrypoint_argc; ++i) {
    fake.argv.emplace_back(properties->dart_entrypoint_argv[i]);
  }
  for (size_t i = 0; i < fake.options.size(); ++i) fake.options[i] = properties->options[i];
  fake.byte_option = properties->byte_option;
  if (fake.fail_engine_create) return nullptr;
  ++fake.engines_created;
  fake.last_messenger = FlutterDesktopMessenger::Create();
  return new FlutterDesktopEngine{fake.last_messenger};
}

bool FlutterDesktopEngineDestroy(FlutterDesktopEngineRef engine) {
  if (engine == nullptr) {
    ++fake_engine().null_handle_calls;
    return false;
  }
  keelo::testing::EndEngine(engine);
  return true;
}

FlutterDesktopMessengerRef FlutterDesktopEngineGetMessenger(FlutterDesktopEngineRef engine) {
  if (engine == nullptr) {
    ++fake_engine().null_handle_calls;
    return nullptr;
  }
  return engine->messenger;
}

FlutterDesktopPluginRegistrarRef FlutterDesktopEngineGetPluginRegistrar(
    FlutterDesktopEngineRef engine, const char* plugin_name) {
  if (engine == nullptr) ++fake_engine().null_handle_calls;
  fake_engine().registrar_names.emplace_back(plugin_name);
  static FlutterDesktopPluginRegistrar registrar;
  registrar.name = plugin_name;
  return &registrar;
}

void FlutterDesktopEngineReloadSystemFonts(FlutterDesktopEngineRef engine) {
  if (engine == nullptr) ++fake_engine().null_handle_calls;
  ++fake_engine().font_reloads;
  fake_engine().offered_before_font_reload = fake_engine().top_level_messages.size();
}

void FlutterDesktopEngineSetNextFrameCallback(FlutterDesktopEngineRef engine,
                                              FlutterDesktopOnNextFrameCallback callback,
                                              void* user_data) {
  if (engine == nullptr) ++fake_engine().null_handle_calls;
  fake_engine().next_frame_callback = callback;
  fake_engine().next_frame_user_data = user_data;
}

FlutterDesktopViewControllerRef FlutterDesktopViewControllerCreate(int width, int height,
                                                                   FlutterDesktopEngineRef engine) {
  auto& fake = fake_engine();
  if (engine == nullptr || fake.fail_view_controller) {
    // The controller takes the engine over even when it cannot run it.
    if (engine != nullptr) keelo::testing::EndEngine(engine);
    return nullptr;
  }
  ++fake.controllers_created;
  HWND view = CreateWindowExW(0, L"STATIC", L"view", WS_CHILD | WS_VISIBLE, 0, 0, width, height,
                              keelo::testing::ParkingWindow(), nullptr, nullptr, nullptr);
  fake.last_view = view;
  return new FlutterDesktopViewControllerState{engine, {view}};
}

void FlutterDesktopViewControllerDestroy(FlutterDesktopViewControllerRef controller) {
  auto& fake = fake_engine();
  if (controller == nullptr) {
    ++fake.null_handle_calls;
    return;
  }
  ++fake.controllers_destroyed;
  fake.bridge_alive_at_controller_destroy = keelo::testing::BridgeListening();
  DestroyWindow(controller->view.window);
  keelo::testing::EndEngine(controller->engine);
  delete controller;
}

FlutterDesktopViewRef FlutterDesktopViewControllerGetView(
    FlutterDesktopViewControllerRef controller) {
  return &controller->view;
}

void FlutterDesktopViewControllerForceRedraw(FlutterDesktopViewControllerRef controller) {
  if (controller == nullptr) ++fake_engine().null_handle_calls;
  ++fake_engine().redraws;
}

bool FlutterDesktopViewControllerHandleTopLevelWindowProc(
    FlutterDesktopViewControllerRef controller, HWND window, UINT message, WPARAM, LPARAM,
    LRESULT* result) {
  auto& fake = fake_engine();
  if (controller == nullptr) ++fake.null_handle_calls;
  fake.top_level_messages.push_back(message);
  if (fake.destroy_window_on == message) {
    fake.destroy_window_on.reset();
    DestroyWindow(window);
    return false;
  }
  if (fake.consumed_message != message) return false;
  *result = fake.consumed_result;
  return true;
}

HWND FlutterDesktopViewGetHWND(FlutterDesktopViewRef view) { return view->window; }

UINT FlutterDesktopGetDpiForHWND(HWND) { return fake_engine().dpi; }

UINT FlutterDesktopGetDpiForMonitor(HMONITOR) { return fake_engine().dpi; }

void FlutterDesktopResyncOutputStreams() {}

void UrlLauncherWindowsRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef registrar) {
  ++fake_engine().url_launcher_registrations;
  fake_engine().registered_with_url_launcher = registrar;
}

}  // extern "C"
