// The engine library's functions, as the host calls them, over the development kit's Engine.

#include <shellscalingapi.h>
#include <windows.h>

#include <cstdio>
#include <memory>

#include "devkit/engine/engine.h"
#include "devkit/engine/engine_diagnostics.h"
#include "engine_api/flutter_windows.h"

namespace {

struct ViewController {
  std::unique_ptr<devkit::Engine> engine;
};

devkit::Engine* EngineOf(FlutterDesktopEngineRef engine) {
  return reinterpret_cast<devkit::Engine*>(engine);
}

ViewController* ControllerOf(FlutterDesktopViewControllerRef controller) {
  return reinterpret_cast<ViewController*>(controller);
}

UINT ScreenDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSX) : 0;
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

}  // namespace

extern "C" {

FlutterDesktopEngineRef FlutterDesktopEngineCreate(
    const FlutterDesktopEngineProperties* engine_properties) {
  if (engine_properties == nullptr) {
    devkit::WriteEngineDiagnostic("engine creation without properties");
    return nullptr;
  }
  return reinterpret_cast<FlutterDesktopEngineRef>(
      devkit::Engine::Create(*engine_properties).release());
}

bool FlutterDesktopEngineDestroy(FlutterDesktopEngineRef engine_ref) {
  devkit::Engine* engine = EngineOf(engine_ref);
  if (engine == nullptr) return false;
  if (engine->owned_by_controller()) {
    // Destroying it here would leave the controller with a dangling engine.
    devkit::WriteEngineDiagnostic("an engine owned by a view controller goes with the controller");
    return false;
  }
  delete engine;
  return true;
}

FlutterDesktopMessengerRef FlutterDesktopEngineGetMessenger(FlutterDesktopEngineRef engine_ref) {
  devkit::Engine* engine = EngineOf(engine_ref);
  if (engine == nullptr) {
    // The host asks for the messenger of an engine that failed to be created; every messenger
    // function takes the null messenger as one whose engine is gone.
    devkit::WriteEngineDiagnostic("messenger requested without an engine");
    return nullptr;
  }
  return engine->messenger();
}

FlutterDesktopPluginRegistrarRef FlutterDesktopEngineGetPluginRegistrar(
    FlutterDesktopEngineRef engine_ref, const char* plugin_name) {
  devkit::Engine* engine = EngineOf(engine_ref);
  return engine != nullptr ? engine->GetRegistrar(plugin_name) : nullptr;
}

void FlutterDesktopEngineReloadSystemFonts(FlutterDesktopEngineRef engine_ref) {
  if (devkit::Engine* engine = EngineOf(engine_ref)) engine->ReloadSystemFonts();
}

void FlutterDesktopEngineSetNextFrameCallback(FlutterDesktopEngineRef engine_ref,
                                              FlutterDesktopOnNextFrameCallback callback,
                                              void* user_data) {
  if (devkit::Engine* engine = EngineOf(engine_ref)) {
    engine->SetNextFrameCallback(callback, user_data);
  }
}

FlutterDesktopViewControllerRef FlutterDesktopViewControllerCreate(
    int width, int height, FlutterDesktopEngineRef engine_ref) {
  devkit::Engine* engine = EngineOf(engine_ref);
  if (engine == nullptr) {
    devkit::WriteEngineDiagnostic("view controller creation without an engine");
    return nullptr;
  }
  if (engine->owned_by_controller()) {
    devkit::WriteEngineDiagnostic("the engine already runs in another view controller");
    return nullptr;
  }
  // The controller takes the engine over whether or not it can run it: the host never uses the
  // engine handle again after a failed creation, so keeping it would only leak it.
  auto controller = std::make_unique<ViewController>();
  controller->engine.reset(engine);
  engine->set_owned_by_controller();
  if (!engine->Run(width, height)) return nullptr;
  return reinterpret_cast<FlutterDesktopViewControllerRef>(controller.release());
}

void FlutterDesktopViewControllerDestroy(FlutterDesktopViewControllerRef controller) {
  delete ControllerOf(controller);
}

FlutterDesktopViewRef FlutterDesktopViewControllerGetView(
    FlutterDesktopViewControllerRef controller) {
  if (controller == nullptr) return nullptr;
  return reinterpret_cast<FlutterDesktopViewRef>(ControllerOf(controller)->engine->view());
}

void FlutterDesktopViewControllerForceRedraw(FlutterDesktopViewControllerRef controller) {
  if (controller != nullptr) ControllerOf(controller)->engine->RequestFrame();
}

bool FlutterDesktopViewControllerHandleTopLevelWindowProc(
    FlutterDesktopViewControllerRef controller, HWND hwnd, UINT message, WPARAM wparam,
    LPARAM lparam, LRESULT* result) {
  if (controller == nullptr) return false;
  return ControllerOf(controller)
      ->engine->HandleTopLevelWindowProc(hwnd, message, wparam, lparam, result);
}

HWND FlutterDesktopViewGetHWND(FlutterDesktopViewRef view) {
  return view != nullptr ? reinterpret_cast<devkit::ViewWindow*>(view)->window() : nullptr;
}

UINT FlutterDesktopGetDpiForMonitor(HMONITOR monitor) {
  UINT dpi_x = 0;
  UINT dpi_y = 0;
  if (monitor != nullptr &&
      SUCCEEDED(GetDpiForMonitor(monitor, MDT_EFFECTIVE_DPI, &dpi_x, &dpi_y)) && dpi_x != 0) {
    return dpi_x;
  }
  return ScreenDpi();
}

UINT FlutterDesktopGetDpiForHWND(HWND hwnd) {
  if (hwnd == nullptr) {
    return FlutterDesktopGetDpiForMonitor(MonitorFromWindow(nullptr, MONITOR_DEFAULTTOPRIMARY));
  }
  const UINT dpi = GetDpiForWindow(hwnd);
  return dpi != 0
             ? dpi
             : FlutterDesktopGetDpiForMonitor(MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST));
}

void FlutterDesktopResyncOutputStreams() {
  // The engine and the UI application write through the C runtime's streams, which MinGW's
  // shared msvcrt makes the host's own: the host's re-open already carries their output and
  // there is nothing to re-bind. What they buffered goes out now, ahead of the host's next lines.
  std::fflush(stdout);
  std::fflush(stderr);
}

}  // extern "C"
