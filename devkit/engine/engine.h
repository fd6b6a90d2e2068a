#ifndef DEVKIT_ENGINE_ENGINE_H_
#define DEVKIT_ENGINE_ENGINE_H_

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "devkit/engine/app_runner.h"
#include "devkit/engine/messenger.h"
#include "devkit/engine/plugin_registrar.h"
#include "devkit/engine/task_runner.h"
#include "devkit/engine/view_window.h"
#include "engine_api/flutter_windows.h"

namespace devkit {

// The stand-in engine behind a FlutterDesktopEngineRef: its paths and arguments, its messenger,
// its registrars, and once running, the view and the UI application. Everything but the
// functions marked otherwise runs on the UI thread that created it.
class Engine {
 public:
  // Null, with the reason written, when the properties are unusable.
  static std::unique_ptr<Engine> Create(const FlutterDesktopEngineProperties& properties);
  // Stops the UI application, then shuts the messenger down, then closes the view.
  ~Engine();

  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // Creates the view and starts the UI application. False, with the reason written, when the
  // assets folder or the ICU data is missing, or the application cannot be loaded or started.
  bool Run(int width, int height);

  FlutterDesktopMessenger* messenger() const { return messenger_; }
  // Null before Run.
  ViewWindow* view() const { return view_.get(); }

  FlutterDesktopPluginRegistrar* GetRegistrar(const char* plugin_name);
  void ReloadSystemFonts();
  // Replaces any callback set before; runs once, from the message loop, after the next frame.
  void SetNextFrameCallback(FlutterDesktopOnNextFrameCallback callback, void* user_data);
  bool HandleTopLevelWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                LRESULT* result);

  // From any thread: a write to address zero from a task on the UI thread (see fault_request.h).
  void FaultOnUiThread();

  // From any thread.
  void RequestFrame();
  void SetStatusText(const std::string& text);
  // Null returns the view to the status text.
  void SetPainter(ViewWindow::Painter painter);
  uint64_t frames_produced() const { return frames_produced_.load(); }
  uint64_t font_reloads() const { return font_reloads_.load(); }
  std::vector<std::string> RegisteredPlugins() const;

  // Set once a view controller owns the engine; only the controller may destroy it then.
  bool owned_by_controller() const { return owned_by_controller_; }
  void set_owned_by_controller() { owned_by_controller_ = true; }

 private:
  Engine() = default;

  void OnFrame();

  std::wstring assets_path_;
  std::wstring icu_data_path_;
  std::wstring aot_library_path_;
  std::string entrypoint_;
  std::vector<std::string> arguments_;

  std::shared_ptr<TaskRunner> tasks_;
  FlutterDesktopMessenger* messenger_ = nullptr;
  std::unique_ptr<ViewWindow> view_;
  std::unique_ptr<AppRunner> app_;

  mutable std::mutex registrars_mutex_;
  std::map<std::string, std::unique_ptr<FlutterDesktopPluginRegistrar>> registrars_;

  FlutterDesktopOnNextFrameCallback next_frame_callback_ = nullptr;
  void* next_frame_user_data_ = nullptr;
  std::atomic<bool> frame_requested_{false};
  std::atomic<uint64_t> frames_produced_{0};
  std::atomic<uint64_t> font_reloads_{0};
  bool owned_by_controller_ = false;
};

}  // namespace devkit

#endif  // DEVKIT_ENGINE_ENGINE_H_
