#include "devkit/engine/engine.h"

#include <utility>

#include "common/text_conversion.h"
#include "devkit/engine/engine_diagnostics.h"
#include "devkit/engine/message_trace.h"
#include "devkit/engine/path_resolution.h"

namespace devkit {
namespace {

std::wstring ExecutableDirectory() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return std::wstring();
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  const size_t separator = path.find_last_of(L"\\/");
  return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator);
}

// Resolved against the executable's folder, with "." and ".." taken out.
std::wstring EnginePath(const std::wstring& base, const wchar_t* path) {
  std::wstring resolved = ResolveAgainst(base, path);
  if (resolved.empty()) return resolved;
  const DWORD size = GetFullPathNameW(resolved.c_str(), 0, nullptr, nullptr);
  if (size == 0) return resolved;
  std::wstring full(size, L'\0');
  const DWORD length = GetFullPathNameW(resolved.c_str(), size, full.data(), nullptr);
  if (length == 0 || length >= size) return resolved;
  full.resize(length);
  return full;
}

bool IsDirectory(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace

std::unique_ptr<Engine> Engine::Create(const FlutterDesktopEngineProperties& properties) {
  if (properties.assets_path == nullptr || properties.icu_data_path == nullptr ||
      properties.aot_library_path == nullptr) {
    WriteEngineDiagnostic("engine properties without the assets, ICU data or AOT library path");
    return nullptr;
  }
  if (properties.dart_entrypoint_argc < 0 ||
      (properties.dart_entrypoint_argc > 0 && properties.dart_entrypoint_argv == nullptr)) {
    WriteEngineDiagnostic("engine properties with " +
                          std::to_string(properties.dart_entrypoint_argc) +
                          " entrypoint arguments but no argument array");
    return nullptr;
  }
  std::unique_ptr<Engine> engine(new Engine());
  const std::wstring base = ExecutableDirectory();
  engine->assets_path_ = EnginePath(base, properties.assets_path);
  engine->icu_data_path_ = EnginePath(base, properties.icu_data_path);
  engine->aot_library_path_ = EnginePath(base, properties.aot_library_path);
  if (properties.dart_entrypoint != nullptr) engine->entrypoint_ = properties.dart_entrypoint;
  for (int i = 0; i < properties.dart_entrypoint_argc; ++i) {
    const char* argument = properties.dart_entrypoint_argv[i];
    engine->arguments_.emplace_back(argument != nullptr ? argument : "");
  }

  engine->tasks_ = TaskRunner::Create();
  if (engine->tasks_ == nullptr) {
    WriteEngineDiagnostic("cannot create the engine's task window (error " +
                          std::to_string(GetLastError()) + ")");
    return nullptr;
  }
  FlutterDesktopMessenger::Options options;
  options.scheduler = [tasks = engine->tasks_](FlutterDesktopMessenger::Task task) {
    tasks->Post(std::move(task));
  };
  if (std::shared_ptr<MessageTrace> trace = MessageTrace::FromEnvironment()) {
    options.tracer = [trace](TraceDirection direction, const std::string& channel,
                             const FlutterDesktopMessenger::Bytes& bytes) {
      trace->Record(direction, channel, bytes);
    };
  }
  options.record_traffic = false;
  engine->messenger_ = FlutterDesktopMessenger::Create(std::move(options));
  return engine;
}

Engine::~Engine() {
  // The application goes first, while everything it may still call is whole.
  app_.reset();
  if (messenger_ != nullptr) messenger_->ShutDown();
  view_.reset();
  if (tasks_ != nullptr) tasks_->Close();
}

bool Engine::Run(int width, int height) {
  if (!IsDirectory(assets_path_)) {
    WriteEngineDiagnostic("assets folder not found: " + WideToUtf8(assets_path_));
    return false;
  }
  if (!IsFile(icu_data_path_)) {
    WriteEngineDiagnostic("ICU data not found: " + WideToUtf8(icu_data_path_));
    return false;
  }
  view_ = ViewWindow::Create(width, height, [this] { OnFrame(); });
  if (view_ == nullptr) {
    WriteEngineDiagnostic("cannot create the view window (error " + std::to_string(GetLastError()) +
                          ")");
    return false;
  }
  std::vector<const char*> argument_texts;
  for (const std::string& argument : arguments_) argument_texts.push_back(argument.c_str());
  KeeloAppStartInfo info{};
  info.struct_size = sizeof(info);
  info.entrypoint = entrypoint_.c_str();
  info.argument_count = static_cast<int>(argument_texts.size());
  info.arguments = argument_texts.empty() ? nullptr : argument_texts.data();
  info.assets_path = assets_path_.c_str();
  std::string error;
  app_ = AppRunner::Start(this, aot_library_path_, info, &error);
  if (app_ == nullptr) {
    WriteEngineDiagnostic(error);
    view_.reset();
    return false;
  }
  return true;
}

FlutterDesktopPluginRegistrar* Engine::GetRegistrar(const char* plugin_name) {
  if (plugin_name == nullptr) {
    WriteEngineDiagnostic("plug-in registrar requested without a plug-in name");
    return nullptr;
  }
  std::lock_guard<std::mutex> lock(registrars_mutex_);
  auto [entry, added] = registrars_.try_emplace(plugin_name);
  if (added) {
    entry->second = std::make_unique<FlutterDesktopPluginRegistrar>();
    entry->second->plugin_name = entry->first.c_str();
  }
  return entry->second.get();
}

std::vector<std::string> Engine::RegisteredPlugins() const {
  std::vector<std::string> names;
  std::lock_guard<std::mutex> lock(registrars_mutex_);
  for (const auto& [name, registrar] : registrars_) {
    if (registrar->registrations.load() > 0) names.push_back(name);
  }
  return names;
}

void Engine::ReloadSystemFonts() {
  if (view_ != nullptr) view_->ReloadFont();
  ++font_reloads_;
  // Text laid out with the old font is stale.
  RequestFrame();
}

void Engine::SetNextFrameCallback(FlutterDesktopOnNextFrameCallback callback, void* user_data) {
  next_frame_callback_ = callback;
  next_frame_user_data_ = user_data;
}

void Engine::OnFrame() {
  ++frames_produced_;
  if (next_frame_callback_ == nullptr) return;
  // Taken now, so that only a callback set before this frame runs for it. Posted, because a frame
  // may come from inside a call of the host (a resize that paints at once).
  FlutterDesktopOnNextFrameCallback callback = std::exchange(next_frame_callback_, nullptr);
  void* user_data = std::exchange(next_frame_user_data_, nullptr);
  tasks_->Post([callback, user_data] { callback(user_data); });
}

void Engine::RequestFrame() {
  // Requests before the frame is made share it, as a display refresh would.
  if (frame_requested_.exchange(true)) return;
  tasks_->Post([this] {
    frame_requested_ = false;
    if (view_ != nullptr) view_->Present();
  });
}

void Engine::FaultOnUiThread() {
  tasks_->Post([] {
    // Read at run time, so that the compiler cannot see the null and put a trap of its own in
    // place of the access violation a real fault raises. The analyzer does see it: the fault is
    // what was asked for.
    static volatile uintptr_t nowhere = 0;
    *reinterpret_cast<volatile int*>(nowhere) = 1;  // NOLINT(clang-analyzer-core.NullDereference)
  });
}

void Engine::SetStatusText(const std::string& text) {
  tasks_->Post([this, text = Utf8ToWide(text)]() mutable {
    if (view_ != nullptr) view_->SetStatusText(std::move(text));
  });
  RequestFrame();
}

void Engine::SetPainter(ViewWindow::Painter painter) {
  tasks_->Post([this, painter = std::move(painter)]() mutable {
    if (view_ != nullptr) view_->SetPainter(std::move(painter));
  });
  RequestFrame();
}

bool Engine::HandleTopLevelWindowProc(HWND window, UINT message, WPARAM, LPARAM, LRESULT*) {
  if (message == WM_SIZE && view_ != nullptr) view_->FollowParent(window);
  // Nothing is consumed: the host's own handling of every message goes on.
  return false;
}

}  // namespace devkit
