#ifndef ENGINE_API_FLUTTER_WINDOWS_H_
#define ENGINE_API_FLUTTER_WINDOWS_H_

// The engine library's interface (flutter_windows.dll), as the host uses it. The host links
// against the library by name; its import library is made from flutter_windows.def.

#include <stddef.h>
#include <stdint.h>
#include <windows.h>

#include "engine_api/flutter_messenger.h"

#if defined(__cplusplus)
extern "C" {
#endif

typedef struct FlutterDesktopEngine* FlutterDesktopEngineRef;
typedef struct FlutterDesktopViewControllerState* FlutterDesktopViewControllerRef;
typedef struct FlutterDesktopView* FlutterDesktopViewRef;
typedef struct FlutterDesktopPluginRegistrar* FlutterDesktopPluginRegistrarRef;

// Where the engine finds the UI application, and how to start it.
typedef struct {
  const wchar_t* assets_path;
  const wchar_t* icu_data_path;
  const wchar_t* aot_library_path;
  // UTF-8; empty for the UI application's default entrypoint.
  const char* dart_entrypoint;
  int dart_entrypoint_argc;
  // UTF-8 texts; null when there are none.
  const char** dart_entrypoint_argv;
  // Engine options the host leaves at 0; what they select is the engine's own business.
  int32_t options[4];
  uint8_t byte_option;
} FlutterDesktopEngineProperties;

typedef void (*FlutterDesktopOnNextFrameCallback)(void* user_data);

FlutterDesktopEngineRef FlutterDesktopEngineCreate(
    const FlutterDesktopEngineProperties* engine_properties);
bool FlutterDesktopEngineDestroy(FlutterDesktopEngineRef engine);
FlutterDesktopMessengerRef FlutterDesktopEngineGetMessenger(FlutterDesktopEngineRef engine);
FlutterDesktopPluginRegistrarRef FlutterDesktopEngineGetPluginRegistrar(
    FlutterDesktopEngineRef engine, const char* plugin_name);
void FlutterDesktopEngineReloadSystemFonts(FlutterDesktopEngineRef engine);
void FlutterDesktopEngineSetNextFrameCallback(FlutterDesktopEngineRef engine,
                                              FlutterDesktopOnNextFrameCallback callback,
                                              void* user_data);

// Width and height in physical pixels. Runs the engine and takes it over.
FlutterDesktopViewControllerRef FlutterDesktopViewControllerCreate(int width, int height,
                                                                   FlutterDesktopEngineRef engine);
void FlutterDesktopViewControllerDestroy(FlutterDesktopViewControllerRef controller);
FlutterDesktopViewRef FlutterDesktopViewControllerGetView(
    FlutterDesktopViewControllerRef controller);
void FlutterDesktopViewControllerForceRedraw(FlutterDesktopViewControllerRef controller);
// True, with |result| set, when the engine consumed the top-level window's message.
bool FlutterDesktopViewControllerHandleTopLevelWindowProc(
    FlutterDesktopViewControllerRef controller, HWND hwnd, UINT message, WPARAM wparam,
    LPARAM lparam, LRESULT* result);

HWND FlutterDesktopViewGetHWND(FlutterDesktopViewRef view);

UINT FlutterDesktopGetDpiForHWND(HWND hwnd);
UINT FlutterDesktopGetDpiForMonitor(HMONITOR monitor);

// After the host re-opens its standard streams (attaching a console), the engine's output
// follows them.
void FlutterDesktopResyncOutputStreams();

#if defined(__cplusplus)
}  // extern "C"
#endif

#if defined(__cplusplus)
// The record crosses into a library built separately: its layout is fixed.
static_assert(offsetof(FlutterDesktopEngineProperties, dart_entrypoint) == 24);
static_assert(offsetof(FlutterDesktopEngineProperties, dart_entrypoint_argc) == 32);
static_assert(offsetof(FlutterDesktopEngineProperties, dart_entrypoint_argv) == 40);
static_assert(offsetof(FlutterDesktopEngineProperties, options) == 48);
static_assert(offsetof(FlutterDesktopEngineProperties, byte_option) == 64);
static_assert(sizeof(FlutterDesktopEngineProperties) == 72);
#endif

#endif  // ENGINE_API_FLUTTER_WINDOWS_H_
