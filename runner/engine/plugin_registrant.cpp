#include "runner/engine/plugin_registrant.h"

#include "engine_api/url_launcher_plugin.h"

void RegisterAllPlugins(flutter::PluginRegistry* registry) {
  UrlLauncherWindowsRegisterWithRegistrar(registry->GetRegistrar("UrlLauncherWindows"));
}
