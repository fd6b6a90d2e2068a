#ifndef ENGINE_API_URL_LAUNCHER_PLUGIN_H_
#define ENGINE_API_URL_LAUNCHER_PLUGIN_H_

// The URL-launcher plug-in library (url_launcher_windows_plugin.dll), registered at start-up.
// Its import library is made from url_launcher_windows_plugin.def.

#include "engine_api/flutter_windows.h"

#if defined(__cplusplus)
extern "C" {
#endif

void UrlLauncherWindowsRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef registrar);

#if defined(__cplusplus)
}  // extern "C"
#endif

#endif  // ENGINE_API_URL_LAUNCHER_PLUGIN_H_
