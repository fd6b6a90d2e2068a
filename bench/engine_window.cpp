// The second floor of the host's benchmarks: a window program that, as the host does, loads the
// engine and the plug-in beside it and runs the UI application of data\app.so in a view that
// fills its window, and does nothing else. What the host costs beyond it is the host's own.
//
//   engine_window.exe <title> <width> <height> [<application argument>...]

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "common/text_conversion.h"
#include "engine_api/flutter_windows.h"
#include "engine_api/url_launcher_plugin.h"
#include "runner/startup_marks.h"

namespace {

constexpr wchar_t kClassName[] = L"KeeloBenchEngineWindow";

FlutterDesktopViewControllerRef controller = nullptr;

struct FirstFrame {
  HWND window;
  int show;
};

// Shown at the first frame, as the host shows its window, so that a start is timed to the same
// point in both.
void ShowOnFirstFrame(void* first_frame) noexcept {
  const auto* frame = static_cast<const FirstFrame*>(first_frame);
  ShowWindow(frame->window, frame->show);
  MarkStartupPhase("first-frame");
  WriteStartupMarks();
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
  LRESULT result = 0;
  if (controller != nullptr && FlutterDesktopViewControllerHandleTopLevelWindowProc(
                                   controller, window, message, wparam, lparam, &result)) {
    return result;
  }
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  MarkStartupPhase("loaded");
  if (__argc < 4) return 64;
  const std::wstring title = __wargv[1];
  const int width = std::wcstol(__wargv[2], nullptr, 10);
  const int height = std::wcstol(__wargv[3], nullptr, 10);
  std::vector<std::string> arguments;
  for (int i = 4; i < __argc; ++i) arguments.push_back(WideToUtf8(__wargv[i]));
  std::vector<const char*> argument_pointers;
  for (const std::string& argument : arguments) argument_pointers.push_back(argument.c_str());

  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = &WindowProc;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.lpszClassName = kClassName;
  if (RegisterClassW(&window_class) == 0) return 1;
  HWND window = CreateWindowExW(0, kClassName, title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, width, height, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 1;
  MarkStartupPhase("window");

  // Relative paths, which the engine finds beside the executable, as the host gives them.
  FlutterDesktopEngineProperties properties = {};
  properties.assets_path = L"data\\flutter_assets";
  properties.icu_data_path = L"data\\icudtl.dat";
  properties.aot_library_path = L"data\\app.so";
  properties.dart_entrypoint_argc = static_cast<int>(argument_pointers.size());
  properties.dart_entrypoint_argv = argument_pointers.empty() ? nullptr : argument_pointers.data();
  FlutterDesktopEngineRef engine = FlutterDesktopEngineCreate(&properties);
  if (engine == nullptr) return 1;
  RECT client = {};
  GetClientRect(window, &client);
  controller = FlutterDesktopViewControllerCreate(client.right, client.bottom, engine);
  // The controller owns the engine from here on, also when it could not be made.
  if (controller == nullptr) return 1;
  MarkStartupPhase("engine");
  UrlLauncherWindowsRegisterWithRegistrar(
      FlutterDesktopEngineGetPluginRegistrar(engine, "UrlLauncherWindows"));
  MarkStartupPhase("plug-ins");
  HWND view = FlutterDesktopViewGetHWND(FlutterDesktopViewControllerGetView(controller));
  SetParent(view, window);
  MoveWindow(view, 0, 0, client.right, client.bottom, TRUE);
  FirstFrame first_frame{window, show};
  FlutterDesktopEngineSetNextFrameCallback(engine, &ShowOnFirstFrame, &first_frame);
  // The first frame, asked for as the host asks for it.
  FlutterDesktopViewControllerForceRedraw(controller);

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  FlutterDesktopViewControllerDestroy(controller);
  return 0;
}
